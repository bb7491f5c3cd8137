// Scan header reader over a file holding the input after a five-byte prefix
// that sets what the global header would have: record length (two bytes,
// little-endian, signed), header records and binary header records (one
// signed byte each), and flags (bit 0: big-endian data; bit 1: a version
// text naming "AVF", so no version-1 scan records). A scan header it accepts
// is written back out by the scan header writer.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "avf.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  static std::FILE *const null_out = std::fopen("/dev/null", "wb");
  constexpr std::size_t PREFIX = 5;
  if (size < PREFIX) return 0;
  AvfInfo *info = &fuzz::fresh<AvfInfo>();
  info->local_byte_order = host_byte_order();
  info->recl = static_cast<int16_t>(data[0] | data[1] << 8);
  info->srecs = static_cast<int8_t>(data[2]);
  info->sbrecs = static_cast<int8_t>(data[3]);
  info->data_byte_order = (data[4] & 1) ? BigEndian : LittleEndian;
  std::strcpy(info->lhdr.version, (data[4] & 2) ? "AVF COR30x2 " : "COR30x2 ");
  std::strcpy(info->lhdr.old_version, info->lhdr.version);
  info->keep_version = 1;
  info->stab = std::make_unique<ScanHdrTab[]>(1);
  info->scans = 1;

  fuzz::File in = fuzz::file_from(data + PREFIX, size - PREFIX);
  if (get_scan_hdr(in.get(), info, 0) == 0 && null_out) {
    ScanHdrTab &e = info->stab[0];
    write_scan(&e.scan, 1, info, 0, e.shdr.date_obs, null_out);
  }
  return 0;
}
