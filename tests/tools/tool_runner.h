// Running the built programs in a scratch directory and reading back what
// they wrote, for the end-to-end tests.
#ifndef AVF_TESTS_TOOL_RUNNER_H
#define AVF_TESTS_TOOL_RUNNER_H

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "avf.h"
#include "fixture.h"
#include "tempfile.h"

namespace e2e {

struct Result {
  int status = -1; // exit status, or -1 when the program did not exit normally
  std::string out, err;
};

inline std::string quote(const std::string &s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string slurp(const std::filesystem::path &p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A scratch directory, removed with its contents when the object goes.
class Scratch {
public:
  Scratch() : Scratch(std::filesystem::temp_directory_path()) {}
  // A scratch directory under root.
  explicit Scratch(const std::filesystem::path &root) {
    std::string tmpl = (root / "avfe2e-XXXXXX").string();
    dir_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  std::filesystem::path path(const std::string &name) const { return dir_ / name; }
  bool ok() const { return !dir_.empty(); }

  // Runs `program` with `args` (each quoted) in this directory.
  Result run(const std::string &program, const std::vector<std::string> &args,
             const std::string &stdin_text = "") const {
    std::string cmd = "cd " + quote(dir_.string()) + " && " + quote(program);
    for (const std::string &a : args) cmd += " " + quote(a);
    std::filesystem::path in = dir_ / ".stdin", out = dir_ / ".stdout", err = dir_ / ".stderr";
    std::ofstream(in, std::ios::binary) << stdin_text;
    cmd += " <" + quote(in.string()) + " >" + quote(out.string()) + " 2>" + quote(err.string());
    int raw = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
  }

  void write(const std::string &name, const fixture::Bytes &bytes) const {
    std::ofstream f(path(name), std::ios::binary);
    f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  fixture::Bytes read(const std::string &name) const {
    std::string s = slurp(path(name));
    return fixture::Bytes(s.begin(), s.end());
  }
  bool exists(const std::string &name) const { return std::filesystem::exists(path(name)); }

private:
  std::filesystem::path dir_;
};

inline Result avfmend(const Scratch &s, const std::vector<std::string> &args) { return s.run(AVFMEND_PATH, args); }
inline Result avfmerge(const Scratch &s, const std::vector<std::string> &args) { return s.run(AVFMERGE_PATH, args); }
inline Result avfgen(const Scratch &s, const std::vector<std::string> &args) { return s.run(AVFGEN_PATH, args); }
inline Result avfinfo(const Scratch &s, const std::vector<std::string> &args) { return s.run(AVFINFO_PATH, args); }

// A directory on another file system than `here` (where the system cannot
// copy between files), or an empty path when the machine has none.
inline std::filesystem::path other_file_system(const std::filesystem::path &here) {
  const std::filesystem::path shm = "/dev/shm";
  struct stat a, b;
  if (stat(shm.c_str(), &a) != 0 || stat(here.c_str(), &b) != 0 || a.st_dev == b.st_dev) return {};
  return shm;
}

// A file as the library reads it: its global header and, when it has data,
// its scan table.
struct Indexed {
  std::unique_ptr<AvfInfo> info = std::make_unique<AvfInfo>();
  int hdr = -99, tab = -99;
  std::string err;
};

inline Indexed index_file(const std::filesystem::path &p) {
  Indexed x;
  x.info->local_byte_order = host_byte_order();
  fixture::File f(std::fopen(p.c_str(), "rb"));
  if (!f) return x;
  testing::internal::CaptureStderr();
  x.hdr = get_avf_hdr(f.get(), x.info.get());
  if (x.hdr == 0) x.tab = make_scantab(f.get(), x.info.get());
  x.err = testing::internal::GetCapturedStderr();
  return x;
}

} // namespace e2e

#endif
