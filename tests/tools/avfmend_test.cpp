// avfmend end to end: synthetic files, clean and damaged, repaired by the
// built program and read back by the library.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tool_runner.h"

using e2e::Result;
using e2e::Scratch;

namespace {

constexpr const char *OUT = "avfmend_out.avf";
constexpr int RECL = 5012; // avfgen's default layout: 4 antennas, 8 samplers, 36 baselines, 16 channels

std::string summary(int scan, const char *name, int recs) {
  char b[80];
  std::snprintf(b, sizeof b, "SCAN %03d: %-12s [%4d recs]\n", scan, name, recs);
  return b;
}

void gen(const Scratch &s, const std::string &name, std::vector<std::string> args) {
  args.insert(args.begin(), {"-o", name});
  Result r = e2e::avfgen(s, args);
  ASSERT_EQ(0, r.status) << r.err;
}

// The output read back by the library: every scan header readable and the
// scan table giving these record counts.
void expect_output(const Scratch &s, const std::vector<unsigned> &recs) {
  e2e::Indexed x = e2e::index_file(s.path(OUT));
  ASSERT_EQ(0, x.hdr) << x.err;
  ASSERT_EQ(0, x.tab) << x.err;
  ASSERT_EQ(static_cast<int>(recs.size()), x.info->scans);
  for (std::size_t i = 0; i < recs.size(); ++i) EXPECT_EQ(recs[i], x.info->stab[i].recs) << "scan " << i;
}

// The data record signatures of the output, in file order.
std::vector<std::string> signatures(const Scratch &s) {
  fixture::Bytes b = s.read(OUT);
  std::vector<std::string> sigs;
  for (std::size_t at = 0; at + RECL <= b.size(); at += RECL)
    if (std::memcmp(b.data() + at, "DATA", 4) == 0) sigs.emplace_back(b.begin() + at, b.begin() + at + 14);
  return sigs;
}

TEST(AvfMend, CleanFileIsCopiedExactly) {
  Scratch s;
  gen(s, "in.avf", {"-n", "3", "-r", "2,3,1"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "SRC0000", 2) + summary(1, "SRC0001", 3) + summary(2, "SRC0002", 1), r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(s.read("in.avf"), s.read(OUT));
}

// Records that go out as stored are copied by the system from the input
// file; where it cannot copy between the two file systems they go through a
// buffer, with the same bytes.
TEST(AvfMend, OutputOnAnotherFileSystemIsTheSame) {
  Scratch s;
  const std::filesystem::path elsewhere = e2e::other_file_system(s.path(""));
  if (elsewhere.empty()) GTEST_SKIP() << "no second file system";
  Scratch other(elsewhere);
  ASSERT_TRUE(other.ok());
  gen(s, "clean.avf", {"-n", "3", "-r", "40,3,25"});
  gen(s, "damaged.avf", {"-n", "3", "-r", "40,3,25", "-g", "0:10", "-L", "2:5:2"});
  for (const char *name : {"clean.avf", "damaged.avf"}) {
    Result here = e2e::avfmend(s, {"-i", name});
    Result there = e2e::avfmend(other, {"-i", s.path(name).string()});
    ASSERT_EQ(0, here.status) << here.err;
    ASSERT_EQ(0, there.status) << there.err;
    EXPECT_EQ(here.out, there.out) << name;
    EXPECT_EQ(s.read(OUT), other.read(OUT)) << name;
    if (std::string(name) == "clean.avf") {
      EXPECT_EQ(s.read(name), other.read(OUT));
    }
  }
}

// Records of half a megabyte: in the local byte order only their signatures
// are read and the system copies them, in the other they are reversed in
// pieces; a file and its big-endian twin, clean or damaged, come out alike.
TEST(AvfMend, LongRecordsInEitherByteOrderComeOutAlike) {
  Scratch s;
  const std::vector<std::string> layout = {"-a", "30", "-s", "60", "-b", "1830", "-c", "32", "-n", "3", "-r", "3,2,4"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = layout;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  gen(s, "clean.avf", with({}));
  gen(s, "clean-be.avf", with({"-B", "1"}));
  gen(s, "damaged.avf", with({"-g", "1:0", "-L", "2:1:2"}));
  gen(s, "damaged-be.avf", with({"-B", "1", "-g", "1:0", "-L", "2:1:2"}));
  ASSERT_GE(s.read("clean.avf").size(), 9u * (256u << 10));

  Result r = e2e::avfmend(s, {"-i", "clean.avf"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(s.read("clean.avf"), s.read(OUT));
  r = e2e::avfmend(s, {"-i", "clean-be.avf"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(s.read("clean.avf"), s.read(OUT));

  // A record overwritten (1:0) and one that lost its last bytes (2:1): every
  // other record comes back with its payload, from either twin. (The short
  // record itself differs between the twins: it ends in bytes of the next.)
  const int recl = e2e::index_file(s.path("clean.avf")).info->recl;
  auto payloads = [recl](const fixture::Bytes &b) {
    std::multiset<std::string> p;
    for (std::size_t at = 0; at + recl <= b.size(); at += recl)
      if (std::memcmp(b.data() + at, "DATA", 4) == 0)
        p.emplace(b.begin() + at + SIGNATURE_LEN, b.begin() + at + recl);
    return p;
  };
  std::multiset<std::string> want = payloads(s.read("clean.avf"));
  ASSERT_EQ(9u, want.size());
  const fixture::Bytes clean = s.read("clean.avf");
  for (const char *lost : {"DATA0001.00000", "DATA0002.00001"}) {
    const auto at = std::search(clean.begin(), clean.end(), lost, lost + 14);
    ASSERT_NE(clean.end(), at);
    want.erase(want.find(std::string(at + SIGNATURE_LEN, at + recl)));
  }
  Result le = e2e::avfmend(s, {"-i", "damaged.avf"});
  ASSERT_EQ(0, le.status) << le.err;
  EXPECT_NE(std::string::npos, le.out.find(" RECOVERED:")) << le.out;
  const std::multiset<std::string> from_le = payloads(s.read(OUT));
  Result be = e2e::avfmend(s, {"-i", "damaged-be.avf"});
  ASSERT_EQ(0, be.status) << be.err;
  EXPECT_EQ(le.out, be.out);
  const std::multiset<std::string> from_be = payloads(s.read(OUT));
  for (const std::multiset<std::string> *got : {&from_le, &from_be}) {
    EXPECT_EQ(want.size() + 1, got->size()); // and the short record
    for (const std::string &p : want) EXPECT_EQ(1u, got->count(p));
  }
}

TEST(AvfMend, OtherByteOrderAndRecordVersionsComeOutInLocalOrder) {
  for (const char *version : {"2", "3", "4", "0"}) {
    Scratch s;
    gen(s, "le.avf", {"-V", version, "-a", "3"});
    gen(s, "be.avf", {"-V", version, "-a", "3", "-B", "1"});
    ASSERT_NE(s.read("le.avf"), s.read("be.avf"));
    Result r = e2e::avfmend(s, {"-i", "be.avf"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(s.read("le.avf"), s.read(OUT)) << "record version " << version;
  }
  Scratch s;
  gen(s, "le.avf", {"-V", "2", "-O", "1"});
  gen(s, "be.avf", {"-V", "2", "-O", "1", "-B", "1"});
  EXPECT_EQ(0, e2e::avfmend(s, {"-i", "be.avf"}).status);
  EXPECT_EQ(s.read("le.avf"), s.read(OUT)) << "first scan record version";
}

TEST(AvfMend, EatenRecordsAreCountedButNotWritten) {
  Scratch s;
  gen(s, "in.avf", {"-n", "1", "-r", "10"});
  Result r = e2e::avfmend(s, {"--in=in.avf", "-e", "2"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(summary(0, "SRC0000", 10), r.out);
  expect_output(s, {8});
  std::vector<std::string> sigs = signatures(s);
  ASSERT_EQ(8u, sigs.size());
  EXPECT_EQ("DATA0000.00000", sigs.front());
  EXPECT_EQ("DATA0000.00007", sigs.back());
}

TEST(AvfMend, CutLastRecordIsLeftOut) {
  Scratch s;
  gen(s, "in.avf", {"-n", "2", "-r", "3", "-x", "100"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(summary(0, "SRC0000", 3) + summary(1, "SRC0001", 2), r.out);
  expect_output(s, {3, 2});
}

// A garbage record between records 4 and 5 of scan 3: the header read that
// fails on it must not swallow record 5.
TEST(AvfMend, GarbageBetweenDataRecordsLosesNothing) {
  Scratch s;
  gen(s, "in.avf", {"-n", "5", "-r", "10", "-I", "3:5"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "SRC0000", 10) + summary(1, "SRC0001", 10) + summary(2, "SRC0002", 10) +
                summary(3, "SRC0003", 5) + " RECOVERED:" + summary(3, "SRC0003", 10) + summary(4, "SRC0004", 10),
            r.out);
  EXPECT_EQ("No SCAN keyword found :GET_SCAN_HDR\nSync lost, resyncing...\n", r.err);
  expect_output(s, {10, 10, 10, 10, 10});
  std::vector<std::string> sigs = signatures(s);
  ASSERT_EQ(50u, sigs.size());
  EXPECT_EQ("DATA0003.00005", sigs[35]);
}

// A garbage record just before a two-record scan header: the search starts
// at the header's first record and keeps the scan.
TEST(AvfMend, GarbageBeforeAScanHeaderKeepsTheScan) {
  Scratch s;
  gen(s, "in.avf", {"-n", "5", "-r", "4", "-I", "4:h"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "SRC0000", 4) + summary(1, "SRC0001", 4) + summary(2, "SRC0002", 4) +
                summary(3, "SRC0003", 4) + summary(4, "SRC0004", 4),
            r.out);
  expect_output(s, {4, 4, 4, 4, 4});
}

// A damaged scan header, and the first data record after it shifted so that
// its signature ends exactly at the end of a searched record.
TEST(AvfMend, ShiftedSignatureAtTheEndOfARecordIsFound) {
  Scratch s;
  gen(s, "in.avf", {"-n", "4", "-r", "3", "-k", "2", "-P", "2:0:" + std::to_string(RECL - 4)});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "SRC0000", 3) + summary(1, "SRC0001", 3) + " RECOVERED:" + summary(1, "SRC0001", 6) +
                summary(2, "SRC0003", 3),
            r.out);
  expect_output(s, {3, 6, 3});
}

TEST(AvfMend, FileEndingInAScanHeader) {
  Scratch s;
  gen(s, "in.avf", {"-n", "3", "-r", "2,3,0"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(summary(0, "SRC0000", 2) + summary(1, "SRC0001", 3), r.out);
  EXPECT_EQ(s.read("in.avf"), s.read(OUT));
}

TEST(AvfMend, FinalRecordThatIsNeitherDataNorHeader) {
  Scratch s;
  gen(s, "in.avf", {"-n", "2", "-r", "3", "-g", "1:2"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(summary(0, "SRC0000", 3) + summary(1, "SRC0001", 2), r.out);
  EXPECT_EQ("File too short\nSync lost, resyncing...\nFile Read Error\n", r.err);
}

TEST(AvfMend, MoreScansThanTheTableHolds) {
  Scratch s;
  gen(s, "in.avf", {"-n", "65", "-r", "1", "-a", "2", "-c", "4"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ("MaxScan [64] reached!\nPlease try again with a larger MaxScan\n", r.err);
  e2e::Indexed x = e2e::index_file(s.path(OUT));
  EXPECT_EQ(0, x.tab) << x.err;
  EXPECT_EQ(64, x.info->scans);

  EXPECT_EQ(0, e2e::avfmend(s, {"-i", "in.avf", "-m", "65"}).status);
}

// Data found before any readable scan header is counted and reported, not
// written: it would stand between the global header and the first scan.
TEST(AvfMend, UnreadableFirstScanHeader) {
  Scratch s;
  gen(s, "in.avf", {"-n", "3", "-r", "2,3,4", "-K", "0"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(std::string(" RECOVERED:") + summary(-1, "", 2) + summary(0, "SRC0001", 3) + summary(1, "SRC0002", 4),
            r.out);
  EXPECT_EQ("Too few keywords found\nSync lost, resyncing...\n"
            "2 data records before the first readable scan header were not written\n",
            r.err);
  expect_output(s, {3, 4});
}

// Two bytes lost at the end of a data record: the next signature begins just
// before the record boundary, and every later one straddles two records.
TEST(AvfMend, SignaturesAcrossRecordBoundariesAreFound) {
  Scratch s;
  gen(s, "in.avf", {"-n", "4", "-r", "6", "-L", "1:2:2"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "SRC0000", 6) + summary(1, "SRC0001", 3) + " RECOVERED:" + summary(1, "SRC0001", 6) +
                summary(2, "SRC0002", 6) + summary(3, "SRC0003", 6),
            r.out);
  expect_output(s, {6, 6, 6, 6});
  // Every record after the damaged one is whole again.
  fixture::Bytes in = s.read("in.avf"), out = s.read(OUT);
  EXPECT_TRUE(std::equal(in.end() - 10 * RECL + 17, in.end(), out.end() - 10 * RECL + 17));
}

// The same loss in a big-endian file: the damaged record is reversed in
// place, and the bytes it shares with the next record's signature are read
// again as they stand in the file (not reversed), so the walk goes on.
TEST(AvfMend, SignatureAcrossABoundaryInTheOtherByteOrder) {
  Scratch s;
  gen(s, "le.avf", {"-n", "3", "-r", "4", "-L", "1:1:2"});
  gen(s, "be.avf", {"-n", "3", "-r", "4", "-L", "1:1:2", "-B", "1"});
  Result r = s.run("timeout", {"-s", "KILL", "60", AVFMEND_PATH, "-i", "be.avf"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "SRC0000", 4) + summary(1, "SRC0001", 2) + " RECOVERED:" + summary(1, "SRC0001", 4) +
                summary(2, "SRC0002", 4),
            r.out);
  expect_output(s, {4, 4, 4});
  fixture::Bytes le = s.read("le.avf"), out = s.read(OUT);
  EXPECT_TRUE(std::equal(le.end() - 6 * RECL + 17, le.end(), out.end() - 6 * RECL + 17));
}

// The same loss just before the last record of the input: no whole record is
// left to read where the walk stands, but a whole one begins two bytes
// earlier. It is found as anywhere else, not taken for the end.
TEST(AvfMend, LastRecordAcrossTheBoundaryIsFound) {
  Scratch s;
  gen(s, "in.avf", {"-n", "2", "-r", "3", "-L", "1:1:2"});
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "SRC0000", 3) + summary(1, "SRC0001", 2) + summary(1, "SRC0001", 3), r.out);
  EXPECT_EQ("File too short\nSync lost, resyncing...\n", r.err);
  expect_output(s, {3, 3});
  fixture::Bytes in = s.read("in.avf"), out = s.read(OUT);
  EXPECT_TRUE(std::equal(in.end() - RECL + 17, in.end(), out.end() - RECL + 17));

  // A cut record at the end is still the end, without a search.
  gen(s, "cut.avf", {"-n", "2", "-r", "3", "-L", "1:1:2", "-x", "1"});
  r = e2e::avfmend(s, {"-i", "cut.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "SRC0000", 3) + summary(1, "SRC0001", 2), r.out);
  EXPECT_EQ("", r.err);
}

// A record that begins with "SCAN" inside a scan but is no header: no scan
// header is written from whatever its failed read left behind.
TEST(AvfMend, FalseScanSignatureInsideAScan) {
  Scratch s;
  gen(s, "in.avf", {"-n", "2", "-r", "6"});
  fixture::Bytes b = s.read("in.avf");
  const std::size_t scan1 = b.size() - 6u * RECL - 2u * RECL;
  std::memcpy(b.data() + scan1 - 3u * RECL, "SCAN", 4); // record 3 of scan 0
  s.write("in.avf", b);
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "SRC0000", 3) + " RECOVERED:" + summary(0, "SRC0000", 5) + summary(1, "SRC0001", 6), r.out);
  expect_output(s, {5, 6});
}

// An input whose header lists 30 antennas: the rewritten header lists 32 and
// may need more records, while the input is still read with its own counts.
TEST(AvfMend, ThirtyAntennaHeader) {
  fixture::GlobalSpec g;
  g.corr_version = 3;
  g.keys.version = g.corr.version = "COR30x2 AVF1.10 DAS2.01 HST00";
  g.corr.text_antennas = 30;
  g.recl = 1024;
  g.keys.layout.channels = 2; // a short record, so the text grows by whole records
  const fixture::Layout l = g.keys.layout;
  ASSERT_LE(l.recl(), 1024);
  fixture::Bytes f = fixture::global_header(g);
  for (int scan = 0; scan < 2; ++scan) {
    fixture::ScanSpec sc;
    sc.number = scan;
    fixture::append(f, fixture::scan_header(sc, fixture::Order::Little, 1024));
    for (int rec = 0; rec < 3; ++rec) {
      fixture::Bytes d = fixture::data_record(l, scan, rec, rec, fixture::Order::Little);
      d.resize(1024, 0);
      fixture::append(f, d);
    }
  }
  Scratch s;
  s.write("in.avf", f);
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(summary(0, "3C286", 3) + summary(1, "3C286", 3), r.out);
  expect_output(s, {3, 3});
}

TEST(AvfMend, UsageAndRefusals) {
  Scratch s;
  for (std::vector<std::string> args : {std::vector<std::string>{}, std::vector<std::string>{"-i", ""}}) {
    Result r = e2e::avfmend(s, args);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("Usage: " + std::string(AVFMEND_PATH) + " -i InputAvfFile [-m (maxscans)][-e (eat)][-v (verbose)]\n",
              r.err);
    EXPECT_TRUE(s.exists(OUT));
    EXPECT_EQ(0u, s.read(OUT).size());
  }
  Result missing = e2e::avfmend(s, {"-i", "nosuch.avf"});
  EXPECT_EQ(1, missing.status);
  EXPECT_EQ("Cannot open nosuch.avf\n", missing.err);

  s.write("junk.avf", fixture::Bytes(100, 'j'));
  Result junk = e2e::avfmend(s, {"-i", "junk.avf"});
  EXPECT_EQ(1, junk.status);
  EXPECT_EQ("No HDR keyword found!\nError reading junk.avf\n", junk.err);
}

TEST(AvfMend, NeverOverwritesItsInput) {
  Scratch s;
  gen(s, OUT, {"-n", "1", "-r", "2"});
  const fixture::Bytes before = s.read(OUT);
  std::filesystem::create_hard_link(s.path(OUT), s.path("other-name.avf"));
  for (const char *name : {OUT, "other-name.avf", "./avfmend_out.avf"}) {
    Result r = e2e::avfmend(s, {"-i", name});
    EXPECT_EQ(1, r.status) << name;
    EXPECT_NE(std::string::npos, r.err.find("is the output file avfmend_out.avf")) << r.err;
    EXPECT_EQ(before, s.read(OUT)) << name;
  }
}

TEST(AvfMend, FullDiskIsAFailure) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Scratch s;
  gen(s, "in.avf", {"-n", "2", "-r", "3"});
  std::filesystem::create_symlink("/dev/full", s.path(OUT));
  Result r = e2e::avfmend(s, {"-i", "in.avf"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("avfmend_out.avf")) << r.err;
}

TEST(AvfMend, VerboseEchoesSignatures) {
  Scratch s;
  gen(s, "in.avf", {"-n", "1", "-r", "2"});
  Result r = e2e::avfmend(s, {"-i", "in.avf", "-v", "1"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("DATA0000.00000\nDATA0000.00000\nDATA0000.00001\n" + summary(0, "SRC0000", 2), r.out);
}

} // namespace
