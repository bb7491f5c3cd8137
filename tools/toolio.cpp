#include "toolio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace toolio {

namespace {
constexpr std::size_t WRITE_BUFFER = 1 << 20;
// Inputs: their records are read through a RecordWindow; the stream reads
// headers and searches, after a seek each time, and every seek costs one
// buffer's worth of reading.
constexpr std::size_t READ_BUFFER = 64 << 10;
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
  const std::size_t size = mode[0] == 'r' ? READ_BUFFER : WRITE_BUFFER;
  std::unique_ptr<char[]> buf(new (std::nothrow) char[size]);
  if (buf) std::setvbuf(f, buf.get(), _IOFBF, size);
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
constexpr std::size_t MEMORY_RUN = 256u << 10;
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
  // The bytes keep their offset within a page, so that the copies between
  // the buffer and the page cache move equally aligned blocks.
  data_ = base_ + static_cast<std::size_t>(pos % static_cast<long long>(PAGE));
  while (valid_ < span_) {
    ssize_t n = pread(fd_, data_ + valid_, span_ - valid_, static_cast<off_t>(pos + static_cast<long long>(valid_)));
    if (n <= 0) break;
    valid_ += static_cast<std::size_t>(n);
  }
  return valid_ >= len ? data_ : nullptr;
}

unsigned char *RecordWindow::parts(long long pos, std::size_t len, std::initializer_list<Part> want) {
  struct stat st;
  if (pos < 0 || len > span_ || fstat(fd_, &st) != 0 || pos + static_cast<long long>(len) > st.st_size)
    return nullptr;
  valid_ = 0; // what the buffer holds is no longer a copy of the file
  data_ = base_;
  for (const Part &p : want) {
    if (p.off >= len) continue;
    const std::size_t n = p.len < len - p.off ? p.len : len - p.off;
    const off_t at = static_cast<off_t>(pos + static_cast<long long>(p.off));
    if (pread(fd_, data_ + p.off, n, at) != static_cast<ssize_t>(n)) return nullptr;
  }
  return data_;
}

bool RunWriter::add(const unsigned char *p, std::size_t n) {
  // Runs are kept short enough that what was just changed in them is still
  // in the processor's cache when the system copies it out.
  if (fd_ < 0 && run_ && p == run_ + len_ && len_ + n <= MEMORY_RUN) {
    len_ += n;
    return true;
  }
  if (!flush()) return false;
  run_ = p;
  len_ = n;
  return true;
}

namespace {
// Changed spans this close together are written as one: one call instead of
// two costs more than the few unchanged bytes between them.
constexpr std::size_t PATCH_GAP = 4096;
// Changed bytes kept before a file run is sent out.
constexpr std::size_t PATCH_POOL = 1u << 20;
} // namespace

bool RunWriter::add_copy(int fd, long long pos, std::size_t n, const unsigned char *rec,
                         std::initializer_list<Span> changed, bool rec_whole) {
  if (fd_ != fd || pos != pos_ + static_cast<long long>(len_) || pool_.size() >= PATCH_POOL) {
    if (!flush()) return false;
    fd_ = fd;
    pos_ = pos;
  }
  const std::size_t base = len_;
  len_ += n;
  if (!rec) return true;
  bool open = false;
  std::size_t lo = 0, hi = 0;
  for (const Span &c : changed) {
    if (c.len == 0 || c.off >= n) continue;
    const std::size_t end = c.off + (c.len < n - c.off ? c.len : n - c.off);
    if (open && c.off >= lo && (rec_whole ? c.off <= hi + PATCH_GAP : c.off <= hi)) {
      if (end > hi) hi = end;
      continue;
    }
    if (open) keep_patch(base + lo, rec + lo, hi - lo);
    open = true;
    lo = c.off;
    hi = end;
  }
  if (open) keep_patch(base + lo, rec + lo, hi - lo);
  return true;
}

void RunWriter::keep_patch(std::size_t off, const unsigned char *bytes, std::size_t len) {
  patches_.push_back({off, pool_.size(), len});
  pool_.insert(pool_.end(), bytes, bytes + len);
}

bool RunWriter::flush() {
  bool ok = fd_ >= 0 ? copy_file_run() : !run_ || write_whole(out_, run_, len_);
  run_ = nullptr;
  fd_ = -1;
  len_ = 0;
  patches_.clear();
  pool_.clear();
  return ok;
}

// The output is unbuffered, so the copy lands at the descriptor's position,
// just after whatever was written before it; the changed bytes are then
// written over it. Where the system cannot copy between these two files
// (another file system, a device, a pipe), the rest goes through a buffer.
bool RunWriter::copy_file_run() {
  const int out = fileno(out_);
  const long long base = patches_.empty() ? 0 : static_cast<long long>(lseek(out, 0, SEEK_CUR));
  off_t in_pos = static_cast<off_t>(pos_);
  std::size_t done = 0;
  while (done < len_) {
    ssize_t n = base < 0 ? -1 : copy_file_range(fd_, &in_pos, out, nullptr, len_ - done, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return false; // the input is shorter than when it was read
    if (errno == EINTR) continue;
    if (base >= 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
        errno != EBADF && errno != ETXTBSY)
      return false;
    break;
  }
  if (!patch_copied(base, done)) return false;
  return done == len_ || bounce(in_pos, done);
}

// Writes the changed bytes that fall in the first `upto` bytes of the run,
// copied by the system to output offset base.
bool RunWriter::patch_copied(long long base, std::size_t upto) const {
  const int out = fileno(out_);
  for (const Patch &p : patches_) {
    if (p.off >= upto) break;
    const std::size_t len = p.off + p.len <= upto ? p.len : upto - p.off;
    if (pwrite(out, pool_.data() + p.at, len, static_cast<off_t>(base + static_cast<long long>(p.off))) !=
        static_cast<ssize_t>(len))
      return false;
  }
  return true;
}

// The rest of the run from `done` on, read into a buffer, changed there and
// written.
bool RunWriter::bounce(off_t in_pos, std::size_t done) {
  constexpr std::size_t BOUNCE = 1u << 20;
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[BOUNCE]);
  if (!buf) return false;
  while (done < len_) {
    const std::size_t want = len_ - done < BOUNCE ? len_ - done : BOUNCE;
    ssize_t n = pread(fd_, buf.get(), want, in_pos);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    const std::size_t got = static_cast<std::size_t>(n);
    for (const Patch &p : patches_) { // the part of each change within [done, done + got)
      const std::size_t lo = p.off > done ? p.off : done;
      const std::size_t hi = p.off + p.len < done + got ? p.off + p.len : done + got;
      if (lo < hi) std::memcpy(buf.get() + (lo - done), pool_.data() + p.at + (lo - p.off), hi - lo);
    }
    if (!write_whole(out_, buf.get(), got)) return false;
    in_pos += n;
    done += got;
  }
  return true;
}

} // namespace toolio
