// Scan table over a file holding the input after a five-byte prefix that
// sets what the global header would have: record length (two bytes,
// little-endian, signed), header records and binary header records of a scan
// header (one signed byte each), and flags (bit 0: big-endian data; bit 1: a
// version text naming "AVF"). The file's first records need not be a global
// header: the table is built from the end of the file backwards.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "avf.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
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

  fuzz::File in = fuzz::file_from(data + PREFIX, size - PREFIX);
  if (make_scantab(in.get(), info) == 0 && info->recl > 0) {
    // The table's own claims must hold: one entry per scan, each within the file.
    const long long recs_in_file = static_cast<long long>(size - PREFIX) / info->recl;
    for (int i = 0; i < info->scans; ++i) {
      const ScanHdrTab &e = info->stab[i];
      if (static_cast<long long>(e.start_rec) + info->srecs + e.recs > recs_in_file) __builtin_trap();
    }
  }
  return 0;
}
