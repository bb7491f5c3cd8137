// Byte reversal of numbers and of the correlator and scan records.
//
// Everything here works on bytes: a stored record may be in either byte order
// and its floating-point fields may hold any bit pattern (signalling NaNs
// included), so no field is ever loaded as a value while it is converted.
#include "newcorr.h"

#include <cstring>
#include <utility>

const char *const DefaultBandName[MAX_BANDS] = {"USB-130", "USB-175", "LSB-130", "LSB-175"};
const char *const MacModeName[MACMODES] = {"RRLL", "RRRL", "RR"};
const char *const DpcMuxName[DpcMuxVals] = {
    "NativePolar", "UsbPolar",  "LsbPolar",  "UsbCopy",   "LsbCopy",   "AllU130",
    "AllU175",     "AllL130",   "AllL175",   "arar_arar", "alal_alal", "brbr_brbr",
    "blbl_blbl",   "aral_brbl", "aral_alar", "brbl_blbr", "arbr_albl"};

namespace {

template <int W> struct Word;
template <> struct Word<2> {
  using type = uint16_t;
  static type reverse(type v) { return __builtin_bswap16(v); }
};
template <> struct Word<4> {
  using type = uint32_t;
  static type reverse(type v) { return __builtin_bswap32(v); }
};
template <> struct Word<8> {
  using type = uint64_t;
  static type reverse(type v) { return __builtin_bswap64(v); }
};

// Reverse each of n items of W bytes starting at p. Items are moved through
// integers with memcpy: no alignment is needed and no floating-point value is
// ever formed.
template <int W> void reverse_items(void *p, int n) {
  using T = typename Word<W>::type;
  auto *b = static_cast<unsigned char *>(p);
  int k = 0;
  if constexpr (W == 4) {
    // The data area of a record is millions of words: eight at a time in
    // vector registers, with shifts and masks any vector unit has.
    using V = uint32_t __attribute__((vector_size(32)));
    constexpr int LANES = sizeof(V) / 4;
    for (; k + LANES <= n; k += LANES) {
      V v;
      std::memcpy(&v, b + static_cast<std::size_t>(k) * 4, sizeof v);
      v = (v << 24) | ((v & 0xff00) << 8) | ((v >> 8) & 0xff00) | (v >> 24);
      std::memcpy(b + static_cast<std::size_t>(k) * 4, &v, sizeof v);
    }
  }
  for (; k < n; ++k) {
    T v;
    std::memcpy(&v, b + static_cast<std::size_t>(k) * W, W);
    v = Word<W>::reverse(v);
    std::memcpy(b + static_cast<std::size_t>(k) * W, &v, W);
  }
}

// Field reversal inside a record, addressed by byte offset so that no
// reference to a (possibly under-aligned) packed member is ever formed.
template <int W> void flip_at(void *rec, std::size_t off, int n = 1) {
  reverse_items<W>(static_cast<unsigned char *>(rec) + off, n);
}

} // namespace

void swap_bytes(uint16_t *p, int n) { reverse_items<2>(p, n); }

void swap_short(uint32_t *p, int n) {
  auto *b = reinterpret_cast<unsigned char *>(p);
  for (int k = n - 1; k >= 0; --k) {
    unsigned char *item = b + static_cast<std::size_t>(k) * 4;
    std::swap(item[0], item[2]);
    std::swap(item[1], item[3]);
  }
}

void swap_long(void *p, int n) { reverse_items<4>(p, n); }

void swap_d(double *p, int n) { reverse_items<8>(p, n); }

void flipAnt(AntennaParType *a) {
  flip_at<8>(a, offsetof(AntennaParType, bx), 3); // bx, by, bz
  flip_at<8>(a, offsetof(AntennaParType, d0), MAX_BANDS);
  flip_at<8>(a, offsetof(AntennaParType, p0), MAX_BANDS);
}

void flipCorrPar(CorrParType *c) {
  // macs through clock: nine int32 and five float, contiguous.
  flip_at<4>(c, offsetof(CorrParType, macs), 14);
}

void flipDasPar(DasParType *d) {
  flip_at<4>(d, offsetof(DasParType, antmask), 7); // antmask .. prx_fstop
  flip_at<2>(d, offsetof(DasParType, bandmask), 3); // bandmask, mode, prx_stokes
  flip_at<2>(d, offsetof(DasParType, chan_num), MAX_CHANS);
  flip_at<8>(d, offsetof(DasParType, mjd_ref), 5); // mjd_ref .. dut1
}

void flipSourcePar(SourceParType *s) {
  flip_at<4>(s, offsetof(SourceParType, flux), 4);
  flip_at<8>(s, offsetof(SourceParType, mjd0), 18); // mjd0 .. ch_width
  flip_at<4>(s, offsetof(SourceParType, id), 8);    // id, net_sign[4], mode, dum1, antmask
  flip_at<2>(s, offsetof(SourceParType, bandmask), 4); // bandmask, dum2, calcode, qual
}

void flipProject(ProjectType *p) {
  flip_at<4>(p, offsetof(ProjectType, antmask));
  flip_at<2>(p, offsetof(ProjectType, bandmask), 2); // bandmask, seq
}

void flipScanInfo(ScanInfoType *s) {
  flip_at<4>(s, offsetof(ScanInfoType, status), 2); // status, t
  flipProject(&s->proj);
  flipSourcePar(&s->source);
}

void flipCorr(CorrType *c) {
  c->endian ^= 1;
  for (int i = MAX_ANTS - 1; i >= 0; --i) flipAnt(&c->antenna[i]);
  flipCorrPar(&c->corrpar);
  flipDasPar(&c->daspar);
}
