// avfinfo end to end: intact files of every record version and byte order,
// every damage avfgen makes (each verdict checked against what avfmend then
// really does), unreadable files, and that nothing is ever written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tool_runner.h"

using e2e::Result;
using e2e::Scratch;

namespace {

void gen(const Scratch &s, const std::string &name, std::vector<std::string> args) {
  args.insert(args.begin(), {"-o", name});
  Result r = e2e::avfgen(s, args);
  ASSERT_EQ(0, r.status) << r.err;
}

// What follows the scan table: index, faults, notes and verdict.
std::string tail(const std::string &out) {
  std::size_t at = out.rfind("\n\n");
  return at == std::string::npos ? out : out.substr(at + 2);
}

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

constexpr const char *HEADER_LINES =
    "Header recs : global 10 (7 binary), scan 2 (1 binary)\n"
    "VERSION     : COR30x2 AVF1.10 DAS2.01 HST03\n"
    "Record      : version 4, COR30x2 AVF1.10 DAS2.01 HST03\n"
    "Byte order  : little-endian (BYTE_SEQ Little Endian), as this host\n"
    "Antennas    : 4 (A00 A01 A02 A03)\n"
    "Samplers    : 8\n"
    "Baselines   : 36\n"
    "Channels    : 16\n";

TEST(AvfInfo, CleanFileInFull) {
  Scratch s;
  gen(s, "c.avf", {"-n", "2", "-r", "3,1", "-j", "51544.75"});
  const std::string body = std::string("File        : c.avf\n"
                                       "Size        : 90216 bytes = 18 records of 5012 bytes\n") +
                           HEADER_LINES +
                           "Epoch       : MJD 51544.750000 = 2000-01-01 18:00:00.000\n"
                           "Integration : 0.131072 s per record (AVF 1 x STATIME 131072 usec)\n"
                           "\n"
                           "Scan  Object        DATE-OBS                  Records  First record  Byte offset\n"
                           "   0  SRC0000       Sat Jan 01 18:00:00 2000        3            10        50120\n"
                           "   1  SRC0001       Sat Jan 01 18:00:00 2000        1            15        75180\n"
                           "\n";
  Result r = e2e::avfinfo(s, {"c.avf"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(body + "Verdict: intact (2 scans, 4 data records; indexed from the end, -V checks every record)\n", r.out);
  EXPECT_EQ("", r.err);
  r = e2e::avfinfo(s, {"--in=c.avf", "--verify"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(body + "Verdict: intact (2 scans, 4 data records; every record checked)\n", r.out);
}

TEST(AvfInfo, DamagedFileInFull) {
  Scratch s;
  gen(s, "d.avf", {"-n", "3", "-r", "4", "-B", "1", "-I", "1:2", "-g", "2:1"});
  Result r = e2e::avfinfo(s, {"-V", "-i", "d.avf"});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("File        : d.avf\n"
            "Size        : 145348 bytes = 29 records of 5012 bytes\n"
            "Header recs : global 10 (7 binary), scan 2 (1 binary)\n"
            "VERSION     : COR30x2 AVF1.10 DAS2.01 HST03\n"
            "Record      : version 4, COR30x2 AVF1.10 DAS2.01 HST03\n"
            "Byte order  : big-endian (BYTE_SEQ Big Endian), this host is little-endian\n"
            "Antennas    : 4 (A00 A01 A02 A03)\n"
            "Samplers    : 8\n"
            "Baselines   : 36\n"
            "Channels    : 16\n"
            "Epoch       : MJD 60000.000000 = 2023-02-25 00:00:00.000\n"
            "Integration : 0.131072 s per record (AVF 1 x STATIME 131072 usec)\n"
            "\n"
            "Scan  Object        DATE-OBS                  Records  First record  Byte offset\n"
            "   0  SRC0000       Sat Feb 25 00:00:00 2023        4            10        50120\n"
            "   1  SRC0001       Sat Feb 25 00:00:00 2023        4            16        80192\n"
            "   2  SRC0002       Sat Feb 25 00:00:01 2023        3            23       115276\n"
            "\n"
            "Index       : from the end: No SCAN keyword found :GET_SCAN_HDR\n"
            "Fault 1: byte offset 100240 (record 20): 5012 bytes without a signature (1 record) before "
            "DATA0001.00002\n"
            "  avfmend: recovers the scan: its records go on\n"
            "Fault 2: byte offset 130312 (record 26): 5012 bytes without a signature (1 record) in place of "
            "DATA0002.00001\n"
            "  avfmend: recovers the scan: its records go on\n"
            "Verdict: damaged (2 faults); avfmend is expected to recover it\n",
            r.out);
  EXPECT_EQ("", r.err);
}

struct Intact {
  const char *version; // avfgen -V
  bool big;
  const char *layout;  // Size and Header recs lines
  const char *text;    // VERSION and Record lines
};

TEST(AvfInfo, IntactFilesOfEveryRecordVersionAndByteOrder) {
  const std::string le = "Byte order  : little-endian (BYTE_SEQ Little Endian), as this host\n";
  const std::string be = "Byte order  : big-endian (BYTE_SEQ Big Endian), this host is little-endian\n";
  const Intact cases[] = {
      {"2", false, "Size        : 61280 bytes = 20 records of 3064 bytes\nHeader recs : global 10 (6 binary), scan 2 (1 binary)\n",
       "VERSION     : CORR30 AVF1.00 DAS1.00\nRecord      : version 2, CORR30  VF1.00 DAS1.00\n"},
      {"3", false, "Size        : 73536 bytes = 24 records of 3064 bytes\nHeader recs : global 14 (10 binary), scan 2 (1 binary)\n",
       "VERSION     : COR30x2 AVF1.10 DAS2.01 HST00\nRecord      : version 3, COR30x2 AVF1.10 DAS2.01 HST00\n"},
      {"4", false, "Size        : 74200 bytes = 25 records of 2968 bytes\nHeader recs : global 15 (11 binary), scan 2 (1 binary)\n",
       "VERSION     : COR30x2 AVF1.10 DAS2.01 HST03\nRecord      : version 4, COR30x2 AVF1.10 DAS2.01 HST03\n"},
      {"0", false, "Size        : 76600 bytes = 25 records of 3064 bytes\nHeader recs : global 15 (11 binary), scan 2 (1 binary)\n",
       "VERSION     : AVF1.10 DAS2.01 HST03\nRecord      : version 0, AVF1.10 DAS2.01 HST03\n"},
  };
  if (host_byte_order() != LittleEndian) GTEST_SKIP() << "expected texts name a little-endian host";
  for (const Intact &c : cases)
    for (bool big : {false, true}) {
      SCOPED_TRACE(std::string("record version ") + c.version + (big ? " big-endian" : " little-endian"));
      Scratch s;
      gen(s, "v.avf", {"-V", c.version, "-a", "3", "-n", "2", "-r", "3", "-B", big ? "1" : "0"});
      for (const char *verify : {"-V-", "-V"}) {
        Result r = e2e::avfinfo(s, {"v.avf", verify});
        EXPECT_EQ(0, r.status) << verify << r.err;
        EXPECT_EQ("", r.err);
        EXPECT_TRUE(has(r.out, std::string(c.layout) + c.text + (big ? be : le) +
                                   "Antennas    : 3 (A00 A01 A02)\n"
                                   "Samplers    : 6\n"
                                   "Baselines   : 21\n"
                                   "Channels    : 16\n"
                                   "Epoch       : MJD 60000.000000 = 2023-02-25 00:00:00.000\n"
                                   "Integration : 0.131072 s per record (AVF 1 x STATIME 131072 usec)\n"))
            << r.out;
        EXPECT_TRUE(has(r.out, "   1  SRC0001       Sat Feb 25 00:00:00 2023        3  "));
        EXPECT_TRUE(has(r.out, "Verdict: intact (2 scans, 6 data records; ")) << r.out;
      }
    }
}

TEST(AvfInfo, ZeroLengthScansAreNoDamage) {
  Scratch s;
  gen(s, "mid.avf", {"-n", "3", "-r", "2,0,3"});
  gen(s, "last.avf", {"-n", "3", "-r", "2,3,0"});
  Result r = e2e::avfinfo(s, {"mid.avf"});
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(has(r.out, "   1  SRC0001       Sat Feb 25 00:00:00 2023        0            14        70168\n"));
  EXPECT_EQ("Verdict: intact (3 scans, 5 data records; indexed from the end, -V checks every record)\n", tail(r.out));
  // The index from the end does not see a last scan without data.
  r = e2e::avfinfo(s, {"last.avf"});
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(has(r.out, "   2  SRC0002       Sat Feb 25 00:00:00 2023        0            19        95228\n"));
  EXPECT_EQ("Index       : from the end: the scans end at byte offset 95228, the file at 105252\n"
            "Note: the last scan has no data records; the merge tool leaves it out\n"
            "Verdict: intact (3 scans, 5 data records; every record checked)\n",
            tail(r.out));
}

// One damage of avfgen's in a file of 5 scans of 10 records (records of 5012
// bytes, a global header of 10 and scan headers of 2 records), what avfinfo
// says of it, and what avfmend then makes of it: its status and avfinfo's
// verdict on its output.
struct Damage {
  const char *name;
  std::vector<std::string> args;
  bool verify;
  int status;
  const char *tail;
  int mend_status;
  const char *mended; // verdict on avfmend's output
};

class AvfInfoDamage : public testing::TestWithParam<Damage> {};

TEST_P(AvfInfoDamage, VerdictNamesThePlaceAndAvfmendDoesWhatItSays) {
  const Damage &d = GetParam();
  Scratch s;
  std::vector<std::string> args = {"-n", "5", "-r", "10"};
  args.insert(args.end(), d.args.begin(), d.args.end());
  gen(s, "d.avf", args);
  Result r = e2e::avfinfo(s, d.verify ? std::vector<std::string>{"d.avf", "-V"} : std::vector<std::string>{"d.avf"});
  EXPECT_EQ(d.status, r.status) << r.out << r.err;
  EXPECT_EQ(d.tail, tail(r.out));
  EXPECT_EQ("", r.err);

  Result m = e2e::avfmend(s, {"-i", "d.avf"});
  EXPECT_EQ(d.mend_status, m.status) << m.err;
  Result check = e2e::avfinfo(s, {"avfmend_out.avf", "-V"});
  EXPECT_EQ(0, check.status);
  EXPECT_EQ(d.mended, tail(check.out));
}

std::string name_of(const testing::TestParamInfo<Damage> &i) { return i.param.name; }

const char *const FIFTY = "Verdict: intact (5 scans, 50 data records; every record checked)\n";
const char *const FORTY_NINE = "Verdict: intact (5 scans, 49 data records; every record checked)\n";

INSTANTIATE_TEST_SUITE_P(
    AvfInfo, AvfInfoDamage,
    testing::Values(
        // An overwritten data record inside a scan: the index from the end
        // reads no record there, only the walk sees it.
        Damage{"GarbageInsideAScanIndexed", {"-g", "3:5"}, false, 0,
               "Verdict: intact (5 scans, 50 data records; indexed from the end, -V checks every record)\n", 0,
               FORTY_NINE},
        Damage{"GarbageInsideAScanVerified", {"-g", "3:5"}, true, 2,
               "Fault 1: byte offset 265636 (record 53): 5012 bytes without a signature (1 record) in place of "
               "DATA0003.00005\n"
               "  avfmend: recovers the scan: its records go on\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
               0, FORTY_NINE},
        Damage{"GarbageRecordsInARow", {"-g", "0:0,1:3,1:4"}, true, 2,
               "Fault 1: byte offset 60144 (record 12): 5012 bytes without a signature (1 record) in place of "
               "DATA0000.00000\n"
               "  avfmend: recovers the scan: its records go on\n"
               "Fault 2: byte offset 135324 (record 27): 10024 bytes without a signature (2 records) in place of "
               "DATA0001.00003 to DATA0001.00004\n"
               "  avfmend: recovers the scan: its records go on\n"
               "Verdict: damaged (2 faults); avfmend is expected to recover it\n",
               0, "Verdict: intact (5 scans, 47 data records; every record checked)\n"},
        Damage{"GarbageAsTheLastRecordOfAScan", {"-g", "3:9"}, false, 2,
               "Index       : from the end: Checking for zero length scan; Sync Lost: Can't make ScanTab\n"
               "Fault 1: byte offset 285684 (record 57): 5012 bytes without a signature (1 record) before the scan "
               "header at byte offset 290696\n"
               "  avfmend: skips it and goes on with the next scan header\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
               0, FORTY_NINE},
        Damage{"GarbageAsTheLastRecordOfTheFile", {"-g", "4:9"}, false, 2,
               "Index       : from the end: the scans end at byte offset 345828, the file at 350840\n"
               "Fault 1: byte offset 345828 (record 69): 5012 bytes without a signature (1 record) up to the end of "
               "the file\n"
               "  avfmend: copies everything before it, then stops with status 1\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it in part\n",
               1, FORTY_NINE},
        Damage{"GarbageOverAScanHeader", {"-g", "2:h"}, false, 2,
               "Index       : from the end: No SCAN keyword found :GET_SCAN_HDR\n"
               "Fault 1: byte offset 170408 (record 34): 10024 bytes without a signature (2 records) in place of the "
               "scan header of scan 2\n"
               "  avfmend: keeps the data of scan 2 but appends it to scan 1\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it in part\n",
               0, "Verdict: intact (4 scans, 50 data records; every record checked)\n"},
        Damage{"InsertedRecordInsideAScan", {"-I", "3:5"}, false, 2,
               "Index       : from the end: No SCAN keyword found :GET_SCAN_HDR\n"
               "Fault 1: byte offset 265636 (record 53): 5012 bytes without a signature (1 record) before "
               "DATA0003.00005\n"
               "  avfmend: recovers the scan: its records go on\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
               0, FIFTY},
        Damage{"InsertedRecordBeforeAScanHeader", {"-I", "4:h"}, false, 2,
               "Index       : from the end: Checking for zero length scan; Sync Lost: Can't make ScanTab\n"
               "Fault 1: byte offset 290696 (record 58): 5012 bytes without a signature (1 record) before the scan "
               "header at byte offset 295708\n"
               "  avfmend: skips it and goes on with the next scan header\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
               0, FIFTY},
        Damage{"InsertedRecordInABigEndianFile", {"-B", "1", "-I", "1:2"}, true, 2,
               "Index       : from the end: No SCAN keyword found :GET_SCAN_HDR\n"
               "Fault 1: byte offset 130312 (record 26): 5012 bytes without a signature (1 record) before "
               "DATA0001.00002\n"
               "  avfmend: recovers the scan: its records go on\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
               0, FIFTY},
        // Bytes lost at the end of record 2 of scan 1: the next signature
        // stands before its boundary; avfmend finds it only within 3 bytes.
        Damage{"TwoBytesLost", {"-L", "1:2:2"}, false, 2,
               "Index       : from the end: Sync Lost: Can't make ScanTab\n"
               "Fault 1: byte offset 135324 (record 27): 2 bytes missing before DATA0001.00003; from there on the "
               "records stand 2 bytes before their boundaries\n"
               "  avfmend: recovers the scan: its records go on\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
               0, FIFTY},
        Damage{"FortyBytesLost", {"-L", "1:2:40"}, false, 2,
               "Index       : from the end: Sync Lost: Can't make ScanTab\n"
               "Fault 1: byte offset 135324 (record 27): 40 bytes missing before DATA0001.00003; from there on the "
               "records stand 40 bytes before their boundaries\n"
               "  avfmend: recovers the scan: its records go on; it misses DATA0001.00003, whose signature begins "
               "before its boundary\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it in part\n",
               0, FORTY_NINE},
        Damage{"ExtraBytes", {"-P", "2:3:100"}, false, 2,
               "Index       : from the end: Sync Lost: Can't make ScanTab\n"
               "Fault 1: byte offset 195468 (record 39): 100 bytes without a signature before DATA0002.00003; from "
               "there on the records stand 100 bytes after their boundaries\n"
               "  avfmend: recovers the scan: its records go on\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
               0, FIFTY},
        Damage{"ExtraBytesAndABrokenScanSignature", {"-k", "2", "-P", "2:0:5008"}, false, 2,
               "Index       : from the end: Sync Lost: Can't make ScanTab\n"
               "Fault 1: byte offset 170408 (record 34): 15032 bytes without a signature before DATA0002.00000: the "
               "scan header of scan 2 is missing; from there on the records stand 4 bytes before their boundaries\n"
               "  avfmend: keeps the data of scan 2 but appends it to scan 1\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it in part\n",
               0, "Verdict: intact (4 scans, 50 data records; every record checked)\n"},
        Damage{"BrokenScanSignature", {"-k", "2"}, false, 2,
               "Index       : from the end: No SCAN keyword found :GET_SCAN_HDR\n"
               "Fault 1: byte offset 170408 (record 34): 10024 bytes without a signature (2 records) in place of the "
               "scan header of scan 2\n"
               "  avfmend: keeps the data of scan 2 but appends it to scan 1\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it in part\n",
               0, "Verdict: intact (4 scans, 50 data records; every record checked)\n"},
        Damage{"HeaderMissingAKeyword", {"-K", "3"}, false, 2,
               "Index       : from the end: Too few keywords found\n"
               "Fault 1: byte offset 230552 (record 46): the scan header of scan 3 is unreadable (Too few keywords "
               "found)\n"
               "  avfmend: keeps the data of scan 3 but appends it to scan 2\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it in part\n",
               0, "Verdict: intact (4 scans, 50 data records; every record checked)\n"},
        Damage{"FirstHeaderMissingAKeyword", {"-K", "0"}, true, 2,
               "Index       : from the end: Too few keywords found\n"
               "Fault 1: byte offset 50120 (record 10): the scan header of scan 0 is unreadable (Too few keywords "
               "found)\n"
               "  avfmend: drops the data of scan 0: no readable scan header comes before it\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it in part\n",
               0, "Verdict: intact (4 scans, 40 data records; every record checked)\n"},
        Damage{"CutTail", {"-x", "100"}, false, 2,
               "Index       : from the end: the scans end at byte offset 345828, the file at 350740\n"
               "Fault 1: byte offset 345828 (record 69): the file ends 4912 bytes into a record (DATA0004.00009)\n"
               "  avfmend: drops the incomplete record and keeps everything before it\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
               0, FORTY_NINE},
        Damage{"CutToTwoBytesOfTheLastRecord", {"-x", "5010"}, false, 2,
               "Index       : from the end: Checking for zero length last scan Failed...Checking for fractional "
               "length last scan; Missing Signature: Can't make ScanTab\n"
               "Fault 1: byte offset 345828 (record 69): the file ends 2 bytes into a record\n"
               "  avfmend: drops the incomplete record and keeps everything before it\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
               0, FORTY_NINE},
        Damage{"CutInsideTheLastScanHeader", {"-r", "10,10,10,10,0", "-x", "5000"}, false, 2,
               "Index       : from the end: the scans end at byte offset 285684, the file at 295720\n"
               "Fault 1: byte offset 290696 (record 58): the file ends 5024 bytes into a scan header\n"
               "  avfmend: copies everything before it, then stops with status 1\n"
               "Verdict: damaged (1 fault); avfmend is expected to recover it in part\n",
               1, "Verdict: intact (4 scans, 40 data records; every record checked)\n"}),
    name_of);

// Signatures on their boundaries that carry the wrong numbers, in a file of
// 2 scans of 4 records: global header records 0-9, scan 0 at 10 (data 12-15),
// scan 1 at 16 (data 18-21).
struct Numbering {
  const char *name;
  void (*edit)(fixture::Bytes &);
  const char *tail;
  const char *mended;
};

TEST(AvfInfo, SignatureNumbering) {
  constexpr std::size_t RECL = 5012;
  const Numbering cases[] = {
      {"one damaged digit", [](fixture::Bytes &b) { b[13 * RECL + 12] = '7'; },
       "Fault 1: byte offset 65156 (record 13): DATA0000.00071 where DATA0000.00001 was expected: a damaged "
       "signature\n"
       "  avfmend: renumbers it\n"
       "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
       "Verdict: intact (2 scans, 8 data records; every record checked)\n"},
      {"a record taken out",
       [](fixture::Bytes &b) { b.erase(b.begin() + 20 * RECL, b.begin() + 21 * RECL); },
       "Index       : from the end: No SCAN keyword found :GET_SCAN_HDR\n"
       "Fault 1: byte offset 100240 (record 20): DATA0001.00003 where DATA0001.00002 was expected: 1 data record "
       "missing\n"
       "  avfmend: renumbers the records after it\n"
       "Verdict: damaged (1 fault); avfmend is expected to recover it\n",
       "Verdict: intact (2 scans, 7 data records; every record checked)\n"},
      {"a scan header taken out",
       [](fixture::Bytes &b) { b.erase(b.begin() + 16 * RECL, b.begin() + 18 * RECL); },
       "Index       : from the end: No SCAN keyword found :GET_SCAN_HDR\n"
       "Fault 1: byte offset 80192 (record 16): DATA0001.00000 where DATA0000.00004 was expected: the scan header "
       "of scan 1 is missing\n"
       "  avfmend: keeps the data of scan 1 but appends it to scan 0\n"
       "Verdict: damaged (1 fault); avfmend is expected to recover it in part\n",
       "Verdict: intact (1 scan, 8 data records; every record checked)\n"},
  };
  for (const Numbering &c : cases) {
    SCOPED_TRACE(c.name);
    Scratch s;
    gen(s, "d.avf", {"-n", "2", "-r", "4"});
    fixture::Bytes b = s.read("d.avf");
    c.edit(b);
    s.write("d.avf", b);
    Result r = e2e::avfinfo(s, {"-V", "d.avf"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ(c.tail, tail(r.out));
    EXPECT_EQ(0, e2e::avfmend(s, {"-i", "d.avf"}).status);
    EXPECT_EQ(c.mended, tail(e2e::avfinfo(s, {"-V", "avfmend_out.avf"}).out));
  }
}

TEST(AvfInfo, UnreadableFiles) {
  Scratch s;
  s.write("junk.avf", fixture::Bytes(100, 'j'));
  gen(s, "noscan.avf", {"-n", "2", "-r", "2", "-k", "0"});
  std::filesystem::create_directory(s.path("dir.avf"));
  const std::map<std::string, std::string> cases = {
      {"nosuch.avf", "avfinfo: cannot open nosuch.avf\n"},
      {"dir.avf", "avfinfo: cannot open dir.avf\n"},
      {"junk.avf", "avfinfo: junk.avf: no readable global header (No HDR keyword found!); avfmend cannot read it "
                   "either\n"},
      {"noscan.avf", "avfinfo: noscan.avf: no readable global header (No SCAN keyword found : GET_AVF_HDR!); "
                     "avfmend cannot read it either\n"},
  };
  for (const auto &[name, err] : cases)
    for (const char *verify : {"-V-", "-V"}) {
      Result r = e2e::avfinfo(s, {name, verify});
      EXPECT_EQ(1, r.status) << name;
      EXPECT_EQ("Verdict: unreadable\n", r.out) << name;
      EXPECT_EQ(err, r.err);
    }
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{}, std::vector<std::string>{"-V"}, std::vector<std::string>{"a.avf", "b.avf"}}) {
    Result r = e2e::avfinfo(s, args);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("Usage: " + std::string(AVFINFO_PATH) + " [-i] InputAvfFile [-V (verify)]\n", r.err);
  }
}

// The directory as the program left it: names, sizes, contents and times
// of everything but the runner's own standard streams.
std::map<std::string, std::string> snapshot(const Scratch &s) {
  std::map<std::string, std::string> m;
  for (const auto &e : std::filesystem::directory_iterator(s.path(""))) {
    const std::string name = e.path().filename().string();
    if (name == ".stdin" || name == ".stdout" || name == ".stderr") continue;
    struct stat st{};
    stat(e.path().c_str(), &st);
    m[name] = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ":" +
              e2e::slurp(e.path());
  }
  return m;
}

TEST(AvfInfo, WritesNoFile) {
  Scratch s;
  gen(s, "clean.avf", {"-n", "2", "-r", "3"});
  gen(s, "damaged.avf", {"-n", "3", "-r", "3", "-I", "1:1", "-k", "2", "-x", "7"});
  const auto before = snapshot(s);
  for (const char *name : {"clean.avf", "damaged.avf", "nosuch.avf"})
    for (const char *verify : {"-V-", "-V"}) {
      Result r = e2e::avfinfo(s, {name, verify});
      EXPECT_NE(-1, r.status);
      EXPECT_EQ(before, snapshot(s)) << name << " " << verify;
    }
}

} // namespace
