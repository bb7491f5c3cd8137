// scantab_time FILE [REPEATS]
// Prints the scan count and the mean time of building the file's scan table.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "avf.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: scantab_time FILE [REPEATS]\n");
    return 2;
  }
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
  std::FILE *fp = std::fopen(argv[1], "rb");
  if (!fp) return 1;
  auto info = std::make_unique<AvfInfo>();
  info->local_byte_order = host_byte_order();
  if (get_avf_hdr(fp, info.get()) != 0) return 1;
  double total = 0;
  for (int r = 0; r < repeats; ++r) {
    auto t0 = std::chrono::steady_clock::now();
    if (make_scantab(fp, info.get()) != 0) return 1;
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  std::printf("%d %.6f\n", info->scans, total / repeats);
  std::fclose(fp);
  return 0;
}
