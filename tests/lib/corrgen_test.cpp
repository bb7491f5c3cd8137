// Correlator description text writer: list compression, each section's text,
// and records with counts, indexes and numbers that a damaged file can carry.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "avf.h"
#include "fixture.h"
#include "newcorr.h"

namespace {

using Writer = int (*)(const CorrType *, char *);

constexpr fixture::Order host_order =
    std::endian::native == std::endian::little ? fixture::Order::Little : fixture::Order::Big;

std::unique_ptr<CorrType> make_corr(const fixture::CorrValues &v) {
  const fixture::Bytes b = fixture::corr_block(v, host_order);
  auto c = std::make_unique<CorrType>();
  EXPECT_EQ(b.size(), sizeof(CorrType));
  std::memcpy(c.get(), b.data(), sizeof(CorrType));
  return c;
}

// Runs a writer into a buffer of exactly the documented size (so the address
// sanitizer sees any overrun) and checks the result against the NUL.
std::string render(Writer w, const CorrType &c) {
  std::vector<char> buf(CORRGEN_MAX, '#');
  const int n = w(&c, buf.data());
  EXPECT_GE(n, 0);
  EXPECT_LT(n, CORRGEN_MAX);
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf.data()));
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string scanpar(int subarray, const ScanInfoType &s) {
  std::vector<char> buf(SCANPAR_MAX, '#');
  const int n = put_scanpar(subarray, 99, &s, buf.data());
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf.data()));
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::unique_ptr<ScanInfoType> make_scan(const fixture::ScanValues &v) {
  const fixture::Bytes b = fixture::scan_block(v, host_order);
  auto s = std::make_unique<ScanInfoType>();
  EXPECT_EQ(b.size(), sizeof(ScanInfoType));
  std::memcpy(s.get(), b.data(), sizeof(ScanInfoType));
  return s;
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l + "\n");
  return out;
}

int count_lines_starting(const std::string &text, const std::string &prefix) {
  int n = 0;
  for (const auto &l : lines_of(text)) n += l.rfind(prefix, 0) == 0;
  return n;
}

std::string range_of(const std::vector<int16_t> &v) {
  std::string s = "previous content";
  const int n = print_range(s, v.data(), static_cast<int>(v.size()));
  EXPECT_EQ(static_cast<size_t>(n), s.size());
  return s;
}

// ---------------------------------------------------------------------------

TEST(PrintRange, RendersRunsAndSingles) {
  const struct {
    std::vector<int16_t> values;
    const char *text;
  } cases[] = {
      {{}, ""},
      {{7}, " 7"},
      {{3, 8}, " 3 8"},
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, " 0:9:1"},
      {{0, 2, 4, 7}, " 0:4:2 7"},
      {{5, 5, 5}, " 5:5:0"},
      {{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, " 9:0:-1"},
      {{1, 2, 3, 10, 20, 30, 31}, " 1:3:1 10:30:10 31"},
      {{1, 2, 4, 8}, " 1 2 4 8"},
      {{-32767, 0, 32767}, " -32767:32767:32767"},
      {{-3, -2, -1, 32767, -32768}, " -3:-1:1 32767 -32768"},
  };
  for (const auto &c : cases) EXPECT_EQ(c.text, range_of(c.values)) << c.text;
}

// Two interleaved sequences are not rendered as two runs: " 0:31:1 512:543:1"
// reads back as 0 to 31 followed by 512 to 543, not as the list written. The
// list goes out plainly, in its own order.
TEST(PrintRange, InterleavedSequencesAreWrittenInTheirOwnOrder) {
  std::vector<int16_t> v;
  std::string plain;
  for (int16_t i = 0; i < 32; ++i) {
    v.push_back(i);
    v.push_back(static_cast<int16_t>(512 + i));
    plain += " " + std::to_string(i) + " " + std::to_string(512 + i);
  }
  EXPECT_EQ(plain, range_of(v));
  const std::vector<int16_t> w = {10000, 20000, 10001, 20001, 10002, 20002,
                                  10003, 20003, 10004, 20004, 30000, 32000};
  EXPECT_EQ(" 10000 20000 10001 20001 10002 20002 10003 20003 10004 20004 30000 32000", range_of(w));
}

