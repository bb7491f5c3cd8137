// Reading the correlator description sections and range lists.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "avf.h"
#include "fixture.h"

using fixture::key_line;
using fixture::line;

namespace {

std::vector<int> range(const std::string &text, int max = MAX_CHANS, std::string *err = nullptr) {
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  int16_t out[MAX_CHANS + 8];
  std::memset(out, 0x5a, sizeof out);
  testing::internal::CaptureStderr();
  int n = get_range(buf.data(), out, max);
  std::string e = testing::internal::GetCapturedStderr();
  if (err) *err = e;
  EXPECT_LE(n, max);
  EXPECT_EQ(0x5a5a, static_cast<uint16_t>(out[max > 0 ? max : 0])) << "wrote past max";
  return std::vector<int>(out, out + n);
}

std::vector<int> seq(int from, int to, int step = 1) {
  std::vector<int> v;
  for (int x = from; step > 0 ? x <= to : x >= to; x += step) v.push_back(x);
  return v;
}

std::vector<int> cat(std::vector<int> a, const std::vector<int> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(GetRange, Expansions) {
  struct Case {
    const char *text;
    int max;
    std::vector<int> want;
  } cases[] = {
      {"0:9:1", 1024, seq(0, 9)},
      {"0:4:2 7", 1024, {0, 2, 4, 7}},
      {"0:31:1 512:543:1", 1024, cat(seq(0, 31), seq(512, 543))},
      {"1000:1100", 1024, seq(1000, 1023)},
      {"2000", 1024, {}},
      {"0 : 9", 1024, seq(0, 9)},
      {" 5:", 1024, {5}},
      {"4:2", 1024, {}},
      {"", 1024, {}},
      {"9:0:-1", 1024, seq(9, 0, -1)},
      {"1030:1020:-2", 1024, {1022, 1020}},
      {"7:7:0", 1024, {7}},
      {"0:100", 16, seq(0, 15)},
      {"0:10 0:10", 15, cat(seq(0, 10), seq(0, 3))},
  };
  for (const Case &c : cases) EXPECT_EQ(c.want, range(c.text, c.max)) << c.text;
}

TEST(GetRange, IllegalTokensStopWithMessageAndKeepEarlierValues) {
  const char *cases[] = {"3 x 7", "3,7", "3 -7", "3 -1:5", "3 1:-5", "3 1:2:3:4"};
  for (const char *c : cases) {
    std::string err;
    std::vector<int> got = range(c, 1024, &err);
    EXPECT_EQ("get_range: Illegal range\n", err) << c;
    ASSERT_FALSE(got.empty()) << c;
    EXPECT_EQ(3, got[0]) << c;
  }
}

TEST(GetRange, LongListsStopAtTheWorkingListAndNeverOverrun) {
  std::string many;
  for (int i = 0; i < 300; ++i) many += " " + std::to_string(i);
  std::vector<int> got = range(many);
  EXPECT_EQ(seq(0, 99), got); // 100 working entries
  EXPECT_EQ(seq(0, 1023), range("0:2000 0:2000"));
  EXPECT_TRUE(range("99999999999999999999").empty());
}

// Range lists must read back what the header writer's list compression
// writes: consecutive runs (ascending or descending) and interleaved pairs.
TEST(GetRange, ReadsTheWritersRenderings) {
  struct Case {
    const char *text;
    std::vector<int> want;
  } cases[] = {
      {" 0:31:1 512:543:1", cat(seq(0, 31), seq(512, 543))},
      {" 543:512:-1 31:0:-1", cat(seq(543, 512, -1), seq(31, 0, -1))},
      {" 0:30:2 1:31:2", cat(seq(0, 30, 2), seq(1, 31, 2))},
      {" 10 20 30:90:10", {10, 20, 30, 40, 50, 60, 70, 80, 90}},
  };
  for (const Case &c : cases) EXPECT_EQ(c.want, range(c.text)) << c.text;
}

TEST(NextVal, TokensAndCursor) {
  char text[] = " 12 : 3x";
  EXPECT_EQ(text + 1, next_val(text));
  EXPECT_EQ(text + 4, next_val(nullptr));
  EXPECT_EQ(text + 6, next_val(nullptr));
  EXPECT_EQ(text + 7, next_val(nullptr)); // 'x': a token of its own, the reader always advances
  EXPECT_EQ(nullptr, next_val(nullptr));
}

// ---------------------------------------------------------------------------

std::string header(const std::string &body) { return fixture::hdr_line(2048, 1, 1) + body + line("END_OF_HEADER"); }

std::string antenna_section(int lines, int skip_number = -1) {
  std::string t = line("*{ Antenna.def") + line("*AntId  = Ant      bx        by        bz      delay0    delay1");
  for (int a = 0, num = 0; a < lines; ++a, ++num) {
    if (num == skip_number) ++num;
    char b[100];
    std::snprintf(b, sizeof b, "ANT%02d   = A%02d %9.2f %9.2f %9.2f %9.2f %9.2f", num, a, 1.5 * a, -2.0 * a,
                  3.25, 0.5, -0.75);
    t += line(b);
  }
  return t + line("*} Antenna");
}

struct Captured {
  int result;
  std::string err;
};

template <class F> Captured run(F f) {
  testing::internal::CaptureStderr();
  int r = f();
  return {r, testing::internal::GetCapturedStderr()};
}

TEST(GetAntInfo, LineCounts) {
  struct Case {
    int lines;
    int result;
    const char *err;
  } cases[] = {
      {32, 0, ""},
      {30, 0, ""},
      {31, -1, "WARNING: only 31 antenna pars found\n"},
      {33, -1, "MAX_ANTS 32 exceeded\n"},
  };
  for (const Case &c : cases) {
    std::string t = header(antenna_section(c.lines));
    auto ant = std::make_unique<AntennaParType[]>(MAX_ANTS);
    Captured r = run([&] { return get_ant_info(t.data(), t.size(), ant.get()); });
    EXPECT_EQ(c.result, r.result) << c.lines;
    EXPECT_EQ(c.err, r.err) << c.lines;
  }
}

TEST(GetAntInfo, ValuesAndSequence) {
  std::string t = header(antenna_section(32));
  auto ant = std::make_unique<AntennaParType[]>(MAX_ANTS);
  ant[5].p0[2] = 42.0;
  ant[5].samp_id[1] = 9;
  ASSERT_EQ(0, get_ant_info(t.data(), t.size(), ant.get()));
  EXPECT_STREQ("A05", ant[5].name);
  EXPECT_EQ(7.5, ant[5].bx);
  EXPECT_EQ(-10.0, ant[5].by);
  EXPECT_EQ(3.25, ant[5].bz);
  EXPECT_EQ(0.5, ant[5].d0[0]);
  EXPECT_EQ(-0.75, ant[5].d0[1]);
  EXPECT_EQ(42.0, ant[5].p0[2]); // not touched
  EXPECT_EQ(9, ant[5].samp_id[1]);

  std::string bad = header(antenna_section(32, 2)); // 00, 01, 03, ...
  Captured r = run([&] { return get_ant_info(bad.data(), bad.size(), ant.get()); });
  EXPECT_EQ(-1, r.result);
  EXPECT_EQ("Antennas out of seq!\n", r.err);
}

TEST(GetAntInfo, LongAntennaNameIsCut) {
  std::string t = header(line("*{ Antenna.def") + line("ANT00   = LONGNAME 1 2 3 4 5") + line("*} Antenna"));
  auto ant = std::make_unique<AntennaParType[]>(MAX_ANTS);
  testing::internal::CaptureStderr();
  get_ant_info(t.data(), t.size(), ant.get());
  testing::internal::GetCapturedStderr();
  EXPECT_STREQ("LON", ant[0].name);
  EXPECT_EQ(1.0, ant[0].bx);
}

TEST(MissingSections, NameTheMarker) {
  std::string t = header(line("*{ Corrsys.def") + line("*} Corrsys"));
  auto vi = std::make_unique<VisInfo>();
  struct Case {
    int (*f)(const std::string &, VisInfo *);
    const char *err;
  } cases[] = {
      {[](const std::string &s, VisInfo *v) { return get_ant_info(s.data(), s.size(), v->antenna); },
       "No *{ Antenna.def section!\n"},
      {[](const std::string &s, VisInfo *v) { return get_samp_info(s.data(), s.size(), v); },
       "No *{ Sampler.def section!\n"},
      {[](const std::string &s, VisInfo *v) { return get_base_info(s.data(), s.size(), v->base); },
       "No *{ Baseline.def section!\n"},
      {[](const std::string &s, VisInfo *v) { return get_corrsel(s.data(), s.size(), v); },
       "No *{ Corrsel.def section!\n"},
      {[](const std::string &s, VisInfo *v) { return get_corr_lite(s.data(), s.size(), &v->corrlite); },
       "Too few keywords found\n"},
  };
  for (const Case &c : cases) {
    Captured r = run([&] { return c.f(t, vi.get()); });
    EXPECT_EQ(-1, r.result);
    EXPECT_EQ(c.err, r.err);
  }
  // A section marker after END_OF_HEADER is not found.
  std::string late = header("") + line("*{ Corrsel.def") + line("*} Corrsel");
  Captured r = run([&] { return get_corrsel(late.data(), late.size(), vi.get()); });
  EXPECT_EQ("No *{ Corrsel.def section!\n", r.err);
}

TEST(GetSampInfo, NoneLinesAndListedNumbers) {
  std::string t = header(line("*{ Sampler.def") + line("* Even numbered are lower pipelines of the samplers.") +
                         key_line("SMP000", "None") + key_line("SMP001", "C00 USB-130 001") +
                         line("*} Sampler") + line("*{ Corrsel.def") + key_line("SMP_NUM0", " 1") +
                         key_line("SMP_NUM1", " 2") + line("*} Corrsel"));
  auto vi = std::make_unique<VisInfo>();
  std::strcpy(vi->samp[0].ant, "stale");
  ASSERT_EQ(0, get_samp_info(t.data(), t.size(), vi.get()));
  EXPECT_STREQ("", vi->samp[0].ant);
  EXPECT_STREQ("C00", vi->samp[1].ant);
  EXPECT_STREQ("USB-130", vi->samp[1].band);
  EXPECT_EQ(1, vi->samp[1].fft_id);
  EXPECT_EQ(1, vi->samp_num[0]);
  for (int k = 1; k < MAX_SAMPS; ++k) EXPECT_EQ(120, vi->samp_num[k]) << k;
}

TEST(GetSampInfo, SequenceAndLimit) {
  std::string bad = header(line("*{ Sampler.def") + key_line("SMP000", "C00 USB-130 000") +
                           key_line("SMP002", "C00 USB-175 001") + line("*} Sampler"));
  auto vi = std::make_unique<VisInfo>();
  Captured r = run([&] { return get_samp_info(bad.data(), bad.size(), vi.get()); });
  EXPECT_EQ(-1, r.result);
  EXPECT_EQ("Samplers out of seq!\n", r.err);

  std::string many = line("*{ Sampler.def");
  for (int k = 0; k < 121; ++k) many += key_line("SMP" + std::to_string(k), "None");
  many = header(many + line("*} Sampler"));
  r = run([&] { return get_samp_info(many.data(), many.size(), vi.get()); });
  EXPECT_EQ(-1, r.result);
  EXPECT_EQ("MAX_SAMPS 120 exceeded\n", r.err);
}

TEST(GetBaseInfo, ColumnsAndSequence) {
  std::string t = header(line("*{ Baseline.def") + line("*BaseId = A0 B0 A1 B1 SMP0 SMP1 Ant0   Band0 Ant1   Band1") +
                         line("BAS0000 = 00 00 01 01  000  003  C00 USB-130  C01 USB-175") +
                         line("BAS001  = 02 01 03 00  005  006  E02 USB-175  W01 USB-130") + line("*} Baseline"));
  auto vi = std::make_unique<VisInfo>();
  ASSERT_EQ(0, get_base_info(t.data(), t.size(), vi->base));
  const BaselineType &b = vi->base[1];
  EXPECT_EQ(2, b.ant[0]);
  EXPECT_EQ(1, b.band[0]);
  EXPECT_EQ(3, b.ant[1]);
  EXPECT_EQ(0, b.band[1]);
  EXPECT_EQ(5, b.samp[0]);
  EXPECT_EQ(6, b.samp[1]);
  EXPECT_STREQ("E02", b.antname[0]);
  EXPECT_STREQ("USB-130", b.bandname[1]);
  EXPECT_EQ(3, vi->base[0].samp[1]);

  std::string bad = header(line("*{ Baseline.def") + line("BAS001  = 00 00 01 01  000  003  C00 U C01 U") +
                           line("*} Baseline"));
  Captured r = run([&] { return get_base_info(bad.data(), bad.size(), vi->base); });
  EXPECT_EQ(-1, r.result);
  EXPECT_EQ("BaseLines out of seq!\n", r.err);
}

TEST(GetCorrsel, TablesFromListedSamplersAndBaselines) {
  auto vi = std::make_unique<VisInfo>();
  vi->samplers = 2;
  vi->baselines = 4;
  vi->samp_num[0] = 1;
  vi->samp_num[1] = 5;
  for (int k = 2; k < MAX_SAMPS; ++k) vi->samp_num[k] = 120;
  const int pairs[4][2] = {{1, 1}, {1, 5}, {5, 5}, {1, 77}}; // the last: sampler not listed
  for (int i = 0; i < 4; ++i) {
    vi->base[i].samp[0] = pairs[i][0];
    vi->base[i].samp[1] = pairs[i][1];
  }
  std::string t = header(line("*{ Corrsel.def") + key_line("MODE", "ffff ") + key_line("AVF", "16 ") +
                         key_line("SAMP_NUM", " 1 5") + key_line("CHAN_NUM", " 0:9:1 100") + line("*} Corrsel"));
  ASSERT_EQ(0, get_corrsel(t.data(), t.size(), vi.get()));
  EXPECT_EQ(-1, vi->mode); // the 16-bit mode word, read in the base it is written in
  EXPECT_EQ(16, vi->avf);
  EXPECT_EQ(9, vi->chan_num[9]);
  EXPECT_EQ(100, vi->chan_num[10]);
  for (int s = 0; s < MAX_SAMPS; ++s)
    EXPECT_EQ(s == 1 ? 0 : s == 5 ? 1 : 120, vi->samp_rev_num[s]) << s;
  EXPECT_EQ(0, vi->s_base_num[0]);
  EXPECT_EQ(2, vi->s_base_num[1]);
  EXPECT_EQ(1, vi->x_base_num[0][1]);
  EXPECT_EQ(-1, vi->x_base_num[1][0]);
  int changed = 0;
  for (int a = 0; a < MAX_SAMPS; ++a) {
    changed += vi->s_base_num[a] != 120;
    for (int b = 0; b < MAX_SAMPS; ++b) changed += vi->x_base_num[a][b] != 2112;
  }
  EXPECT_EQ(4, changed);
}

TEST(GetCorrsel, BadChannelRangeAndLongValue) {
  auto vi = std::make_unique<VisInfo>();
  std::string t = header(line("*{ Corrsel.def") + key_line("CHAN_NUM", " 2000") + line("*} Corrsel"));
  Captured r = run([&] { return get_corrsel(t.data(), t.size(), vi.get()); });
  EXPECT_EQ(-1, r.result);
  // The value text is the whole rest of the line, blanks to column 78 included.
  EXPECT_EQ("Bad Channel Range  2000" + std::string(64, ' ') + "\n", r.err);

  // Only the first 79 characters of a CHAN_NUM value are read.
  std::string value(78, ' ');
  value += "5";   // column 88: character 79 of the value
  value += " 6";  // beyond
  std::string raw = "CHAN_NUM= " + value + "\n";
  std::string u = header(line("*{ Corrsel.def") + raw + line("*} Corrsel"));
  Captured s = run([&] { return get_corrsel(u.data(), u.size(), vi.get()); });
  EXPECT_EQ(0, s.result) << s.err;
  EXPECT_EQ(5, vi->chan_num[0]);
  vi->chan_num[1] = -7;
  EXPECT_EQ(-7, vi->chan_num[1]);
}

TEST(CorrText, WholeDescriptionReadsBack) {
  fixture::CorrValues v = fixture::sample_corr();
  std::string t = header(fixture::corr_text(v, " 1:241:16"));
  auto vi = std::make_unique<VisInfo>();
  vi->samplers = 8;
  vi->baselines = 36;
  ASSERT_EQ(0, get_corr_lite(t.data(), t.size(), &vi->corrlite));
  EXPECT_STREQ("COR30x2 AVF1.10 DAS2.01 HST03", vi->corrlite.version);
  EXPECT_STREQ(vi->corrlite.version, vi->corrlite.old_version);
  EXPECT_NEAR(33.333e6, vi->corrlite.clock, 4.0);
  EXPECT_STREQ("Hz", vi->corrlite.clock_unit);
  EXPECT_EQ(65536, vi->corrlite.sta);
  EXPECT_STREQ("Cycles", vi->corrlite.sta_unit);
  EXPECT_EQ(131072, vi->corrlite.statime);
  EXPECT_STREQ("usec", vi->corrlite.statime_unit);
  EXPECT_DOUBLE_EQ(1e-6, vi->corrlite.t_unit);
  EXPECT_STREQ("sec", vi->corrlite.t_unit_unit);
  EXPECT_EQ(32, vi->corrlite.ants);
  EXPECT_EQ(8, vi->corrlite.f_enable);
  EXPECT_EQ(36, vi->corrlite.x_enable);
  EXPECT_EQ(256, vi->corrlite.chan_max);
  EXPECT_EQ(2, vi->corrlite.pols);

  ASSERT_EQ(0, get_ant_info(t.data(), t.size(), vi->antenna));
  ASSERT_EQ(0, get_samp_info(t.data(), t.size(), vi.get()));
  ASSERT_EQ(0, get_base_info(t.data(), t.size(), vi->base));
  ASSERT_EQ(0, get_corrsel(t.data(), t.size(), vi.get()));
  EXPECT_STREQ("E02", vi->antenna[2].name);
  EXPECT_STREQ("W01", vi->samp[7].ant);
  EXPECT_STREQ("USB-175", vi->samp[7].band);
  EXPECT_EQ(7, vi->samp_num[7]);
  EXPECT_EQ(241, vi->chan_num[15]);
  // Baseline i of the sample pairs samplers (a, b) with a <= b in order.
  EXPECT_EQ(0, vi->s_base_num[0]);
  EXPECT_EQ(1, vi->x_base_num[0][1]);
  EXPECT_EQ(-1, vi->x_base_num[1][0]);
  EXPECT_EQ(35, vi->s_base_num[7]);
}

TEST(CorrText, TruncatedTextNeverReadsPastItsEnd) {
  std::string full = header(fixture::corr_text(fixture::sample_corr()));
  for (std::size_t n = 0; n < full.size(); n += 53) {
    auto exact = std::make_unique<char[]>(n ? n : 1);
    std::memcpy(exact.get(), full.data(), n);
    auto vi = std::make_unique<VisInfo>();
    testing::internal::CaptureStderr();
    get_corr_lite(exact.get(), n, &vi->corrlite);
    get_ant_info(exact.get(), n, vi->antenna);
    get_samp_info(exact.get(), n, vi.get());
    get_base_info(exact.get(), n, vi->base);
    get_corrsel(exact.get(), n, vi.get());
    testing::internal::GetCapturedStderr();
  }
}

} // namespace

namespace {

// Whatever the list compression writes for a strictly monotonic list, or for
// two such lists interleaved, reads back as the same list.
TEST(GetRange, ReadsBackWhatPrintRangeWrites) {
  auto seq16 = [](int from, int count, int step) {
    std::vector<int16_t> v;
    for (int i = 0; i < count; ++i) v.push_back(static_cast<int16_t>(from + i * step));
    return v;
  };
  auto interleave = [](const std::vector<int16_t> &a, const std::vector<int16_t> &b) {
    std::vector<int16_t> v;
    for (std::size_t i = 0; i < a.size() || i < b.size(); ++i) {
      if (i < a.size()) v.push_back(a[i]);
      if (i < b.size()) v.push_back(b[i]);
    }
    return v;
  };
  std::vector<std::vector<int16_t>> lists = {
      seq16(0, 10, 1),      seq16(9, 10, -1),    seq16(5, 1, 1),      seq16(5, 2, 7),
      seq16(1000, 24, 1),   seq16(1023, 64, -3), {0, 2, 4, 7},        {3, 9, 10, 11, 40, 41},
      {50, 40, 39, 38, 2},  seq16(0, 1024, 1),
      interleave(seq16(0, 32, 1), seq16(512, 32, 1)),
      interleave(seq16(543, 32, -1), seq16(31, 32, -1)),
      interleave(seq16(0, 17, 2), seq16(100, 16, 5)),
      interleave(seq16(900, 40, -7), seq16(1, 40, 3)),
  };
  for (const std::vector<int16_t> &v : lists) {
    std::string text;
    print_range(text, v.data(), static_cast<int>(v.size()));
    std::vector<int> want(v.begin(), v.end());
    EXPECT_EQ(want, range(text)) << text;
  }
}

} // namespace
