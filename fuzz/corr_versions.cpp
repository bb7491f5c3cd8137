// Correlator record versions fed from raw bytes. The input after a two-byte
// prefix is the stored block (cut to, or padded with zeros to, the reference
// record's size) of the version chosen by the first byte (0 reference, 2, 3,
// 4). It is read into the reference layout, brought to the local byte order
// when bit 0 of the second byte says it is in the other one, written back in
// every version and rendered as correlator description text: the counts,
// dpc bytes and version texts are whatever the input holds.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "avf.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  constexpr std::size_t PREFIX = 2;
  if (size < PREFIX) return 0;
  static constexpr int VERSIONS[] = {0, 2, 3, 4};
  const int version = VERSIONS[data[0] % 4];
  const bool swapped = (data[1] & 1) != 0;
  data += PREFIX;
  size -= PREFIX;

  AvfInfo *info = &fuzz::fresh<AvfInfo>();
  info->local_byte_order = host_byte_order();
  std::memcpy(&info->corr, data, size < sizeof(CorrType) ? size : sizeof(CorrType));
  // The Corrsys version text, not necessarily terminated: the input's first bytes.
  constexpr std::size_t TEXT = VALLEN;
  std::memcpy(info->lhdr.vinfo.corrlite.old_version, data, size < TEXT ? size : TEXT);
  std::memcpy(info->lhdr.version, data, size < TEXT - 1 ? size : TEXT - 1);
  std::memcpy(info->lhdr.old_version, info->lhdr.version, TEXT);
  info->keep_version = 1;

  corr_stored_to_ref(info, version);
  if (swapped) flipCorr(&info->corr);

  static const auto out = std::make_unique<CorrType>();
  for (int v : VERSIONS) corr_ref_to_stored(info, v, out.get());
  static std::vector<char> text(CORRGEN_MAX);
  corrgen(&info->corr, text.data());
  return 0;
}
