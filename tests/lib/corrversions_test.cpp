// Stored correlator record versions and their conversions.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "avf.h"
#include "fixture.h"

using fixture::Bytes;
using fixture::CorrValues;
using fixture::Order;

namespace {

Bytes bytes_of(const CorrType &c, std::size_t n = sizeof(CorrType)) {
  const auto *p = reinterpret_cast<const unsigned char *>(&c);
  return Bytes(p, p + n);
}

// The first offset at which two images differ, or -1: a readable failure.
long first_diff(const Bytes &a, const Bytes &b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) return static_cast<long>(i);
  return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

std::unique_ptr<AvfInfo> info_with_block(const Bytes &block) {
  auto info = std::make_unique<AvfInfo>();
  std::memset(&info->corr, 0xEE, sizeof(CorrType)); // stale bytes beyond a short block
  std::memcpy(&info->corr, block.data(), block.size());
  return info;
}

// What the reference record holds after reading a stored version: the
// members that version has no place for read as zero.
CorrValues expected_after_reading(CorrValues v, int version) {
  v.version.replace(0, 8, version == 2 ? "CORR30  " : "COR30x2 ");
  if (version == 4) return v;
  v.pad = {0, 0};
  v.cntrl = v.iabeam = v.pabeam1 = v.pabeam2 = 0;
  v.iabeam_res = v.pabeam1_res = v.pabeam2_res = 0;
  v.prx_maxchan = v.prx_fstop = 0;
  v.prx_stokes = 0;
  v.prx_acq_bw = v.prx_final_bw = 0;
  if (version == 2) v.dut1 = 0;
  return v;
}

TEST(CorrVersions, ChosenFromTheVersionText) {
  struct Case {
    const char *text;
    int version;
  } cases[] = {
      {"COR30x2 AVF1.10 DAS2.01 HST00", 3}, {"COR30x2 AVF1.10 DAS2.01 HST03", 4},
      {"CORR30 AVF1.00 DAS1.00", 2},       {"AVF1.10 HST03", 0},
      {"COR30x2", 2}, // no blank after the token: the reading rule does not see it
  };
  for (const Case &c : cases) EXPECT_EQ(c.version, corr_read_version(c.text)) << c.text;
}

TEST(CorrVersions, ReadingRebuildsTheReferenceLayout) {
  CorrValues v = fixture::sample_corr();
  int (*read[])(AvfInfo *) = {nullptr, nullptr, corr2_to_corr_ref, corr3_to_corr_ref, corr4_to_corr_ref};
  for (int version : {2, 3, 4}) {
    auto info = info_with_block(fixture::corr_block(v, Order::Little, version));
    std::strcpy(info->lhdr.old_version, "as read");
    EXPECT_EQ(0, read[version](info.get()));
    CorrValues e = expected_after_reading(v, version);
    EXPECT_EQ(-1, first_diff(fixture::corr_block(e, Order::Little), bytes_of(info->corr))) << "version " << version;
    EXPECT_EQ(e.version, info->lhdr.version);
    EXPECT_STREQ("as read", info->lhdr.old_version);
  }
}

TEST(CorrVersions, ReadingWorksInEitherByteOrder) {
  CorrValues v = fixture::sample_corr();
  for (int version : {2, 3, 4}) {
    auto info = info_with_block(fixture::corr_block(v, Order::Big, version));
    corr_stored_to_ref(info.get(), version);
    flipCorr(&info->corr);
    CorrValues e = expected_after_reading(v, version);
    EXPECT_EQ(-1, first_diff(fixture::corr_block(e, Order::Little), bytes_of(info->corr))) << "version " << version;
  }
}

TEST(CorrVersions, VersionFourTrailingBytesAreIgnored) {
  CorrValues v = fixture::sample_corr();
  Bytes block = fixture::corr_block(v, Order::Little, 4);
  for (std::size_t i = 30928; i < block.size(); ++i) block[i] = 0xA5;
  auto info = info_with_block(block);
  corr4_to_corr_ref(info.get());
  EXPECT_EQ(-1, first_diff(fixture::corr_block(expected_after_reading(v, 4), Order::Little), bytes_of(info->corr)));
}

// A file read and written back on a host of its byte order keeps every
// stored byte when its record version equals its Corrsys VERSION, free
// sampler and baseline slots included.
TEST(CorrVersions, ReadThenWriteGivesTheStoredBlockBack) {
  CorrValues v = fixture::sample_corr();
  for (int version : {2, 3, 4}) {
    CorrValues s = v;
    s.version = version == 2 ? "CORR30 AVF1.00 DAS1.00" : version == 3 ? "COR30x2 AVF1.10 DAS2.01 HST00"
                                                                        : "COR30x2 AVF1.10 DAS2.01 HST03";
    Bytes stored = fixture::corr_block(s, Order::Little, version);
    auto info = info_with_block(stored);
    std::strcpy(info->lhdr.old_version, s.version.c_str());
    std::strcpy(info->lhdr.vinfo.corrlite.old_version, s.version.c_str());
    info->keep_version = 1;
    corr_stored_to_ref(info.get(), corr_read_version(info->lhdr.old_version));
    EXPECT_EQ(version, corr_write_version(info.get()));
    auto corr1 = std::make_unique<CorrType>();
    EXPECT_EQ(0, corr_ref_to_stored(info.get(), version, corr1.get()));
    std::size_t n = version == 4 ? 30928 : corr_block_size(version);
    EXPECT_EQ(corr_block_size(version), stored.size());
    Bytes back = bytes_of(*corr1, n);
    stored.resize(n);
    EXPECT_EQ(-1, first_diff(stored, back)) << "version " << version;
  }
}

TEST(CorrVersions, WritingChoiceFromBothTexts) {
  auto info = std::make_unique<AvfInfo>();
  struct Case {
    int keep;
    const char *old_version, *version;
    int want;
  } cases[] = {
      {1, "CORR30 AVF1.00", "CORR30 AVF1.00", 2}, {1, "COR30x2 AVF1.10 HST00", "COR30x2 HST00", 3},
      {1, "COR30x2 AVF1.10 HST03", "COR30x2 HST03", 4}, {1, "AVF1.10 HST03", "AVF1.10 HST03", 0},
      {0, "COR30x2 AVF1.10 HST00", "COR30x2 HST00", 0},
      // Texts that disagree: the block follows the VERSION text that is written.
      {1, "COR30x2", "COR30x2", 2}, {1, "COR30x2 AVF1.10 HSTp3", "COR30x2 AVF1.10 HST03", 3},
  };
  for (const Case &c : cases) {
    info->keep_version = c.keep;
    std::strcpy(info->lhdr.old_version, c.old_version);
    std::strcpy(info->lhdr.version, c.version);
    EXPECT_EQ(c.want, corr_write_version(info.get())) << c.old_version;
  }
  EXPECT_EQ(16192u, corr_block_size(2));
  EXPECT_EQ(29368u, corr_block_size(3));
  EXPECT_EQ(31152u, corr_block_size(4));
  EXPECT_EQ(31152u, corr_block_size(0));
}

TEST(CorrVersions, WritingVersionTwoMarksFreeSamplerSlotsAndKeepsOffsets) {
  CorrValues v = fixture::sample_corr();
  v.samplers.resize(3);
  auto info = info_with_block(fixture::corr_block(v, Order::Little));
  std::strcpy(info->lhdr.vinfo.corrlite.old_version, "CORR30 AVF1.00");
  auto corr1 = std::make_unique<CorrType>();
  corr_ref_to_corr2(info.get(), corr1.get());
  Bytes out = bytes_of(*corr1);
  for (int s = 0; s < 60; ++s) {
    unsigned char dpc = out[2952 + 4 * s + 3];
    if (s < 3)
      EXPECT_EQ(s, dpc);
    else
      EXPECT_EQ(0x78, dpc) << s;
  }
  // corrpar right after the 1056 baseline slots, whatever the count in use.
  EXPECT_EQ(36u, fixture::get_u32(out, 15864, Order::Little)); // macs
  EXPECT_EQ(131072u, fixture::get_u32(out, 15864 + 16, Order::Little)); // statime
  EXPECT_EQ(60000.5, fixture::get_f64(out, 15896 + 280, Order::Little)); // mjd_ref
  EXPECT_EQ("CORR30 AVF1.00", std::string(corr1->version));
}

TEST(CorrVersions, WritingPacksBaselinesAroundUnusedSamplers) {
  CorrValues v = fixture::sample_corr();
  v.baselines.resize(4);
  v.baselines[1].samp[1].dpc = 0x78;
  auto info = info_with_block(fixture::corr_block(v, Order::Little));
  auto corr1 = std::make_unique<CorrType>();
  corr_ref_to_corr3(info.get(), corr1.get());
  Bytes out = bytes_of(*corr1);
  Bytes ref = fixture::corr_block(v, Order::Little);
  auto slot = [](const Bytes &b, std::size_t area, int i) {
    return Bytes(b.begin() + area + 12 * i, b.begin() + area + 12 * i + 12);
  };
  EXPECT_EQ(slot(ref, 3624, 0), slot(out, 3432, 0));
  EXPECT_EQ(slot(ref, 3624, 2), slot(out, 3432, 1));
  EXPECT_EQ(slot(ref, 3624, 3), slot(out, 3432, 2));
  for (int i = 3; i < 2112; ++i) {
    EXPECT_EQ(0x78, out[3432 + 12 * i + 3]) << i;
    EXPECT_EQ(0x78, out[3432 + 12 * i + 7]) << i;
  }
  EXPECT_EQ(4u, fixture::get_u32(out, 28808 + 8, Order::Little)); // baselines count unchanged
  EXPECT_EQ(60000.5, fixture::get_f64(out, 28808 + 536, Order::Little));
  EXPECT_EQ(-0.2, fixture::get_f64(out, 28808 + 552, Order::Little)); // dut1
}

TEST(CorrVersions, CountsBeyondCapacityStopAtTheCapacity) {
  auto info = std::make_unique<AvfInfo>();
  info->corr.daspar.samplers = 1000;
  info->corr.daspar.baselines = -5;
  std::memset(info->lhdr.vinfo.corrlite.old_version, 'V', sizeof info->lhdr.vinfo.corrlite.old_version);
  auto corr1 = std::make_unique<CorrType>();
  corr_ref_to_corr2(info.get(), corr1.get());
  EXPECT_EQ(31u, std::strlen(corr1->version));
  EXPECT_EQ(0x78, reinterpret_cast<unsigned char *>(corr1.get())[3192 + 3]); // baseline 0 unused
}

} // namespace
