// Option lines processed against the registrations of avfmend and of
// avfmerge in turn, each time in a fresh registry with the variables at their
// defaults. Lines that would end the process or wait for a terminal are not
// processed: the options-file commands ('@' reads any file named, '%' writes
// one and quits), the menu ('$', "--menu") and the reserved names that print
// and quit ("--help", "--xml-opt-interface", "--optVersion", "--version").
// No main or run function is registered, so '=' never starts a run; '!' and
// '.' are commands only inside the menu.
#include <cstdint>
#include <cstring>
#include <string>

#include "opt/opt.h"
#include "opt/opt_lib.h"

namespace {

bool harmless(const std::string &line) {
  if (line.find_first_of("@%$") != std::string::npos) return false;
  for (const char *name : {"--help", "--xml-opt-interface", "--optVersion", "--version", "--menu"})
    if (line.find(name) != std::string::npos) return false;
  return true;
}

// Strings the library stored in a scalar option stay its own after opt_free;
// they are given back here so that a long run does not grow.
void release_string(char *&s) {
  optlib::pool_release(s);
  s = nullptr;
}
void release_strings(char **&v, int &n) {
  if (v)
    for (int i = 0; i < n; ++i) optlib::pool_release(v[i]);
  optlib::pool_release(v);
  v = nullptr;
  n = 0;
}

void mend_line(const char *line) {
  char *in = nullptr;
  int max_scan = 64, eat = 0, verbose = 0;
  optrega(&in, OPT_STRING, 'i', "in", "Input AVF File");
  optrega(&max_scan, OPT_INT, 'm', "maxscans", "Max no of scans");
  optrega(&eat, OPT_INT, 'e', "eat", "Records to eat");
  optrega(&verbose, OPT_INT, 'v', "verbose", "verbose");
  optUsage("Usage: avfmend -i InputAvfFile [-m (maxscans)][-e (eat)][-v (verbose)]\n");
  optTitle("\"Cleans\" up format errors AVF Files\n");
  opt_lineprocess(line);
  opt_free();
  release_string(in);
}

void merge_line(const char *line) {
  char **in = nullptr;
  int files = 0;
  optrega_array(&files, &in, OPT_STRING, 'i', "in", "Input AVF Files");
  optUsage("Usage: avfmerge -i InputAvfFile1[,File2[,File3...]\n");
  optTitle("Combines AVF files\n");
  opt_lineprocess(line);
  opt_free();
  release_strings(in, files);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  const std::string line(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));
  if (!harmless(line)) return 0;
  mend_line(line.c_str());
  merge_line(line.c_str());
  return 0;
}