TEST(PrintRange, LongPlainListIsWrittenWhole) {
  std::vector<int16_t> v;
  for (int i = 0; i < 1024; ++i) v.push_back(static_cast<int16_t>(-32768 + (i * i * 7919LL) % 65536));
  const std::string s = range_of(v);
  std::istringstream in(s);
  std::vector<int16_t> back;
  for (int x; in >> x;) back.push_back(static_cast<int16_t>(x));
  EXPECT_EQ(v, back);
  EXPECT_TRUE(in.eof());
}

TEST(CorrgenKeywords, TableMatchesTheEnumeration) {
  EXPECT_EQ(42, Vars);
  const struct {
    int index;
    const char *name;
  } cases[] = {{Version, "VERSION"}, {Samplers, "F_ENABLE"}, {Macs, "X_ENABLE"},
               {StaTime, "STATIME"}, {Dra, "DRA/DT"},     {Ddec, "DDEC/DT"},
               {MJD, "MJD_SRC"},     {Date_obs, "DATE-OBS"}, {Net_sign, "NET_SIGN"}};
  for (const auto &c : cases) EXPECT_STREQ(c.name, CorrVarName[c.index]);
  for (int i = 0; i < Vars; ++i) {
    ASSERT_NE(nullptr, CorrVarName[i]);
    EXPECT_LE(std::strlen(CorrVarName[i]), 8u) << i;
  }
}

// ---------------------------------------------------------------------------

TEST(PutSections, CorrsysBandnamesAndCorrsel) {
  const auto c = make_corr(fixture::sample_corr());
  EXPECT_EQ("{ Corrsys.def\n"
            "VERSION = COR30x2 AVF1.10 DAS2.01 HST03     \n"
            "CLOCK   = 33333000.000000 Hz  \n"
            "STA     = 65536 Cycles\n"
            "STATIME = 131072 usec\n"
            "T_UNIT  = 0.000001  sec\n"
            "ANTS    = 32     \n"
            "F_ENABLE= 8     \n"
            "X_ENABLE= 36     \n"
            "CHAN_MAX= 256     \n"
            "POLS    = 2     \n"
            "} Corrsys\n*  \n",
            render(put_syspar, *c));
  EXPECT_EQ("{ Bandnames.def \n"
            "BAND00  = USB-130\n"
            "BAND01  = USB-175\n"
            "BAND02  = LSB-130\n"
            "BAND03  = LSB-175\n"
            "} Bandnames\n*   \n",
            render(put_bandnames, *c));
  EXPECT_EQ("{ Corrsel.def \n"
            "MODE    = ffff \n"
            "AVF     = 16 \n"
            "SAMP_NUM=  0:7:1\n"
            "CHAN_NUM=  1:241:16\n"
            "} Corrsel\n*  \n",
            render(put_selection, *c));
}

TEST(PutSections, AntennaListsAll32SlotsWhateverIsInUse) {
  auto v = fixture::sample_corr();
  v.antennas.resize(3);
  const auto c = make_corr(v);
  const auto lines = lines_of(render(put_antpar, *c));
  ASSERT_EQ(36u, lines.size());
  EXPECT_EQ("{ Antenna.def \n", lines[0]);
  EXPECT_EQ("*AntId  = Ant      bx        by        bz      delay0    delay1\n", lines[1]);
  EXPECT_EQ("ANT00   = C00    100.25   -200.50   3125.00      0.00      0.00\n", lines[2]);
  EXPECT_EQ("ANT01   = C01    200.50   -401.00   3126.00      1.00      1.00\n", lines[3]);
  EXPECT_EQ("ANT03   =          0.00      0.00      0.00      0.00      0.00\n", lines[5]);
  EXPECT_EQ("ANT31   =          0.00      0.00      0.00      0.00      0.00\n", lines[33]);
  EXPECT_EQ("} Antenna\n", lines[34]);
  EXPECT_EQ("*   \n", lines[35]);
}

