// Temporary files for tests that read and write real streams.
#ifndef AVF_TESTS_TEMPFILE_H
#define AVF_TESTS_TEMPFILE_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace fixture {

struct FileCloser {
  void operator()(std::FILE *f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A file in the temporary directory, removed when the object goes.
class TempFile {
public:
  TempFile() {
    const char *dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/avftest-XXXXXX";
    int fd = mkstemp(path_.data());
    if (fd >= 0) close(fd);
  }
  explicit TempFile(const std::vector<unsigned char> &bytes) : TempFile() { write(bytes); }
  ~TempFile() { std::remove(path_.c_str()); }
  TempFile(const TempFile &) = delete;
  TempFile &operator=(const TempFile &) = delete;

  void write(const std::vector<unsigned char> &bytes) const {
    File f(std::fopen(path_.c_str(), "wb"));
    if (f && !bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f.get());
  }
  std::vector<unsigned char> read() const {
    std::vector<unsigned char> out;
    File f(std::fopen(path_.c_str(), "rb"));
    if (!f) return out;
    unsigned char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) out.insert(out.end(), buf, buf + n);
    return out;
  }
  File open(const char *mode = "rb") const { return File(std::fopen(path_.c_str(), mode)); }
  const std::string &path() const { return path_; }

private:
  std::string path_;
};

} // namespace fixture

#endif
