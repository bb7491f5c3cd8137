// Global header reader over a file holding the input; a header it accepts is
// then written back out by the header writer, as the tools do.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "avf.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  static std::FILE *const null_out = std::fopen("/dev/null", "wb");
  fuzz::File in = fuzz::file_from(data, size);
  AvfInfo *info = &fuzz::fresh<AvfInfo>();
  info->local_byte_order = host_byte_order();
  if (get_avf_hdr(in.get(), info) == 0 && null_out) write_hdr(info, null_out);
  return 0;
}
