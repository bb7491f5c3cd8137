// Byte order of the correlator and scan records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "fixture.h"
#include "newcorr.h"

using fixture::Bytes;
using fixture::Order;

namespace {

template <class T> std::unique_ptr<T> load(const Bytes &b) {
  auto r = std::make_unique<T>();
  EXPECT_EQ(b.size(), sizeof(T));
  std::memcpy(r.get(), b.data(), sizeof(T));
  return r;
}

template <class T> Bytes bytes_of(const T &r) {
  const auto *p = reinterpret_cast<const unsigned char *>(&r);
  return Bytes(p, p + sizeof(T));
}

// Fills a record with a byte pattern in which no two neighbouring bytes are
// equal, so any reversal shows.
template <class T> std::unique_ptr<T> patterned() {
  auto r = std::make_unique<T>();
  auto *p = reinterpret_cast<unsigned char *>(r.get());
  for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<unsigned char>(i * 37 + 11);
  return r;
}

TEST(SwapPrimitives, ReverseAtTheirWidth) {
  unsigned char b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  unsigned char s[4] = {1, 2, 3, 4};
  swap_short(reinterpret_cast<uint32_t *>(s), 1);
  EXPECT_EQ(0, std::memcmp(s, "\x03\x04\x01\x02", 4));

  unsigned char l[4] = {1, 2, 3, 4};
  swap_long(l, 1);
  EXPECT_EQ(0, std::memcmp(l, "\x04\x03\x02\x01", 4));

  swap_d(reinterpret_cast<double *>(b), 1);
  EXPECT_EQ(0, std::memcmp(b, "\x08\x07\x06\x05\x04\x03\x02\x01", 8));

  unsigned char w[6] = {1, 2, 3, 4, 5, 6};
  swap_bytes(reinterpret_cast<uint16_t *>(w), 3);
  EXPECT_EQ(0, std::memcmp(w, "\x02\x01\x04\x03\x06\x05", 6));
}

// Long runs are reversed several words at a time, then the rest one by one:
// every count around that step, at an unaligned start, touching nothing else.
TEST(SwapPrimitives, LongRunsOfWordsAnyCount) {
  for (int n = 0; n <= 40; ++n) {
    std::vector<unsigned char> b(4 * static_cast<std::size_t>(n) + 2);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 7 + 1);
    std::vector<unsigned char> want = b;
    for (int k = 0; k < n; ++k) std::reverse(want.begin() + 1 + 4 * k, want.begin() + 5 + 4 * k);
    swap_long(b.data() + 1, n);
    EXPECT_EQ(want, b) << n;
  }
}

TEST(SwapPrimitives, NonPositiveCountsTouchNothing) {
  unsigned char b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  swap_bytes(reinterpret_cast<uint16_t *>(b), 0);
  swap_short(reinterpret_cast<uint32_t *>(b), -1);
  swap_long(b, 0);
  swap_d(reinterpret_cast<double *>(b), -5);
  EXPECT_EQ(0, std::memcmp(b, "\x01\x02\x03\x04\x05\x06\x07\x08", 8));
}

TEST(SwapPrimitives, WorkOnUnalignedItems) {
  unsigned char b[20] = {};
  for (int i = 0; i < 20; ++i) b[i] = static_cast<unsigned char>(i);
  swap_d(reinterpret_cast<double *>(b + 1), 2);
  const unsigned char want[] = {0, 8, 7, 6, 5, 4, 3, 2, 1, 16, 15, 14, 13, 12, 11, 10, 9, 17};
  EXPECT_EQ(0, std::memcmp(b, want, sizeof want));
}

TEST(FlipCorr, TwiceRestoresEveryByte) {
  auto c = patterned<CorrType>();
  Bytes before = bytes_of(*c);
  flipCorr(c.get());
  EXPECT_NE(before, bytes_of(*c));
  flipCorr(c.get());
  EXPECT_EQ(before, bytes_of(*c));
}

TEST(FlipCorr, TogglesOnlyBitZeroOfEndian) {
  auto c = std::make_unique<CorrType>();
  const unsigned char cases[][2] = {{0x03, 0x02}, {0x02, 0x03}, {0x00, 0x01}, {0x01, 0x00}, {0xFE, 0xFF}};
  for (auto [in, out] : cases) {
    c->endian = in;
    flipCorr(c.get());
    EXPECT_EQ(out, c->endian) << int(in);
  }
}

