// avfmerge end to end: the program is run on real files in a scratch
// directory, and what it wrote is read back by the library and compared
// record by record with the inputs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "avf.h"
#include "fixture.h"
#include "tool_runner.h"

namespace {

using e2e::Scratch;
using fixture::Bytes;
using fixture::Order;

const std::string OUT = "avfmerge_out.avf";

void gen(const Scratch &s, const std::string &name, std::vector<std::string> args) {
  args.insert(args.begin(), {"-o", name});
  e2e::Result r = e2e::avfgen(s, args);
  ASSERT_EQ(r.status, 0) << "avfgen " << name << ": " << r.err;
}

Bytes record_at(const Bytes &file, long long index, int recl) {
  const std::size_t off = static_cast<std::size_t>(index) * static_cast<std::size_t>(recl);
  if (recl <= 0 || off + static_cast<std::size_t>(recl) > file.size()) return {};
  return Bytes(file.begin() + static_cast<long>(off), file.begin() + static_cast<long>(off) + recl);
}

// What a data record of the input should become in the output (apart from its
// signature): its numbers (data words, weight, time) brought to this host's
// order, then dt added to its time.
Bytes expected_record(Bytes rec, const AvfHdr &h, bool reverse, double dt) {
  auto flip = [&](int off, int n) {
    if (off >= 0 && static_cast<std::size_t>(off) + static_cast<std::size_t>(n) <= rec.size())
      std::reverse(rec.begin() + off, rec.begin() + off + n);
  };
  if (reverse) {
    for (int w = 0; w < h.data_size / 4; ++w) flip(h.data_off + 4 * w, 4);
    flip(h.wt_off, 4);
    flip(h.time_off, 8);
  }
  double t;
  std::memcpy(&t, rec.data() + h.time_off, sizeof t);
  t += dt;
  std::memcpy(rec.data() + h.time_off, &t, sizeof t);
  return rec;
}

std::size_t first_difference(const Bytes &a, const Bytes &b, std::size_t from) {
  std::size_t i = from;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

// An input and the shift its times should have received.
struct Source {
  std::string file;
  double dt = 0.0;
};

// The output is read and indexed by the library and holds, in order, every
// scan of the given inputs: scan header (SCAN line numbered within its input,
// the first input's MJD_REF, the input's own INTEG, shifted scan time) and
// every data record with the running signature and the input's payload.
void expect_merged(const Scratch &s, const std::vector<Source> &inputs) {
  e2e::Indexed out = e2e::index_file(s.path(OUT));
  ASSERT_EQ(out.hdr, 0) << out.err;
  ASSERT_EQ(out.tab, 0) << out.err;
  const AvfInfo &o = *out.info;
  EXPECT_EQ(o.data_byte_order, host_byte_order());
  const Bytes obytes = s.read(OUT);
  EXPECT_EQ(obytes.size() % static_cast<std::size_t>(o.recl), 0u);

  e2e::Indexed first = e2e::index_file(s.path(inputs.at(0).file));
  ASSERT_EQ(first.tab, 0) << first.err;
  const double mjd_ref = first.info->corr.daspar.mjd_ref;
  EXPECT_EQ(o.recl, first.info->recl);
  EXPECT_EQ(o.corr.daspar.mjd_ref, mjd_ref);
  EXPECT_EQ(o.corr.daspar.antmask, first.info->corr.daspar.antmask);

  int k = 0; // output scan
  for (const Source &src : inputs) {
    SCOPED_TRACE(src.file);
    e2e::Indexed in = e2e::index_file(s.path(src.file));
    ASSERT_EQ(in.tab, 0) << in.err;
    const AvfInfo &i = *in.info;
    const Bytes ibytes = s.read(src.file);
    const bool reverse = i.data_byte_order != host_byte_order();
    for (int j = 0; j < i.scans; ++j, ++k) {
      SCOPED_TRACE("input scan " + std::to_string(j) + ", output scan " + std::to_string(k));
      ASSERT_LT(k, o.scans);
      const ScanHdrTab &oe = o.stab[k], &ie = i.stab[j];
      EXPECT_EQ(oe.recs, ie.recs);
      EXPECT_STREQ(oe.shdr.object, ie.shdr.object);
      EXPECT_EQ(oe.scan.t, static_cast<float>(static_cast<double>(ie.scan.t) + src.dt));
      EXPECT_EQ(oe.shdr.mjd_ref, mjd_ref);
      char scan_key[16];
      std::snprintf(scan_key, sizeof scan_key, "SCAN%04d", j);
      Bytes head = record_at(obytes, oe.start_rec, o.recl);
      ASSERT_FALSE(head.empty());
      EXPECT_EQ(std::string(head.begin(), head.begin() + 8), scan_key);
      for (uint32_t r = 0; r < ie.recs && r < oe.recs; ++r) {
        Bytes got = record_at(obytes, static_cast<long long>(oe.start_rec) + o.srecs + r, o.recl);
        Bytes had = record_at(ibytes, static_cast<long long>(ie.start_rec) + i.srecs + r, i.recl);
        ASSERT_EQ(got.size(), had.size()) << "record " << r;
        EXPECT_EQ(std::string(got.begin(), got.begin() + SIGNATURE_LEN),
                  fixture::signature(k, static_cast<int>(r)));
        Bytes want = expected_record(had, i.lhdr, reverse, src.dt);
        std::size_t at = first_difference(got, want, SIGNATURE_LEN);
        EXPECT_EQ(at, got.size()) << "record " << r << " differs from byte " << at;
      }
    }
  }
  EXPECT_EQ(k, o.scans);
}

std::string summary(int scan, const char *object, int recs) {
  char line[128];
  std::snprintf(line, sizeof line, "SCAN %-3d: %-12.11s %4d recs\n", scan, object, recs);
  return line;
}

// ---- Inputs built byte by byte ----

// A small file written without the library: default layout (4 antennas,
// 8 samplers, 36 baselines, 16 channels), one scan header and the data
// records per scan. Data record time 10 s * scan + record, scan time 10 s *
// scan.
struct FixFile {
  std::vector<int> records{2, 3, 1};
  std::vector<std::string> objects; // per scan; default "FIX<scan>"
  Order order = Order::Little;
  double mjd_ref = 60000.5;
  bool no_params = false; // layout without the parameter area
  int recl = 0;           // 0: the layout's own
  bool stray_signatures = false; // records before a scan's last signed with unrelated numbers
  int srecs = 0; // scan header records; 0: as few as hold it
  int avf = 16;  // records integrate avf * 131072 us
};

Bytes build(const FixFile &f) {
  fixture::GlobalSpec g;
  g.order = f.order;
  g.keys.byte_seq = f.order == Order::Big ? "Big Endian" : "Little Endian";
  g.keys.layout.no_params = f.no_params;
  g.keys.recl = g.recl = f.recl;
  g.corr.mjd_ref = f.mjd_ref;
  g.corr.avf = f.avf;
  const int recl = f.recl ? f.recl : g.keys.layout.recl();
  Bytes b = fixture::global_header(g);
  for (std::size_t s = 0; s < f.records.size(); ++s) {
    const int scan = static_cast<int>(s);
    fixture::ScanSpec sc;
    sc.number = scan;
    sc.srecs = f.srecs;
    sc.mjd_ref = f.mjd_ref;
    sc.scan.t = 10.0f * scan;
    sc.scan.object = s < f.objects.size() ? f.objects[s] : "FIX" + std::to_string(s);
    fixture::append(b, fixture::scan_header(sc, f.order, recl));
    for (int r = 0; r < f.records[s]; ++r) {
      const bool stray = f.stray_signatures && r + 1 < f.records[s];
      Bytes rec = fixture::data_record(g.keys.layout, stray ? 77 : scan, stray ? 4242 + r : r, 10.0 * scan + r,
                                       f.order);
      rec.resize(static_cast<std::size_t>(recl), 0);
      fixture::append(b, rec);
    }
  }
  return b;
}

// ---- Main paths ----

TEST(AvfMergeTest, SingleInputIsCopiedRenumberedWithTimesUnchanged) {
  Scratch s;
  FixFile f;
  f.records = {2, 3, 1};
  f.objects = {"3C48", "SOURCE_WITH_LONG_NAME", "B"};
  f.stray_signatures = true;
  f.srecs = 5; // longer scan headers than the output's
  s.write("a.avf", build(f));

  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "INPUT   : a.avf\n"
                   "SCAN 0  : 3C48            2 recs\n"
                   "SCAN 1  : SOURCE_WITH     3 recs\n"
                   "SCAN 2  : B               1 recs\n");
  EXPECT_EQ(r.err, "");
  expect_merged(s, {{"a.avf", 0.0}});
}

TEST(AvfMergeTest, SecondInputADayLaterIsShiftedOntoTheFirstEpoch) {
  Scratch s;
  gen(s, "a.avf", {"-n", "3", "-r", "2"});
  gen(s, "b.avf", {"-n", "3", "-r", "2,1,3", "-j", "60001", "-S", "2"});

  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf,b.avf"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "INPUT   : a.avf\n"
                   "SCAN 0  : SRC0000         2 recs\n"
                   "SCAN 1  : SRC0001         2 recs\n"
                   "SCAN 2  : SRC0002         2 recs\n"
                   "INPUT   : b.avf\n"
                   "Change in REF_TIME =   86400.0000 (sec)\n"
                   "SCAN 3  : SRC0000         2 recs\n"
                   "SCAN 4  : SRC0001         1 recs\n"
                   "SCAN 5  : SRC0002         3 recs\n");
  EXPECT_EQ(r.err, "");
  expect_merged(s, {{"a.avf", 0.0}, {"b.avf", 86400.0}});

