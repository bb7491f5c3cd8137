// File handling shared by the programs: owned streams with large buffers,
// checked whole-record reads and writes, and the same-file test that keeps
// an input from being overwritten by an output.
#ifndef AVF_TOOLIO_H
#define AVF_TOOLIO_H

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

namespace toolio {

// An open stream and the stdio buffer it uses; the stream is closed before
// its buffer goes.
class File {
public:
  File() = default;
  File(std::FILE *f, std::unique_ptr<char[]> buf) : buf_(std::move(buf)), f_(f) {}
  File(File &&o) noexcept : buf_(std::move(o.buf_)), f_(o.f_) { o.f_ = nullptr; }
  File &operator=(File &&o) noexcept {
    if (this != &o) {
      reset();
      buf_ = std::move(o.buf_);
      f_ = o.f_;
      o.f_ = nullptr;
    }
    return *this;
  }
  ~File() { reset(); }
  std::FILE *get() const { return f_; }
  explicit operator bool() const { return f_ != nullptr; }
  // Closes the stream; the result of fclose, or 0 when there was none.
  int close();

private:
  void reset() { close(); }
  std::unique_ptr<char[]> buf_;
  std::FILE *f_ = nullptr;
};

// Opens a file for streaming whole records, with a stdio buffer large enough
// that reads and writes reach the system in big blocks, or with none when
// the caller writes only whole records and runs of them (no copy on the way).
File open_stream(const char *name, const char *mode, bool buffered = true);

// True when both names exist and are the same file (device and inode).
bool same_file(const char *a, const char *b);

// Reads or writes exactly n bytes; false otherwise.
bool read_whole(std::FILE *fp, void *buf, std::size_t n);
bool write_whole(std::FILE *fp, const void *buf, std::size_t n);

// Flushes and closes an output, reporting whether everything reached the file.
bool close_output(File &f);

// Echo of a record's first 14 characters (fewer if a NUL comes first).
void echo_record(const unsigned char *rec, std::size_t len);



// Records of an input file read ahead in large blocks into one buffer, where
// a record can be changed in place (new signature, byte order) and written
// out straight from it: one copy in, one copy out, and memory of a few
// records whatever the size of the file.
// Records from this length on are better read in parts (RecordWindow::parts)
// when only a few of their bytes are looked at: one call per record costs
// less than copying the rest of it.
inline constexpr std::size_t SPARSE_RECORD = 256u << 10;

class RecordWindow {
public:
  RecordWindow(int fd, std::size_t recl);
  // False when its buffer could not be allocated.
  bool ok() const { return span_ > 0; }

  // Whether [pos, pos + len) is in the buffer now.
  bool holds(long long pos, std::size_t len) const {
    return pos >= start_ && pos + static_cast<long long>(len) <= start_ + static_cast<long long>(valid_);
  }
  // The bytes [pos, pos + len), writable, valid until the buffer is refilled
  // (a call for bytes it does not hold); null when the file ends before
  // pos + len or cannot be read.
  unsigned char *at(long long pos, std::size_t len);

  // A part of a record: len bytes at off.
  struct Part {
    std::size_t off, len;
  };
  // Like at(), but only the given parts of [pos, pos + len) are read, each
  // at its place; the other bytes are undefined. For records that are
  // copied by the system and only looked at in a few places.
  unsigned char *parts(long long pos, std::size_t len, std::initializer_list<Part> want);

private:
  int fd_;
  std::size_t span_;
  std::unique_ptr<unsigned char[]> mem_;
  unsigned char *base_ = nullptr; // page-aligned start of mem_
  unsigned char *data_ = nullptr; // where the byte at start_ is
  long long start_ = 0;
  std::size_t valid_ = 0;
};

// Output of whole records: consecutive records that lie next to each other
// in memory go out in one write, and consecutive records that an input file
// holds as they go out, or but for a few changed bytes, are copied by the
// system from that file in one call, without passing through this process;
// the changed bytes are then written over the copy. Pending bytes in memory
// must be flushed before the memory they lie in changes or goes, pending file
// bytes before the file is closed, and both before anything else is written
// to the output.
class RunWriter {
public:
  // Bytes of a record that differ from the input file: len bytes at off.
  struct Span {
    std::size_t off, len;
  };

  explicit RunWriter(std::FILE *out) : out_(out) {}
  // n bytes at p.
  bool add(const unsigned char *p, std::size_t n);
  // The n bytes at pos of the file open on fd; where they are to differ from
  // the file, the changed spans (in increasing order, within the n bytes)
  // are taken from rec, the record as it goes out. When rec holds the whole
  // record, spans close together are written as one; when it holds only the
  // changed spans (rec_whole false), each is written by itself.
  bool add_copy(int fd, long long pos, std::size_t n, const unsigned char *rec = nullptr,
                std::initializer_list<Span> changed = {}, bool rec_whole = true);
  bool flush();
  // Flushes only bytes pending in memory: a file run may go on.
  bool flush_memory() { return fd_ >= 0 || flush(); }

private:
  // Bytes to write over a file run: len bytes of pool_ from at, at run offset off.
  struct Patch {
    std::size_t off, at, len;
  };
  void keep_patch(std::size_t off, const unsigned char *bytes, std::size_t len);
  bool copy_file_run();
  bool patch_copied(long long base, std::size_t upto) const;
  bool bounce(off_t in_pos, std::size_t done);

  std::FILE *out_;
  const unsigned char *run_ = nullptr;
  int fd_ = -1; // a file run when >= 0
  long long pos_ = 0;
  std::size_t len_ = 0;
  std::vector<Patch> patches_;
  std::vector<unsigned char> pool_;
};

} // namespace toolio

#endif