TEST(PutSections, SamplerLinesFollowDpcNumbersWithNoneForGaps) {
  auto c = make_corr(fixture::sample_corr());
  c->daspar.samplers = 3;
  c->sampler[0] = {1, 1, 7, 2};
  c->sampler[1] = {0, 0, 3, 0};
  c->sampler[2] = {2, 3, 9, 2}; // same DPC as entry 0: the first entry wins
  c->sampler[3] = {0, 0, 0, 5}; // beyond the count
  EXPECT_EQ("{ Sampler.def \n"
            "* Even numbered are lower pipelines of the samplers.\n"
            "* Odd  numbered are upper pipelines of the samplers.\n"
            "*SampId = Ant BandId FftId\n"
            "SMP000  = C00 USB-130 003\n"
            "SMP001  = None\n"
            "SMP002  = C01 USB-175 007\n"
            "} Sampler\n*   \n",
            render(put_samppar, *c));
}

TEST(PutSections, BaselineKeywordWidthFollowsVersion) {
  const struct {
    const char *version;
    const char *line5;
  } cases[] = {
      {"COR30x2 AVF1.10 DAS2.01 HST03", "BAS0005 = 00 00 02 01  000  005  C00 USB-130  E02 USB-175\n"},
      {"AVF1.00 DAS2.00 HST00", "BAS005  = 00 00 02 01  000  005  C00 USB-130  E02 USB-175\n"},
  };
  for (const auto &k : cases) {
    auto v = fixture::sample_corr();
    v.version = k.version;
    const auto lines = lines_of(render(put_baselinepar, *make_corr(v)));
    ASSERT_EQ(3u + 36u + 2u, lines.size());
    EXPECT_EQ("{ Baseline.def \n", lines[0]);
    EXPECT_EQ("* Baseline conf. that correspond to a pair of (ant,band)\n", lines[1]);
    EXPECT_EQ("*BaseId = A0 B0 A1 B1 SMP0 SMP1 Ant0   Band0 Ant1   Band1\n", lines[2]);
    EXPECT_EQ(k.line5, lines[3 + 5]);
    EXPECT_EQ("} Baseline\n", lines[39]);
    EXPECT_EQ("*   \n", lines[40]);
  }
}

TEST(PutSections, LongSamplerListSplitsAtBlanksOverSmpNumLines) {
  auto c = make_corr(fixture::sample_corr());
  const int dpc[60] = {100, 15, 20, 18, 17, 22, 20, 19, 24, 22, 21, 26, 24, 23, 28,
                       26,  25, 30, 28, 27, 32, 30, 29, 34, 32, 31, 36, 34, 33, 38,
                       36,  35, 40, 38, 37, 42, 40, 39, 44, 42, 41, 46, 44, 43, 48,
                       46,  45, 50, 48, 47, 52, 50, 49, 54, 52, 51, 56, 54, 53, 58};
  c->daspar.samplers = 60;
  for (int i = 0; i < 60; ++i) c->sampler[i].dpc = static_cast<unsigned char>(dpc[i]);
  EXPECT_EQ("{ Corrsel.def \n"
            "MODE    = ffff \n"
            "AVF     = 16 \n"
            "SAMP_NUM=  100 15 20 18 17 22 20 19 24 22 21 26 24 23 28 26 25 30 28 27 32 30\n"
            "SMP_NUM0=  29 34 32 31 36 34 33 38 36 35 40 38 37 42 40 39 44 42 41 46 44 43 48\n"
            "SMP_NUM1=  46 45 50 48 47 52 50 49 54 52 51 56 54 53 58\n"
            "CHAN_NUM=  1:241:16\n"
            "} Corrsel\n*  \n",
            render(put_selection, *c));
}

