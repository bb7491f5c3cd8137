// File handling shared by the programs: owned streams with large buffers,
// checked whole-record reads and writes, and the same-file test that keeps
// an input from being overwritten by an output.
#ifndef AVF_TOOLIO_H
#define AVF_TOOLIO_H

#include <cstddef>
#include <cstdio>
#include <memory>

namespace toolio {

struct Closer {
  void operator()(std::FILE *f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, Closer>;

// Opens a file for streaming whole records, with a stdio buffer large enough
// that reads and writes reach the system in big blocks.
File open_stream(const char *name, const char *mode);

// True when both names exist and are the same file (device and inode).
bool same_file(const char *a, const char *b);

// Reads or writes exactly n bytes; false otherwise.
bool read_whole(std::FILE *fp, void *buf, std::size_t n);
bool write_whole(std::FILE *fp, const void *buf, std::size_t n);

// Flushes and closes an output, reporting whether everything reached the file.
bool close_output(File &f);

// Echo of a record's first 14 characters (fewer if a NUL comes first).
void echo_record(const unsigned char *rec, std::size_t len);

} // namespace toolio

#endif
