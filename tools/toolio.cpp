#include "toolio.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

namespace toolio {

namespace {
constexpr std::size_t STREAM_BUFFER = 1 << 20;
}

File open_stream(const char *name, const char *mode) {
  File f(std::fopen(name, mode));
  if (f) {
    std::setvbuf(f.get(), nullptr, _IOFBF, STREAM_BUFFER);
    if (mode[0] == 'r') posix_fadvise(fileno(f.get()), 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  return f;
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
  ok = std::fclose(f.release()) == 0 && ok;
  return ok;
}

void echo_record(const unsigned char *rec, std::size_t len) {
  int n = len < 14 ? static_cast<int>(len) : 14;
  std::printf("%.*s\n", n, reinterpret_cast<const char *>(rec));
}

} // namespace toolio
