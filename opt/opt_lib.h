// Library-private helpers shared by the option library's sources. Not for programs.
#ifndef OPT_OPT_LIB_H
#define OPT_OPT_LIB_H

#include <cstddef>
#include <string>

namespace optlib {

// Library-owned heap blocks. Every string or array block the library hands out is recorded
// here, so that it releases exactly what it allocated and never a program's own value.
char *pool_strdup(const char *s);      // null for a null text
void *pool_alloc(std::size_t bytes);   // zero-filled; bytes may be 0
bool pool_release(const void *p);      // false (and nothing done) when p is not library-owned

// Warnings and fatal errors with placeholders: formatted into 1024 bytes, cut to fit.
void warningf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void fatalf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// The word-wrapping of opt_justify, as a string.
std::string justify(const char *s, int width, int indent, int initial, const char *prefix);
// A malloc'd copy of `s`; the fatal error `failure` when it cannot be allocated.
char *heap_copy(const std::string &s, const char *failure);

// The white-space characters of option texts: space, \t, \n, \v, \f, \r.
inline bool is_ws(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace optlib

#endif
