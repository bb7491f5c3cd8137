#include "toolio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
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

namespace {
constexpr std::size_t READ_AHEAD = 1u << 20;
constexpr std::size_t PAGE = 4096;
} // namespace

RecordWindow::RecordWindow(int fd, std::size_t recl) : fd_(fd) {
  span_ = READ_AHEAD > recl ? READ_AHEAD : recl;
  mem_.reset(new (std::nothrow) unsigned char[span_ + 2 * PAGE]);
  if (!mem_) span_ = 0;
  const auto addr = reinterpret_cast<std::uintptr_t>(mem_.get());
  base_ = mem_.get() + (PAGE - addr % PAGE) % PAGE;
  data_ = base_;
}

unsigned char *RecordWindow::at(long long pos, std::size_t len) {
  if (pos < 0) return nullptr;
  if (holds(pos, len)) return data_ + (pos - start_);
  if (len > span_) return nullptr;
  start_ = pos;
  valid_ = 0;
  // The bytes keep their place within a page: copies between the buffer and
  // the page cache then run on equally aligned addresses, which the
  // processor moves much faster than misaligned ones.
  data_ = base_ + static_cast<std::size_t>(pos % static_cast<long long>(PAGE));
  while (valid_ < span_) {
    ssize_t n = pread(fd_, data_ + valid_, span_ - valid_, static_cast<off_t>(pos + static_cast<long long>(valid_)));
    if (n <= 0) break;
    valid_ += static_cast<std::size_t>(n);
  }
  return valid_ >= len ? data_ : nullptr;
}

bool RunWriter::add(const unsigned char *p, std::size_t n) {
  if (fd_ < 0 && run_ && p == run_ + len_) {
    len_ += n;
    return true;
  }
  if (!flush()) return false;
  run_ = p;
  len_ = n;
  return true;
}

bool RunWriter::add_copy(int fd, long long pos, std::size_t n) {
  if (fd_ == fd && pos == pos_ + static_cast<long long>(len_)) {
    len_ += n;
    return true;
  }
  if (!flush()) return false;
  fd_ = fd;
  pos_ = pos;
  len_ = n;
  return true;
}

bool RunWriter::flush() {
  bool ok = fd_ >= 0 ? copy_file_run() : !run_ || write_whole(out_, run_, len_);
  run_ = nullptr;
  fd_ = -1;
  len_ = 0;
  return ok;
}

// The output is unbuffered, so the copy lands at the descriptor's position,
// just after whatever was written before it. Where the system cannot copy
// between these two files (another file system, a device, a pipe), the rest
// goes through a buffer.
bool RunWriter::copy_file_run() {
  const int out = fileno(out_);
  off_t in_pos = static_cast<off_t>(pos_);
  std::size_t left = len_;
  while (left > 0) {
    ssize_t n = copy_file_range(fd_, &in_pos, out, nullptr, left, 0);
    if (n > 0) {
      left -= static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return false; // the input is shorter than when it was read
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF &&
        errno != ETXTBSY)
      return false;
    break;
  }
  if (left == 0) return true;
  constexpr std::size_t BOUNCE = 1u << 20;
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[BOUNCE]);
  if (!buf) return false;
  while (left > 0) {
    const std::size_t want = left < BOUNCE ? left : BOUNCE;
    ssize_t n = pread(fd_, buf.get(), want, in_pos);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !write_whole(out_, buf.get(), static_cast<std::size_t>(n))) return false;
    in_pos += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

} // namespace toolio
