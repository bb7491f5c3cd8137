// The repair walk of avfmend over a file holding the input: the program's
// own source is compiled in with its entry renamed, and run as from the
// command line "avfmend -i in.avf" in a scratch directory, with the option
// registry emptied and the program's settings back at their defaults before
// every run. The input and the output file are removed after each run.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "harness.h"
#include "opt/opt_lib.h"

#define main avfmend_main
#include "../tools/avfmend.cpp"
#undef main

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  const fuzz::ScratchDir &dir = fuzz::ScratchDir::get();
  if (!dir.put("in.avf", data, size)) std::abort();
  const int home = ::open(".", O_RDONLY | O_DIRECTORY);
  if (home < 0 || ::chdir(dir.path().c_str()) != 0) std::abort();

  AvfFile = nullptr;
  MaxScan = 64;
  EatRec = 0;
  Verbose = 0;
  // The library keeps a pointer into the program name: the words outlive the run.
  static char arg0[] = "avfmend", arg1[] = "-i", arg2[] = "in.avf";
  char *args[] = {arg0, arg1, arg2, nullptr};
  int argc = 3;
  avfmend_main(argc, args);
  std::fflush(stdout);

  optlib::pool_release(AvfFile); // the library's copy of the file name
  AvfFile = nullptr;
  opt_free();
  ::unlink("in.avf");
  ::unlink("avfmend_out.avf");
  if (::fchdir(home) != 0) std::abort();
  ::close(home);
  return 0;
}