TEST(PutSections, LongChannelListIsCutWithTwoWarnings) {
  auto v = fixture::sample_corr();
  v.chan_num = {1000, 1005, 1003, 1002, 1007, 1005, 1004, 1009, 1007, 1006,
                1011, 1009, 1008, 1013, 1011, 1010, 1015, 1013, 1012, 1017};
  const auto c = make_corr(v);
  testing::internal::CaptureStderr();
  const std::string text = render(put_selection, *c);
  EXPECT_EQ("WARNING:print_range 80 chars exceeded!\n"
            "WARNING:dumpvis may be unable to read this file\n",
            testing::internal::GetCapturedStderr());
  EXPECT_NE(std::string::npos,
            text.find("\nCHAN_NUM=  1000 1005 1003 1002 1007 1005 1004 1009 1007 1006 1011 1009 "
                      "1008 101\n} Corrsel\n"));
}

TEST(PutSections, ScanparWritesTheSubArraySection) {
  const auto s = make_scan(fixture::sample_scan());
  EXPECT_EQ("{ SubArray2.def \n"
            "ANTMASK = 0000ffff\n"
            "BANDMASK= 0003\n"
            "SEQ     = 42\n"
            "PROJECT = pulsar timing \n"
            "CODE    = 31_042 \n"
            "OBJECT  = 3C286 \n"
            "RA-DATE = 202.786952\n"
            "DEC-DATE= 30.510003\n"
            "MJD_SRC = 51544.500000\n"
            "DRA/DT  = 0.000006 \n"
            "DDEC/DT = -0.000011 \n"
            "F_STEP  = 62500.000000 \n"
            "RF      = 325900000  327100000 \n"
            "FIRST_LO= 305000000 306000000\n"
            "BB_LO   = 70000000 71000000\n"
            "NET_SIGN= 1 -1 1 -1\n"
            "} SubArray2  \n",
            scanpar(2, *s));
}

// A newline inside a text field of a damaged record must not end the line:
// the rest would stand as a line of its own (here one that ends the header).
TEST(PutSections, NewlinesInTextFieldsStayInTheirLine) {
  auto s = make_scan(fixture::sample_scan());
  const std::string clean_scan = scanpar(0, *s);
  std::strcpy(s->proj.title, "pulsar\nEND_OF_HEADER");
  std::memcpy(s->source.object, "3C\n86", 6);
  const std::string scan = scanpar(0, *s);
  EXPECT_EQ(lines_of(clean_scan).size(), lines_of(scan).size());
  EXPECT_NE(std::string::npos, scan.find("\nPROJECT = pulsar END_OF_HEADER \n"));
  EXPECT_NE(std::string::npos, scan.find("\nOBJECT  = 3C 86 \n"));

  auto c = make_corr(fixture::sample_corr());
  const std::string clean_corr = render(corrgen, *c);
  std::memcpy(c->antenna[0].name, "C\n0", 4);
  std::memcpy(c->bandname[0], "USB\n}30", 8);
  std::strcpy(c->version, "COR30x2\n{ X");
  const std::string corr = render(corrgen, *c);
  EXPECT_EQ(lines_of(clean_corr).size(), lines_of(corr).size());
  EXPECT_EQ(count_lines_starting(clean_corr, "ANT"), count_lines_starting(corr, "ANT"));
  EXPECT_NE(std::string::npos, corr.find("\nANT00   = C 0 "));
  EXPECT_NE(std::string::npos, corr.find("\nBAND00  = USB }30\n"));
  EXPECT_NE(std::string::npos, corr.find("\nVERSION = COR30x2 { X     \n"));
}

TEST(PutSections, ScanparFrequenciesTruncateTowardZero) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double f0, f1;
    const char *line;
  } cases[] = {
      {325.9, -325.9, "RF      = 325  -325 \n"},
      {0.99, -0.99, "RF      = 0  0 \n"},
      // Beyond what the format carries: held at the int range, NaN as 0.
      {1e12, -1e12, "RF      = 2147483647  -2147483648 \n"},
      {nan, HUGE_VAL, "RF      = 0  2147483647 \n"},
  };
  for (const auto &k : cases) {
    auto s = make_scan(fixture::sample_scan());
    s->source.freq[0] = k.f0;
    s->source.freq[1] = k.f1;
    EXPECT_NE(std::string::npos, scanpar(0, *s).find(k.line)) << k.line;
  }
}