// The big-endian image of a record, flipped, must equal its little-endian
// twin byte for byte: every field is reversed at its own width, and nothing
// else (names, sampler and baseline slots, padding, reserved bytes) moves.
TEST(FlipCorr, BigEndianImageFlipsToLittleEndianTwin) {
  fixture::CorrValues v = fixture::sample_corr();
  Bytes le = fixture::corr_block(v, Order::Little);
  Bytes be = fixture::corr_block(v, Order::Big);
  ASSERT_NE(le, be);

  auto c = load<CorrType>(be);
  flipCorr(c.get());
  EXPECT_EQ(le, bytes_of(*c));

  // And the numbers read as the host's (this host is little-endian).
  EXPECT_EQ(LittleEndian, c->endian);
  EXPECT_EQ(-200.5 * 2, c->antenna[1].by);
  EXPECT_EQ(131072, c->corrpar.statime);
  EXPECT_FLOAT_EQ(33.333e6f, c->corrpar.clock);
  EXPECT_EQ(-1, c->daspar.mode);
  EXPECT_EQ(15 * 16 + 1, c->daspar.chan_num[15]);
  EXPECT_EQ(60000.5, c->daspar.mjd_ref);
  EXPECT_EQ(-0.2, c->daspar.dut1);
  EXPECT_EQ(36, c->daspar.baselines);
}

TEST(FlipCorr, SamplerAndBaselineBytesAndPaddingUntouched) {
  auto c = patterned<CorrType>();
  c->sampler[119].dpc = UNUSED_SLOT;
  c->baseline[2111].samp[0].dpc = UNUSED_SLOT;
  Bytes before = bytes_of(*c);
  flipCorr(c.get());
  Bytes after = bytes_of(*c);
  // sampler and baseline tables: 3144 .. 28967
  EXPECT_TRUE(std::equal(before.begin() + 3144, before.begin() + 28968, after.begin() + 3144));
  // dummy, version, band names
  EXPECT_TRUE(std::equal(before.begin() + 1, before.begin() + 72, after.begin() + 1));
  // corrpar's four bytes
  EXPECT_TRUE(std::equal(before.begin() + 29024, before.begin() + 29028, after.begin() + 29024));
  // last chan_num entry reversed, padding after it not
  EXPECT_EQ(before[31108], after[31109]);
  EXPECT_EQ(before[31109], after[31108]);
  EXPECT_EQ(before[31110], after[31110]);
  EXPECT_EQ(before[31111], after[31111]);
  // mjd_ref right after the padding is reversed
  for (int i = 0; i < 8; ++i) EXPECT_EQ(before[31112 + i], after[31119 - i]);
}

TEST(FlipCorr, UnusedAntennaSlotsAreReversedToo) {
  auto c = std::make_unique<CorrType>();
  unsigned char *slot31 = reinterpret_cast<unsigned char *>(c.get()) + 72 + 31 * 96;
  for (int i = 0; i < 8; ++i) slot31[8 + i] = static_cast<unsigned char>(i + 1); // bx
  flipCorr(c.get());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(8 - i, slot31[8 + i]);
}

TEST(FlipScanInfo, TwiceRestoresEveryByte) {
  auto s = patterned<ScanInfoType>();
  Bytes before = bytes_of(*s);
  flipScanInfo(s.get());
  EXPECT_NE(before, bytes_of(*s));
  flipScanInfo(s.get());
  EXPECT_EQ(before, bytes_of(*s));
}

TEST(FlipScanInfo, TimeOfOneReversed) {
  ScanInfoType s{};
  s.t = 1.0f;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(&s) + 4;
  ASSERT_EQ(0, std::memcmp(p, "\x00\x00\x80\x3F", 4));
  flipScanInfo(&s);
  EXPECT_EQ(0, std::memcmp(p, "\x3F\x80\x00\x00", 4));
}

TEST(FlipScanInfo, BigEndianImageFlipsToLittleEndianTwin) {
  fixture::ScanValues v = fixture::sample_scan();
  Bytes le = fixture::scan_block(v, Order::Little);
  auto s = load<ScanInfoType>(fixture::scan_block(v, Order::Big));
  flipScanInfo(s.get());
  EXPECT_EQ(le, bytes_of(*s));
  EXPECT_EQ(42, s->proj.seq);
  EXPECT_EQ(0xdeadbeefu, s->source.antmask);
  EXPECT_EQ(-1, s->source.net_sign[3]);
  EXPECT_EQ(62.5e3, s->source.ch_width);
  EXPECT_STREQ("3C286", s->source.object);
}

TEST(FlipScanInfo, SignallingNanSurvivesBitForBit) {
  ScanInfoType s{};
  const unsigned char snan_f[4] = {0x01, 0x00, 0xA0, 0x7F};
  const unsigned char snan_d[8] = {0x01, 0, 0, 0, 0, 0, 0xF4, 0x7F};
  std::memcpy(reinterpret_cast<unsigned char *>(&s) + 4, snan_f, 4);
  std::memcpy(reinterpret_cast<unsigned char *>(&s) + 88 + 48, snan_d, 8);
  flipScanInfo(&s);
  flipScanInfo(&s);
  EXPECT_EQ(0, std::memcmp(reinterpret_cast<unsigned char *>(&s) + 4, snan_f, 4));
  EXPECT_EQ(0, std::memcmp(reinterpret_cast<unsigned char *>(&s) + 88 + 48, snan_d, 8));
}

} // namespace
