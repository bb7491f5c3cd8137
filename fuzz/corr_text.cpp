// Correlator description readers over the input as header text, its length
// the input's: every section reader, in the order the global header reader
// calls them, and then the range-list reader on the input as a C string with
// a capacity taken from its first two bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "avf.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  const char *text = reinterpret_cast<const char *>(data);
  VisInfo *vi = &fuzz::fresh<VisInfo>();
  // The counts come from keywords the section readers do not see.
  vi->samplers = size > 0 ? static_cast<int8_t>(data[0]) * 2 : 0;
  vi->baselines = size > 1 ? static_cast<int16_t>(data[0] << 8 | data[1]) : 0;
  get_corr_lite(text, size, &vi->corrlite);
  get_ant_info(text, size, vi->antenna);
  get_samp_info(text, size, vi);
  get_base_info(text, size, vi->base);
  get_corrsel(text, size, vi);

  if (size < 2) return 0;
  const int max = (data[0] | data[1] << 8) % (MAX_CHANS + 1);
  std::vector<char> str(data + 2, data + size);
  str.push_back('\0');
  std::vector<int16_t> arr(static_cast<std::size_t>(max));
  get_range(str.data(), arr.data(), max);
  return 0;
}