// ---------------------------------------------------------------------------

TEST(Corrgen, SectionsInOrderThenEndLine) {
  const auto c = make_corr(fixture::sample_corr());
  const std::string text = render(corrgen, *c);
  const std::string expected = render(put_syspar, *c) + render(put_antpar, *c) +
                               render(put_bandnames, *c) + render(put_samppar, *c) +
                               render(put_baselinepar, *c) + render(put_selection, *c) +
                               "END_OF_HEADER   \n";
  EXPECT_EQ(expected, text);
  const auto lines = lines_of(text);
  EXPECT_EQ(13u + 36u + 7u + 14u + 41u + 7u + 1u, lines.size());
  for (const auto &l : lines) EXPECT_LE(l.size(), 80u) << l;
  const char *opens[] = {"{ Corrsys.def\n",  "{ Antenna.def \n",  "{ Bandnames.def \n",
                         "{ Sampler.def \n", "{ Baseline.def \n", "{ Corrsel.def \n"};
  size_t at = 0;
  for (const char *o : opens) {
    const size_t p = text.find(o);
    ASSERT_NE(std::string::npos, p) << o;
    EXPECT_LE(at, p) << o;
    at = p;
  }
}

TEST(Corrgen, CountsBeyondCapacityAreCutAndBadIndexesGiveEmptyNames) {
  auto c = make_corr(fixture::sample_corr());
  c->daspar.samplers = 1000;
  c->daspar.baselines = 100000;
  c->daspar.channels = 5000;
  c->sampler[0].ant_id = 200;
  c->sampler[0].band = 9;
  c->baseline[0].samp[0].ant_id = 200;
  c->baseline[0].samp[0].band = 9;
  testing::internal::CaptureStderr();
  const std::string text = render(corrgen, *c);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(MAX_BASE, count_lines_starting(text, "BAS"));
  // Entries 8 to 119 carry the unused mark 120, which numbers no line: the
  // DPC numbers run to 7, as for the 8 samplers in use.
  EXPECT_EQ(8, count_lines_starting(text, "SMP"));
  EXPECT_NE(std::string::npos, text.find("\nSMP000  =   000\n"));
  EXPECT_NE(std::string::npos, text.find("\nBAS0000 = 200 09 00 00  000  000     C00 USB-130\n"));
  // Channels 16 to 1023 are 0; nothing past the 1024 entries is read.
  EXPECT_NE(std::string::npos, text.find("\nCHAN_NUM=  1:241:16 0:0:0\n"));
  EXPECT_NE(std::string::npos, text.find("\nF_ENABLE= 1000     \n"));
}

// Unused slots (DPC mark 120) and damaged DPC bytes above it within the
// sampler count add no lines: the section never has more lines than the
// reader holds, and it reads back.
TEST(Corrgen, UnusedAndOutOfRangeDpcNumbersAddNoSamplerLines) {
  auto c = make_corr(fixture::sample_corr());
  const std::string clean = render(corrgen, *c);
  c->daspar.samplers = 12;
  c->sampler[8].dpc = UNUSED_SLOT;
  c->sampler[9].dpc = 200;
  c->sampler[10].dpc = 255;
  c->sampler[11].dpc = 9; // in use: DPC 8 has no sampler
  const std::string text = render(corrgen, *c);
  EXPECT_EQ(10, count_lines_starting(text, "SMP"));
  EXPECT_NE(std::string::npos, text.find("\nSMP008  = None\n"));
  EXPECT_EQ(count_lines_starting(clean, "SMP"), 8);
  // As the header writer embeds it: section lines behind a "*".
  std::string section = "\n*" + text.substr(text.find("{ Sampler.def"));
  section.replace(section.find("\n} Sampler"), 2, "\n*");
  auto vi = std::make_unique<VisInfo>();
  EXPECT_EQ(0, get_samp_info(section.c_str(), section.size(), vi.get()));
}

