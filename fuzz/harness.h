// Helpers shared by the fuzz harnesses: the input as a regular file, either
// an anonymous in-memory one (read through a stream) or a named one in a
// scratch directory of the process.
#ifndef AVF_FUZZ_HARNESS_H
#define AVF_FUZZ_HARNESS_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace fuzz {

// An object of the process emptied for each run: the file descriptions are
// large, and a fresh allocation each run (new pages every time under the
// sanitizer's allocator) would cost more than the run itself.
template <class T> T &fresh() {
  static const auto obj = std::make_unique<T>();
  *obj = T{};
  return *obj;
}

struct FileCloser {
  void operator()(std::FILE *f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

inline bool write_all(int fd, const uint8_t *data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A stream on a regular file holding exactly the input, positioned at its
// start. The readers check counts against the file's size, so the file must
// be a regular one (fstat), not a memory stream.
inline File file_from(const uint8_t *data, std::size_t size) {
  int fd = memfd_create("avf-fuzz", 0);
  if (fd < 0) {
    std::FILE *f = std::tmpfile();
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::rewind(f);
    return File(f);
  }
  if (!write_all(fd, data, size) || lseek(fd, 0, SEEK_SET) != 0) std::abort();
  std::FILE *f = fdopen(fd, "rb");
  if (!f) std::abort();
  return File(f);
}

// A scratch directory made once per process and removed at its exit, with
// the bytes of an input written to a file in it.
class ScratchDir {
public:
  static ScratchDir &get() {
    static ScratchDir dir;
    return dir;
  }
  const std::string &path() const { return path_; }
  std::string file(const char *name) const { return path_ + "/" + name; }
  bool put(const char *name, const uint8_t *data, std::size_t size) const {
    std::FILE *f = std::fopen(file(name).c_str(), "wb");
    if (!f) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
  }

private:
  ScratchDir() {
    const char *tmp = std::getenv("TMPDIR");
    std::snprintf(made_, sizeof made_, "%s/avf-fuzz-XXXXXX", tmp && *tmp ? tmp : "/tmp");
    if (!mkdtemp(made_)) std::abort();
    path_ = made_;
    std::atexit([] { ::rmdir(made_); }); // empty by then: every harness removes its files
  }
  static inline char made_[4096];
  std::string path_;
};

} // namespace fuzz

#endif
