// Data records in the other byte order, reversed and sent out in pieces that
// stay in the processor's cache between the two: records of several
// megabytes would otherwise be reversed in memory and read back from it.
#ifndef AVF_FLIPOUT_H
#define AVF_FLIPOUT_H

#include <cstddef>

#include "avf.h"
#include "toolio.h"

namespace toolio {

// Bytes reversed and sent out at a time.
inline constexpr std::size_t FLIP_PIECE = 256u << 10;

// Whether a record of len bytes can go out in pieces: it is longer than one,
// its data area lies within it, after the signature, and apart from the
// weight and the time, so that no number is reversed twice and the order of
// the changes does not matter.
bool flips_in_pieces(const AvfHdr &lh, std::size_t len);
// Reverses the weight and the time of a record, not its data area.
void flip_fields(unsigned char *rec, std::size_t len, const AvfHdr &lh);
// Reverses the data area piece by piece, each piece written once done.
bool send_data_flipped(RunWriter &w, unsigned char *rec, std::size_t len, const AvfHdr &lh);

// Brings a record to the local byte order, lets `stamp` change its fields
// (signature, time) and sends it out.
template <class Stamp>
bool write_flipped(RunWriter &w, unsigned char *rec, std::size_t len, const AvfHdr &lh, Stamp stamp) {
  if (!flips_in_pieces(lh, len)) {
    flipData(rec, len, &lh);
    stamp();
    return w.add(rec, len);
  }
  flip_fields(rec, len, lh);
  stamp();
  return send_data_flipped(w, rec, len, lh);
}

} // namespace toolio

#endif