TEST(Corrgen, NegativeCountsWriteNoEntries) {
  auto c = make_corr(fixture::sample_corr());
  c->daspar.samplers = -1;
  c->daspar.baselines = -5;
  c->daspar.channels = -1;
  const std::string text = render(corrgen, *c);
  EXPECT_EQ(0, count_lines_starting(text, "SMP0"));
  EXPECT_EQ(0, count_lines_starting(text, "BAS"));
  EXPECT_NE(std::string::npos, text.find("\nSAMP_NUM= \nCHAN_NUM= \n"));
}

TEST(Corrgen, LongestPossibleTextFitsTheDocumentedBuffer) {
  // Every field at its widest: unterminated names, extreme numbers, all slots
  // in use with the longest names, DPC numbers up to 119 (the largest that
  // numbers a line).
  auto c = std::make_unique<CorrType>();
  std::memset(c.get(), 0, sizeof(CorrType));
  std::memset(c->version, 'V', sizeof c->version);
  for (auto &b : c->bandname) std::memcpy(b, "ABCDEFGH", 8);
  for (auto &a : c->antenna) {
    std::memcpy(a.name, "WXYZ", 4);
    a.bx = a.by = a.bz = -DBL_MAX;
    a.d0[0] = a.d0[1] = -DBL_MAX;
  }
  for (int i = 0; i < MAX_SAMPS; ++i)
    c->sampler[i] = {31, 3, 255, static_cast<unsigned char>(MAX_SAMPS - 1 - i)};
  for (auto &bl : c->baseline) bl.samp[0] = bl.samp[1] = {31, 3, 255, 255};
  c->corrpar.macs = c->corrpar.channels = c->corrpar.pols = INT32_MIN;
  c->corrpar.sta = c->corrpar.statime = INT32_MIN;
  c->corrpar.clock = -FLT_MAX;
  c->daspar.samplers = MAX_SAMPS;
  c->daspar.baselines = MAX_BASE;
  c->daspar.channels = MAX_CHANS;
  c->daspar.avf = INT32_MIN;
  c->daspar.t_unit = -DBL_MAX;
  for (int i = 0; i < MAX_CHANS; ++i) c->daspar.chan_num[i] = static_cast<int16_t>(i % 2 ? -32768 : i * 31);

  testing::internal::CaptureStderr();
  const std::string text = render(corrgen, *c);
  testing::internal::GetCapturedStderr();
  ASSERT_GE(text.size(), 31u);
  EXPECT_EQ("} Corrsel\n*  \nEND_OF_HEADER   \n", text.substr(text.size() - 31));
  // No section was cut short.
  EXPECT_NE(std::string::npos, text.find("} Antenna\n*   \n{ Bandnames.def \n"));
  EXPECT_NE(std::string::npos, text.find("} Sampler\n*   \n{ Baseline.def \n"));
  EXPECT_NE(std::string::npos, text.find("} Baseline\n*   \n{ Corrsel.def \n"));
  EXPECT_EQ(MAX_SAMPS, count_lines_starting(text, "SMP"));
  EXPECT_EQ(MAX_BASE, count_lines_starting(text, "BAS"));
  // Names stop at the end of their fields.
  EXPECT_NE(std::string::npos, text.find("\nVERSION = " + std::string(32, 'V') + "     \n"));
  EXPECT_NE(std::string::npos, text.find("\nBAND00  = ABCDEFGH\n"));
  EXPECT_NE(std::string::npos, text.find("\nSMP119  = WXYZ ABCDEFGH 255\n"));
  EXPECT_NE(std::string::npos,
            text.find("\nBAS000  = 31 03 31 03  255  255  WXYZ ABCDEFGH  WXYZ ABCDEFGH\n"));
}

TEST(Corrgen, NullArgumentsWriteNothing) {
  char buf[4] = "abc";
  EXPECT_EQ(0, corrgen(nullptr, buf));
  EXPECT_EQ('\0', buf[0]);
  const auto c = make_corr(fixture::sample_corr());
  EXPECT_EQ(0, corrgen(c.get(), nullptr));
  EXPECT_EQ(0, put_scanpar(0, 0, nullptr, buf));
}

} // namespace
