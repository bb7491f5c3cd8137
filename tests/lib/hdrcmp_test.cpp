// Comparing two files' correlator configurations.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "avf.h"
#include "fixture.h"
#include "tempfile.h"

namespace {

std::unique_ptr<AvfInfo> info_of(const fixture::CorrValues &v) {
  auto info = std::make_unique<AvfInfo>();
  fixture::Bytes b = fixture::corr_block(v, fixture::Order::Little);
  std::memcpy(&info->corr, b.data(), b.size());
  return info;
}

struct Outcome {
  int result;
  std::string err;
};

Outcome compare(const AvfInfo &a, const AvfInfo &b, const char *checks) {
  testing::internal::CaptureStderr();
  int r = cmp_global_hdr(&a, &b, checks);
  return {r, testing::internal::GetCapturedStderr()};
}

TEST(CmpGlobalHdr, EachLetterAndItsMessage) {
  const fixture::CorrValues base = fixture::sample_corr();
  struct Case {
    const char *name;
    void (*change)(fixture::CorrValues &);
    const char *checks;
    int result;
    const char *err;
  } cases[] = {
      {"same", [](fixture::CorrValues &) {}, "abcsSBp", 0, ""},
      {"empty check string", [](fixture::CorrValues &v) { v.antmask = 1; }, "", 0, ""},
      {"antmask", [](fixture::CorrValues &v) { v.antmask = 0x1f; }, "ax", -1, "antmask mismatch\n"},
      {"bandmask", [](fixture::CorrValues &v) { v.bandmask = 1; }, "b", -1, "bandmask mismatch\n"},
      {"channel count", [](fixture::CorrValues &v) { v.chan_num.pop_back(); }, "c", -1, "channel number mismatch\n"},
      {"channel 7", [](fixture::CorrValues &v) { v.chan_num[7] = 999; }, "c", -1, "channel 7 mismatch\n"},
      {"sampler dpc and fft only", [](fixture::CorrValues &v) { v.samplers[3].dpc = 9; v.samplers[3].fft_id = 99; }, "s", 0, ""},
      {"sampler band", [](fixture::CorrValues &v) { v.samplers[5].band = 3; }, "s", -1, "sampler 5 mismatch\n"},
      {"sampler band, count only", [](fixture::CorrValues &v) { v.samplers[5].band = 3; }, "S", 0, ""},
      {"sampler count s", [](fixture::CorrValues &v) { v.samplers.pop_back(); }, "s", -1, "sampler number mismatch\n"},
      {"sampler count S", [](fixture::CorrValues &v) { v.samplers.pop_back(); }, "S", -1, "sampler number mismatch\n"},
      {"baseline other bytes", [](fixture::CorrValues &v) { v.baselines[2].card = 7; v.baselines[2].samp[1].dpc = 1; }, "B", 0, ""},
      {"baseline second antenna", [](fixture::CorrValues &v) { v.baselines[4].samp[1].ant_id = 3; }, "B", -1, "baseline 4 mismatch\n"},
      {"baseline, count only", [](fixture::CorrValues &v) { v.baselines[4].samp[1].ant_id = 3; }, "p", 0, ""},
      {"baseline count", [](fixture::CorrValues &v) { v.baselines.pop_back(); }, "pB", -1, "baseline number mismatch\n"},
      {"unknown letter", [](fixture::CorrValues &) {}, "x", -1, "Illegal Check Type x\n"},
      {"case-sensitive", [](fixture::CorrValues &) {}, "abA", -1, "Illegal Check Type A\n"},
      {"repeated letters", [](fixture::CorrValues &v) { v.bandmask = 2; }, "aab", -1, "bandmask mismatch\n"},
  };
  for (const Case &c : cases) {
    fixture::CorrValues other = base;
    c.change(other);
    auto a = info_of(base), b = info_of(other);
    Outcome o = compare(*a, *b, c.checks);
    EXPECT_EQ(c.result, o.result) << c.name;
    EXPECT_EQ(c.err, o.err) << c.name;
  }
}

TEST(CmpGlobalHdr, CountsFromAFileNeverIndexPastTheTables) {
  auto a = std::make_unique<AvfInfo>(), b = std::make_unique<AvfInfo>();
  a->corr.daspar.channels = b->corr.daspar.channels = 1 << 30;
  a->corr.daspar.samplers = b->corr.daspar.samplers = 1 << 30;
  a->corr.daspar.baselines = b->corr.daspar.baselines = -4;
  EXPECT_EQ(0, compare(*a, *b, "csB").result);
}

std::unique_ptr<AvfInfo> read_header(int version, fixture::Order o) {
  fixture::GlobalSpec g;
  g.corr_version = version;
  g.order = o;
  g.keys.byte_seq = o == fixture::Order::Big ? "Big Endian" : "Little Endian";
  g.keys.version = g.corr.version =
      version == 2 ? "CORR30 AVF1.00 DAS1.00" : "COR30x2 AVF1.10 DAS2.01 HST00";
  g.corr.text_antennas = 30;
  fixture::Bytes f = fixture::global_header(g);
  fixture::append(f, fixture::scan_header({}, o, g.keys.layout.recl()));
  fixture::TempFile t(f);
  fixture::File fp = t.open();
  auto info = std::make_unique<AvfInfo>();
  info->local_byte_order = host_byte_order();
  EXPECT_EQ(0, get_avf_hdr(fp.get(), info.get()));
  return info;
}

TEST(CmpGlobalHdr, StoredVersionAndByteOrderDoNotMatter) {
  auto v2 = read_header(2, fixture::Order::Little);
  auto v3 = read_header(3, fixture::Order::Big);
  EXPECT_EQ(0, compare(*v2, *v3, "abcsB").result);
  EXPECT_EQ(0, compare(*v3, *v2, "abcsB").result);
}

} // namespace