  // The same, spelled out on the last record: a day later in its time, and
  // every scan header of the output counting from the first input's epoch.
  e2e::Indexed out = e2e::index_file(s.path(OUT)), b = e2e::index_file(s.path("b.avf"));
  ASSERT_EQ(out.tab, 0);
  ASSERT_EQ(b.tab, 0);
  ASSERT_EQ(out.info->scans, 6);
  const AvfInfo &o = *out.info, &bi = *b.info;
  const Bytes got = record_at(s.read(OUT), o.stab[5].start_rec + o.srecs + 2, o.recl);
  const Bytes had = record_at(s.read("b.avf"), bi.stab[2].start_rec + bi.srecs + 2, bi.recl);
  ASSERT_FALSE(got.empty());
  ASSERT_FALSE(had.empty());
  const std::size_t t = static_cast<std::size_t>(o.lhdr.time_off);
  EXPECT_EQ(fixture::get_f64(got, t, Order::Little), fixture::get_f64(had, t, Order::Little) + 86400.0);
  EXPECT_EQ(std::string(got.begin(), got.begin() + SIGNATURE_LEN), "DATA0005.00002   ");
  for (int k = 0; k < 6; ++k) EXPECT_EQ(o.stab[k].shdr.mjd_ref, 60000.0) << "scan " << k;
  EXPECT_FLOAT_EQ(o.stab[3].scan.t, bi.stab[0].scan.t + 86400.0f);
}

