// Number texts: the validity check and the three conversions with their warnings.
#include "opt/opt.h"
#include "opt/opt_lib.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Truncation toward zero, saturating at the type's limits (NaN gives 0), so that no text can
// make the conversion overflow.
template <class I>
I truncate_to(double d)
{
    if (std::isnan(d))
        return 0;
    constexpr double hi = static_cast<double>(std::numeric_limits<I>::max());  // 2^(bits-1)
    constexpr double lo = static_cast<double>(std::numeric_limits<I>::min());
    if (d >= hi)
        return std::numeric_limits<I>::max();
    if (d < lo)
        return std::numeric_limits<I>::min();
    return static_cast<I>(d);
}

}  // namespace

int opt_isvalidnumber(const char *text)
{
    if (!text)
        return 0;
    const char *s = text;
    while (optlib::is_ws(*s))
        ++s;
    if (*s == '\0')
        return 1;
    int flags = 1;
    if (*s == '-') {
        flags = 5;
        ++s;
    } else if (*s == '+') {
        ++s;
    }
    if (*s == 'e' || *s == 'E')
        return 0;
    while (is_digit(*s))
        ++s;
    if (*s == '.') {
        flags |= 2;
        ++s;
        while (is_digit(*s))
            ++s;
    }
    if (*s == 'e' || *s == 'E') {
        ++s;
        if (*s == '\0')
            return 0;
        if (*s == '-') {
            flags |= 2;
            ++s;
        } else if (*s == '+') {
            ++s;
        }
        while (is_digit(*s))
            ++s;
    }
    while (optlib::is_ws(*s))
        ++s;
    return *s == '\0' ? flags : 0;
}

long opt_atoi(const char *text)
{
    const char *t = text ? text : "";
    const long v = truncate_to<long>(std::strtod(t, nullptr));
    const int f = opt_isvalidnumber(t);
    if (f == 0 || (f & 2))
        optlib::warningf("String [%s] is not a valid integer, will use [%ld]", t, v);
    return v;
}

unsigned long opt_atou(const char *text)
{
    const char *t = text ? text : "";
    const auto v = static_cast<unsigned long>(truncate_to<std::int64_t>(std::strtod(t, nullptr)));
    const int f = opt_isvalidnumber(t);
    if (f == 0 || (f & 2) || (f & 4))
        optlib::warningf("String [%s] is not a valid positive integer, will use [%lu]", t, v);
    return v;
}

double opt_atof(const char *text)
{
    const char *t = text ? text : "";
    const double v = std::strtod(t, nullptr);
    if (opt_isvalidnumber(t) == 0)
        optlib::warningf("String [%s] is not a valid number, will use [%g]", t, v);
    return v;
}
