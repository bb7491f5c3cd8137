#include "flipout.h"

#include "newcorr.h"

namespace toolio {

namespace {

struct Area {
  long long lo, hi;
};

// The data words flipData reverses: the whole words of the data area.
Area data_area(const AvfHdr &lh) {
  const long long lo = lh.data_off;
  return {lh.data_off, lo + static_cast<long long>(lh.data_size / 4) * 4};
}

bool inside(long long off, long long size, std::size_t len) {
  return off >= 0 && size >= 0 && off + size <= static_cast<long long>(len);
}

bool apart(const Area &a, long long off, long long size) { return off + size <= a.lo || off >= a.hi; }

} // namespace

bool flips_in_pieces(const AvfHdr &lh, std::size_t len) {
  const Area d = data_area(lh);
  if (len <= FLIP_PIECE || lh.data_size < 0 || !inside(d.lo, d.hi - d.lo, len) || d.lo < SIGNATURE_LEN)
    return false;
  return (!inside(lh.wt_off, 4, len) || apart(d, lh.wt_off, 4)) &&
         (!inside(lh.time_off, 8, len) || apart(d, lh.time_off, 8));
}

void flip_fields(unsigned char *rec, std::size_t len, const AvfHdr &lh) {
  AvfHdr fields = lh;
  fields.data_size = 0;
  flipData(rec, len, &fields);
}

bool send_data_flipped(RunWriter &w, unsigned char *rec, std::size_t len, const AvfHdr &lh) {
  const Area d = data_area(lh);
  const long long n = static_cast<long long>(len);
  for (long long pos = 0; pos < n;) {
    long long end = pos + static_cast<long long>(FLIP_PIECE) < n ? pos + static_cast<long long>(FLIP_PIECE) : n;
    if (end > d.lo && end < d.hi) end = d.lo + (end - d.lo) / 4 * 4; // pieces end between words
    const long long a = pos > d.lo ? pos : d.lo, b = end < d.hi ? end : d.hi;
    if (a < b) swap_long(rec + a, static_cast<int>((b - a) / 4));
    if (!w.add(rec + pos, static_cast<std::size_t>(end - pos)) || !w.flush()) return false;
    pos = end;
  }
  return true;
}

} // namespace toolio