// Records in the local byte order are copied by the system with their new
// signatures and times written over the copy; where the output is on another
// file system they go through a buffer instead, with the same result.
TEST(AvfMergeTest, OutputOnAnotherFileSystemIsTheSame) {
  Scratch s;
  const std::filesystem::path elsewhere = e2e::other_file_system(s.path(""));
  if (elsewhere.empty()) GTEST_SKIP() << "no second file system";
  Scratch other(elsewhere);
  ASSERT_TRUE(other.ok());
  gen(s, "a.avf", {"-n", "2", "-r", "30"});
  gen(s, "b.avf", {"-n", "3", "-r", "20,1,40", "-j", "60001", "-S", "2"});
  const std::string list = s.path("a.avf").string() + "," + s.path("b.avf").string();
  e2e::Result here = e2e::avfmerge(s, {"-i", list}), there = e2e::avfmerge(other, {"-i", list});
  ASSERT_EQ(here.status, 0) << here.err;
  ASSERT_EQ(there.status, 0) << there.err;
  EXPECT_EQ(s.read(OUT), other.read(OUT));
  expect_merged(s, {{"a.avf", 0.0}, {"b.avf", 86400.0}});
}

// Long records of a later input in the local byte order are read only where
// they change (signature, time) and copied by the system; its big-endian twin
// is reversed in pieces. Both merges give the same file.
TEST(AvfMergeTest, LongRecordsOfALaterInputInEitherByteOrder) {
  Scratch s;
  const std::vector<std::string> layout = {"-a", "30", "-s", "60", "-b", "1830", "-c", "32", "-n", "2", "-r", "3"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = layout;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  gen(s, "a.avf", with({}));
  gen(s, "b.avf", with({"-j", "60001", "-S", "2"}));
  gen(s, "b-be.avf", with({"-j", "60001", "-S", "2", "-B", "1"}));
  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf,b.avf"});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_merged(s, {{"a.avf", 0.0}, {"b.avf", 86400.0}});
  const Bytes same_order = s.read(OUT);
  r = e2e::avfmerge(s, {"-i", "a.avf,b-be.avf"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(same_order, s.read(OUT));
}

// Built without the library's writer, the later input big-endian: its scan
// headers take the first input's epoch but keep their own integration time.
TEST(AvfMergeTest, LaterScanHeadersTakeTheFirstEpochAndKeepTheirIntegration) {
  Scratch s;
  FixFile a, b;
  a.records = {1, 2};
  b.records = {3};
  b.order = Order::Big;
  b.mjd_ref = a.mjd_ref + 1.0;
  b.avf = 8;
  s.write("a.avf", build(a));
  s.write("b.avf", build(b));

  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf,b.avf"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("INPUT   : b.avf\nChange in REF_TIME =   86400.0000 (sec)\nSCAN 2  : FIX0            3 recs\n"),
            std::string::npos)
      << r.out;
  expect_merged(s, {{"a.avf", 0.0}, {"b.avf", 86400.0}});
  e2e::Indexed out = e2e::index_file(s.path(OUT));
  ASSERT_EQ(out.tab, 0);
  ASSERT_EQ(out.info->scans, 3);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(out.info->stab[k].shdr.mjd_ref, 60000.5) << k;
  EXPECT_FLOAT_EQ(out.info->stab[1].shdr.integ, 2.097152f);
  EXPECT_FLOAT_EQ(out.info->stab[2].shdr.integ, 1.048576f);
}

TEST(AvfMergeTest, ZeroLengthMiddleScanKeepsItsHeaderWithoutRecords) {
  Scratch s;
  gen(s, "a.avf", {"-n", "3", "-r", "2,0,3"});
  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "INPUT   : a.avf\n"
                   "SCAN 0  : SRC0000         2 recs\n"
                   "SCAN 1  : SRC0001         0 recs\n"
                   "SCAN 2  : SRC0002         3 recs\n");
  expect_merged(s, {{"a.avf", 0.0}});
  e2e::Indexed out = e2e::index_file(s.path(OUT));
  ASSERT_EQ(out.tab, 0);
  ASSERT_EQ(out.info->scans, 3);
  EXPECT_EQ(out.info->stab[1].recs, 0u);
  // Scan 2's header follows scan 1's directly.
  EXPECT_EQ(out.info->stab[2].start_rec, out.info->stab[1].start_rec + static_cast<uint32_t>(out.info->srecs));
}

// Inputs that differ in byte order, record version or origin but not in
// configuration are all accepted and come out in this host's order.
struct Compatible {
  const char *name;
  std::vector<std::vector<std::string>> avfgen_args; // one list per input
  std::vector<double> dt;
};

void PrintTo(const Compatible &c, std::ostream *os) { *os << c.name; }

class AvfMergeCompatible : public testing::TestWithParam<Compatible> {};

TEST_P(AvfMergeCompatible, AreMergedInTheLocalByteOrder) {
  const Compatible &c = GetParam();
  Scratch s;
  std::vector<Source> sources;
  std::string list;
  for (std::size_t i = 0; i < c.avfgen_args.size(); ++i) {
    std::string name = "in" + std::to_string(i) + ".avf";
    gen(s, name, c.avfgen_args[i]);
    sources.push_back({name, c.dt[i]});
    list += (i ? "," : "") + name;
  }
  e2e::Result r = e2e::avfmerge(s, {"-i", list});
  EXPECT_EQ(r.status, 0) << r.err;
  expect_merged(s, sources);
}

INSTANTIATE_TEST_SUITE_P(
    AvfMerge, AvfMergeCompatible,
    testing::Values(
        Compatible{"BigEndianAlone", {{"-B", "1", "-r", "2,3"}}, {0.0}},
        Compatible{"LittleThenBigADayLater", {{"-r", "2"}, {"-B", "1", "-j", "60001", "-S", "3"}}, {0.0, 86400.0}},
        Compatible{"BigThenLittle", {{"-B", "1", "-j", "60000.5"}, {"-S", "4"}}, {0.0, -43200.0}},
        Compatible{"RecordVersions3Then2", {{"-V", "3"}, {"-V", "2", "-S", "5", "-j", "60002"}}, {0.0, 172800.0}},
        Compatible{"FirstScanRecordVersionThenSecond", {{"-V", "3", "-O", "1"}, {"-V", "3", "-j", "52167.5"}},
                   {0.0, 86400.0}}),
    [](const testing::TestParamInfo<Compatible> &i) { return std::string(i.param.name); });

TEST(AvfMergeTest, MendedFileIsAccepted) {
  Scratch s;
  gen(s, "damaged.avf", {"-n", "4", "-r", "3", "-g", "1:1", "-I", "2:0", "-L", "3:1:40"});
  gen(s, "clean.avf", {"-n", "2", "-r", "2", "-S", "9"});
  e2e::Result m = e2e::avfmend(s, {"-i", "damaged.avf"});
  ASSERT_EQ(m.status, 0) << m.err;
  ASSERT_TRUE(s.exists("avfmend_out.avf"));

  e2e::Result r = e2e::avfmerge(s, {"-i", "avfmend_out.avf,clean.avf"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("INPUT   : avfmend_out.avf\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Change in REF_TIME =       0.0000 (sec)\n"), std::string::npos) << r.out;
  expect_merged(s, {{"avfmend_out.avf", 0.0}, {"clean.avf", 0.0}});
}

// ---- Refusals and failures ----

TEST(AvfMergeTest, NoInputPrintsUsageAndCreatesNothing) {
  Scratch s;
  e2e::Result r = e2e::avfmerge(s, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, std::string("Usage: ") + AVFMERGE_PATH + " -i InputAvfFile1[,File2[,File3...]\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(s.exists(OUT));
}

// A third input that cannot be merged stops the merge with status 1; the
// output keeps the first two inputs, whole.
struct Stop {
  const char *name;
  std::vector<std::string> avfgen_args; // empty: the third input does not exist
  std::string err;                      // expected on the error stream (substring)
  bool exact_err;
};

void PrintTo(const Stop &c, std::ostream *os) { *os << c.name; }

class AvfMergeStops : public testing::TestWithParam<Stop> {};

TEST_P(AvfMergeStops, AfterTheEarlierInputs) {
  const Stop &c = GetParam();
  Scratch s;
  gen(s, "a.avf", {"-n", "2", "-r", "2"});
  gen(s, "b.avf", {"-n", "1", "-r", "3", "-S", "2"});
  if (!c.avfgen_args.empty()) gen(s, "c.avf", c.avfgen_args);

  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf,b.avf,c.avf"});
  EXPECT_EQ(r.status, 1);
  if (c.exact_err)
    EXPECT_EQ(r.err, c.err);
  else
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  const std::string before = "INPUT   : a.avf\n" + summary(0, "SRC0000", 2) + summary(1, "SRC0001", 2) +
                             "INPUT   : b.avf\nChange in REF_TIME =       0.0000 (sec)\n" +
                             summary(2, "SRC0000", 3);
  EXPECT_EQ(r.out, before + (c.avfgen_args.empty() ? "" : "INPUT   : c.avf\n"));
  expect_merged(s, {{"a.avf", 0.0}, {"b.avf", 0.0}});
}

INSTANTIATE_TEST_SUITE_P(
    AvfMerge, AvfMergeStops,
    testing::Values(
        Stop{"OtherAntennaMask", {"-a", "3"}, "antmask mismatch\nAVF file headers do not match\n", true},
        Stop{"OtherChannels", {"-c", "8"}, "channel number mismatch\nAVF file headers do not match\n", true},
        // The last five records are garbage: no signature near the end.
        Stop{"DamagedTail", {"-n", "2", "-r", "6", "-g", "1:1,1:2,1:3,1:4,1:5"}, "Can't make ScanTab", false},
        Stop{"DamagedLastScanHeader", {"-n", "3", "-r", "2", "-k", "2"}, "No SCAN keyword found", false},
        Stop{"Missing", {}, "Cannot open c.avf\n", true}),
    [](const testing::TestParamInfo<Stop> &i) { return std::string(i.param.name); });

// A later input whose records are laid out differently is refused, naming
// the first differing keyword with its value there and in the first input.
struct LayoutCase {
  const char *name;
  FixFile second;
  std::string key, here, first;
};

void PrintTo(const LayoutCase &c, std::ostream *os) { *os << c.name; }

class AvfMergeLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(AvfMergeLayout, DifferenceIsRefused) {
  const LayoutCase &c = GetParam();
  Scratch s;
  s.write("a.avf", build(FixFile{}));
  s.write("b.avf", build(c.second));

  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf,b.avf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(c.key), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(c.here), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(c.first), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Change in REF_TIME"), std::string::npos) << r.out;
  expect_merged(s, {{"a.avf", 0.0}});
}

FixFile without_params(int recl) {
  FixFile f;
  f.no_params = true;
  f.recl = recl;
  return f;
}

int recl_of(bool no_params) {
  fixture::Layout l;
  l.no_params = no_params;
  return l.recl();
}

// The default layout has a parameter area of 16 bytes for each of 8 samplers.
INSTANTIATE_TEST_SUITE_P(
    AvfMerge, AvfMergeLayout,
    testing::Values(LayoutCase{"RecordLength", without_params(0), "RECL", std::to_string(recl_of(true)),
                               std::to_string(recl_of(false))},
                    LayoutCase{"ParameterAreaAtEqualLength", without_params(recl_of(false)), "PAR_SIZE", "is 0,",
                               "128"}),
    [](const testing::TestParamInfo<LayoutCase> &i) { return std::string(i.param.name); });

// An input that is the output file under any name is refused before the
// output is opened: nothing is truncated, nothing is read.
class AvfMergeSameFile : public testing::TestWithParam<const char *> {};

TEST_P(AvfMergeSameFile, IsRefusedAndLeftIntact) {
  Scratch s;
  gen(s, "a.avf", {"-n", "2", "-r", "2"});
  const Bytes previous = s.read("a.avf");
  s.write(OUT, previous);
  std::filesystem::create_hard_link(s.path(OUT), s.path("hard.avf"));
  std::filesystem::create_symlink(OUT, s.path("soft.avf"));

  e2e::Result r = e2e::avfmerge(s, {"-i", GetParam()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(OUT), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(s.read(OUT), previous);
}

INSTANTIATE_TEST_SUITE_P(AvfMerge, AvfMergeSameFile,
                         testing::Values("avfmerge_out.avf", "a.avf,./avfmerge_out.avf", "a.avf,hard.avf",
                                         "soft.avf,a.avf"));

TEST(AvfMergeTest, OutputNameLinkedToAnInputIsRefused) {
  Scratch s;
  gen(s, "a.avf", {"-n", "2", "-r", "2"});
  gen(s, "b.avf", {"-n", "1", "-r", "1", "-S", "2"});
  const Bytes previous = s.read("b.avf");
  std::filesystem::create_symlink("b.avf", s.path(OUT));
  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf,b.avf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(s.read("b.avf"), previous);
}

// The scan table of this input lists records that are not in the file: its
// only data record claims to be record 99999 of scan 0, so the table cannot
// step back to scan 0's header and takes the header that follows instead.
// A scan whose last record claims more records than stand before it: the
// move back to its header would leave the file, so the scan table is refused
// and nothing of that input is written. (Records listed by a table that was
// built are always in the file; a record that still cannot be read whole,
// as on a read error, ends the merge with status 1.)
TEST(AvfMergeTest, RecordCountsThatDoNotFitTheFileEndTheMerge) {
  Scratch s;
  s.write("a.avf", build(FixFile{}));
  FixFile f;
  f.records = {1, 0};
  Bytes bad = build(f);
  const int recl = fixture::Layout{}.recl();
  const std::size_t srecs = static_cast<std::size_t>(fixture::scan_header_recs(fixture::ScanSpec{}, recl));
  const std::size_t last = bad.size() - (srecs + 1) * static_cast<std::size_t>(recl);
  ASSERT_EQ(std::string(bad.begin() + static_cast<long>(last), bad.begin() + static_cast<long>(last) + 4), "DATA");
  const std::string claim = fixture::signature(0, 99999);
  std::copy(claim.begin(), claim.end(), bad.begin() + static_cast<long>(last));
  s.write("bad.avf", bad);

  e2e::Indexed bi = e2e::index_file(s.path("bad.avf"));
  EXPECT_EQ(bi.tab, -1);
  EXPECT_NE(bi.err.find("Sync Lost: Can't make ScanTab"), std::string::npos) << bi.err;

  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf,bad.avf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("INPUT   : bad.avf"), std::string::npos) << r.out;
  expect_merged(s, {{"a.avf", 0.0}});
}

TEST(AvfMergeTest, OutputThatCannotBeCreated) {
  Scratch s;
  gen(s, "a.avf", {"-n", "1", "-r", "1"});
  std::filesystem::create_directory(s.path(OUT));
  e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot open file avfmerge_out.avf\n");
  EXPECT_EQ(r.out, "");
}

// The output refuses every write (the full device), or takes the header and
// then no more (a file size limit, with its signal ignored so that the write
// itself fails).
TEST(AvfMergeTest, WriteFailureEndsWithStatusOne) {
  Scratch s;
  gen(s, "a.avf", {"-n", "3", "-r", "10"});
  if (access("/dev/full", W_OK) == 0) {
    std::filesystem::create_symlink("/dev/full", s.path(OUT));
    e2e::Result r = e2e::avfmerge(s, {"-i", "a.avf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(OUT), std::string::npos) << r.err;
    std::filesystem::remove(s.path(OUT));
  }
  if (access("/bin/bash", X_OK) == 0) {
    // 100 KiB: more than the global header, less than the scans.
    e2e::Result r = s.run("/bin/bash", {"-c", "trap '' XFSZ; ulimit -f 100; exec \"$0\" -i a.avf", AVFMERGE_PATH});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(OUT), std::string::npos) << r.err;
    EXPECT_LT(s.read(OUT).size(), s.read("a.avf").size());
  }
}

} // namespace
