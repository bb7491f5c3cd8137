#include "toolio.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <new>

namespace toolio {

namespace {
constexpr std::size_t STREAM_BUFFER = 1 << 20;
}

int File::close() {
  if (!f_) return 0;
  int r = std::fclose(f_);
  f_ = nullptr;
  return r;
}

File open_stream(const char *name, const char *mode, bool buffered) {
  std::FILE *f = std::fopen(name, mode);
  if (!f) return File();
  if (!buffered) {
    std::setvbuf(f, nullptr, _IONBF, 0);
    return File(f, nullptr);
  }
  // The C library sizes its own buffer from the file system's block size;
  // a buffer of our own makes every read and write a large one.
  std::unique_ptr<char[]> buf(new (std::nothrow) char[STREAM_BUFFER]);
  if (buf) std::setvbuf(f, buf.get(), _IOFBF, STREAM_BUFFER);
  if (mode[0] == 'r') posix_fadvise(fileno(f), 0, 0, POSIX_FADV_SEQUENTIAL);
  return File(f, std::move(buf));
}

bool same_file(const char *a, const char *b) {
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool read_whole(std::FILE *fp, void *buf, std::size_t n) { return std::fread(buf, 1, n, fp) == n; }

bool write_whole(std::FILE *fp, const void *buf, std::size_t n) { return std::fwrite(buf, 1, n, fp) == n; }

bool close_output(File &f) {
  if (!f) return true;
  bool ok = std::fflush(f.get()) == 0 && !std::ferror(f.get());
  ok = f.close() == 0 && ok;
  return ok;
}

void echo_record(const unsigned char *rec, std::size_t len) {
  int n = len < 14 ? static_cast<int>(len) : 14;
  std::printf("%.*s\n", n, reinterpret_cast<const char *>(rec));
}

} // namespace toolio

#include <unistd.h>

namespace toolio {

namespace {
constexpr std::size_t READ_AHEAD = 1u << 20;
} // namespace

RecordWindow::RecordWindow(int fd, std::size_t recl) : fd_(fd) {
  span_ = READ_AHEAD > recl ? READ_AHEAD : recl;
  buf_.reset(new (std::nothrow) unsigned char[span_]);
  if (!buf_) span_ = 0;
}

unsigned char *RecordWindow::at(long long pos, std::size_t len) {
  if (pos < 0) return nullptr;
  if (holds(pos, len)) return buf_.get() + (pos - start_);
  if (len > span_) return nullptr;
  start_ = pos;
  valid_ = 0;
  while (valid_ < span_) {
    ssize_t n = pread(fd_, buf_.get() + valid_, span_ - valid_, static_cast<off_t>(pos + static_cast<long long>(valid_)));
    if (n <= 0) break;
    valid_ += static_cast<std::size_t>(n);
  }
  return valid_ >= len ? buf_.get() : nullptr;
}

bool RunWriter::add(const unsigned char *p, std::size_t n) {
  if (run_ && p == run_ + len_) {
    len_ += n;
    return true;
  }
  if (!flush()) return false;
  run_ = p;
  len_ = n;
  return true;
}

bool RunWriter::flush() {
  bool ok = !run_ || write_whole(out_, run_, len_);
  run_ = nullptr;
  len_ = 0;
  return ok;
}

} // namespace toolio
