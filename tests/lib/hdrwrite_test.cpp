// Writing global and scan headers: lines, record counts, binary blocks, the
// host description, and headers that read back as they were read.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "avf.h"
#include "fixture.h"
#include "tempfile.h"

using fixture::Bytes;
using fixture::Order;

namespace {

Bytes file_of(const fixture::GlobalSpec &g, const fixture::ScanSpec &s = {}) {
  Bytes f = fixture::global_header(g);
  fixture::append(f, fixture::scan_header(s, g.order, g.keys.layout.recl()));
  return f;
}

std::unique_ptr<AvfInfo> new_info() {
  auto info = std::make_unique<AvfInfo>();
  info->local_byte_order = host_byte_order();
  info->stab = std::make_unique<ScanHdrTab[]>(1);
  info->scans = 1;
  return info;
}

// Reads the global header and the first scan header of a file into info.
int read_file(const Bytes &file, AvfInfo *info, std::string *err = nullptr) {
  fixture::TempFile t(file);
  fixture::File f = t.open();
  testing::internal::CaptureStderr();
  int r = get_avf_hdr(f.get(), info);
  if (r == 0) {
    fseeko(f.get(), static_cast<off_t>(info->lrecs) * info->recl, SEEK_SET);
    r = get_scan_hdr(f.get(), info, 0);
  }
  std::string e = testing::internal::GetCapturedStderr();
  if (err) *err = e;
  return r;
}

// An AvfInfo as read from the fixture's sample file.
std::unique_ptr<AvfInfo> sample_info(const fixture::GlobalSpec &g = {}, const fixture::ScanSpec &s = {}) {
  auto info = new_info();
  std::string err;
  EXPECT_EQ(0, read_file(file_of(g, s), info.get(), &err)) << err;
  return info;
}

struct Written {
  int result = -7;
  Bytes bytes;
  std::string err;
};

Written write_global(AvfInfo *info) {
  fixture::TempFile t;
  Written w;
  {
    fixture::File f = t.open("wb");
    testing::internal::CaptureStderr();
    w.result = write_hdr(info, f.get());
    w.err = testing::internal::GetCapturedStderr();
  }
  w.bytes = t.read();
  return w;
}

Written write_one_scan(AvfInfo *info, int scanno, const char *date, const ScanInfoType *r = nullptr) {
  fixture::TempFile t;
  Written w;
  {
    fixture::File f = t.open("wb");
    testing::internal::CaptureStderr();
    w.result = write_scan(r ? r : &info->stab[0].scan, 1, info, scanno, date, f.get());
    w.err = testing::internal::GetCapturedStderr();
  }
  w.bytes = t.read();
  return w;
}

std::string line_at(const Bytes &b, std::size_t i) {
  if ((i + 1) * 80 > b.size()) return "<past end>";
  return std::string(b.begin() + static_cast<long>(i * 80), b.begin() + static_cast<long>((i + 1) * 80));
}

// Index of the first 80-byte line that begins with `start`, or -1.
long find_line(const Bytes &b, const std::string &start, std::size_t limit) {
  for (std::size_t i = 0; (i + 1) * 80 <= limit; ++i)
    if (line_at(b, i).compare(0, start.size(), start) == 0) return static_cast<long>(i);
  return -1;
}

// ---------------------------------------------------------------------------

TEST(MachineSpec, DescribesThisHost) {
#if defined(__x86_64__) && defined(__linux__)
  MachineSpecType m{};
  GetMachineSpec(&m);
  const int32_t size[] = {1, 2, 4, 8, 4, 8};
  const int32_t align[] = {1, 2, 4, 8, 4, 8};
  for (int i = 0; i < BaseTypes; ++i) {
    EXPECT_EQ(size[i], m.type_size[i]) << i;
    EXPECT_EQ(align[i], m.type_align[i]) << i;
  }
  EXPECT_EQ(1, m.twos_comp);
  EXPECT_EQ(1, m.float_ieee);
  EXPECT_EQ(0, m.big_endian);
#else
  GTEST_SKIP() << "expected values are those of 64-bit x86 Linux";
#endif
}

TEST(FillLine, EightyBytesEndingInNewline) {
  struct Case {
    std::string text, want;
  } cases[] = {
      {"", std::string(79, ' ') + "\n"},
      {"RECL    = 2048", "RECL    = 2048" + std::string(65, ' ') + "\n"},
      {"a\nb\n", "a b " + std::string(75, ' ') + "\n"},
      {std::string(78, 'x'), std::string(78, 'x') + " \n"},
      {std::string(79, 'x'), std::string(79, 'x') + "\n"},
      {std::string(120, 'y'), std::string(79, 'y') + "\n"},
  };
  for (const Case &c : cases) {
    std::vector<char> buf(200, '#');
    std::memcpy(buf.data(), c.text.c_str(), c.text.size() + 1);
    char *next = fill_line(buf.data());
    EXPECT_EQ(buf.data() + 80, next);
    EXPECT_EQ(c.want, std::string(buf.data(), 80)) << c.text;
    if (c.text.size() < 80) {
      EXPECT_EQ('#', buf[80]) << "nothing written past the line";
    }
  }
}

TEST(FillLine, GetlnStopsAtNewlineAndEnd) {
  const std::string text = "first\nsecond line\nlast";
  const char *end = text.data() + text.size();
  char line[8];
  const char *p = getln(line, sizeof line, text.data(), end);
  EXPECT_STREQ("first", line);
  ASSERT_EQ(text.data() + 6, p);
  p = getln(line, sizeof line, p, end);
  EXPECT_STREQ("second ", line); // cut to the buffer, the rest of the line skipped
  ASSERT_EQ(text.data() + 18, p);
  EXPECT_EQ(nullptr, getln(line, sizeof line, p, end));
  EXPECT_STREQ("last", line);
}

TEST(FillLine, CopyTextPrefixesSectionLinesAndDropsIndentedOnes) {
  const std::string src = "{ Corrsys.def\nVERSION = X     \n  indented\n\tTab\n* comment\n} Corrsys\n*  \n"
                          "{" + std::string(90, 'z') + "\nno newline at end";
  std::vector<char> out(20 * 80, '#');
  char *pos = out.data();
  copy_text_ln(src.data(), src.data() + src.size(), &pos, out.data() + out.size());
  const std::vector<std::string> want = {"*{ Corrsys.def", "VERSION = X", "* comment", "*} Corrsys", "*",
                                         "*{" + std::string(77, 'z')};
  ASSERT_EQ(out.data() + 80 * want.size(), pos);
  for (std::size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(fixture::line(want[i]), std::string(out.data() + 80 * i, 80)) << i;

  // No room for a further line: nothing is written past the limit.
  std::vector<char> small(80 + 40, '#');
  pos = small.data();
  copy_text_ln(src.data(), src.data() + src.size(), &pos, small.data() + small.size());
  EXPECT_EQ(small.data() + 80, pos);
  EXPECT_EQ(std::string(40, '#'), std::string(small.data() + 80, 40));
}

// Correlator records compared member by member, except what a stored
// version has no place for: the bytes of unused sampler and baseline slots
// beyond the counts, and antennas 30 and 31 of versions 2 and 3.
void expect_same_corr(const CorrType &a, const CorrType &b, int antennas) {
  auto normal = [antennas](const CorrType &c) {
    auto n = std::make_unique<CorrType>(c);
    for (int i = std::max(0, c.daspar.samplers); i < MAX_SAMPS; ++i) {
      EXPECT_EQ(UNUSED_SLOT, c.sampler[i].dpc) << "sampler " << i;
      n->sampler[i] = {0, 0, 0, UNUSED_SLOT};
    }
    for (int i = std::max(0, c.daspar.baselines); i < MAX_BASE; ++i) {
      EXPECT_EQ(UNUSED_SLOT, c.baseline[i].samp[0].dpc) << "baseline " << i;
      n->baseline[i] = {};
    }
    for (int i = antennas; i < MAX_ANTS; ++i) n->antenna[i] = {};
    return n;
  };
  auto x = normal(a), y = normal(b);
  EXPECT_EQ(0, std::memcmp(x.get(), y.get(), sizeof(CorrType)));
}

// ---------------------------------------------------------------------------
// Global header.

TEST(WriteHdr, LinesOfInitAndAddCorrSections) {
  auto info = sample_info();
  info->recl = 2048;
  Written w = write_global(info.get());
  ASSERT_EQ(0, w.result) << w.err;
  const std::vector<std::string> want = {
      "*{ Init.def",
      "RECL    = 2048",
      "HDR_RECS= " + std::to_string(info->lrecs),
      "REC_FORM= FIXED",
      "OBS_MODE= CORR",
      "VERSION = COR30x2 AVF1.10 DAS2.01 HST03",
      "D_TYPE  =  char short int long float double",
      "D_SIZE  =  1 2 4 4 4 8",
      "D_ALIGN =  1 2 4 4 4 4",
      "INT_REP =  Twos Comp",
      "FL_REP  =  IEEE",
      "BYTE_SEQ=  Little Endian",
      "*} Init",
      "*{ AddCorr.def",
      "ANTENNAS= 4",
      "SAMPLERS= 8",
      "BASELINE= 36",
      "CHANNELS= 16",
      "FLG_OFF = 80",
      "FLG_SIZE= 308",
      "FLGRECOF= 80",
      "FLGRECSZ= 4",
      "FLGANTOF= 84",
      "FLGANTSZ= 4",
      "FLGSMPOF= 88",
      "FLGSMPSZ= 4",
      "FLGBASOF= 92",
      "FLGBASSZ= 8",
      "FLGDATOF= 100",
      "FLGDATSZ= 288",
      "TIME_OFF= 388",
      "TIMESIZE= 8",
      "WT_OFF  = 396",
      "WT_SIZE = 8",
      "PAR_OFF = 404",
      "PAR_SIZE= 128",
      "DATA_OFF= 532",
      "DATASIZE= 4608",
      "DATAFMT = IEEE_FLOAT",
      "*} AddCorr",
      "*{ Corrsys.def",
      "VERSION = COR30x2 AVF1.10 DAS2.01 HST03",
  };
  if (host_byte_order() != LittleEndian) GTEST_SKIP() << "BYTE_SEQ is that of a little-endian host";
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(fixture::line(want[i]), line_at(w.bytes, i + 1)) << i + 1;
  EXPECT_EQ(1, MachineSpec.float_ieee); // refilled by the write
}

TEST(WriteHdr, CorrelatorSectionsPrefixedAndEveryLine80Bytes) {
  auto info = sample_info();
  info->recl = 2048;
  Written w = write_global(info.get());
  ASSERT_EQ(0, w.result) << w.err;
  const long end = find_line(w.bytes, "END_OF_HEADER", w.bytes.size());
  ASSERT_GT(end, 100);
  for (long i = 0; i <= end; ++i) {
    const std::string l = line_at(w.bytes, static_cast<std::size_t>(i));
    EXPECT_EQ('\n', l[79]) << i;
    EXPECT_EQ(79u, l.find('\n')) << "line " << i << " has a newline before column 79: " << l;
    EXPECT_NE('{', l[0]) << i;
    EXPECT_NE('}', l[0]) << i;
    EXPECT_NE(' ', l[0]) << i;
  }
  // The sections in order, with the correlator text's own comment lines.
  const char *sections[] = {"*{ Corrsys.def", "*} Corrsys", "*{ Antenna.def", "*AntId  = Ant",
                            "ANT31   =", "*} Antenna", "*{ Bandnames.def", "BAND03  = LSB-175",
                            "*} Bandnames", "*{ Sampler.def", "*} Sampler", "*{ Baseline.def",
                            "BAS0035 =", "*} Baseline", "*{ Corrsel.def", "*} Corrsel", "END_OF_HEADER"};
  long prev = 0;
  for (const char *s : sections) {
    long at = find_line(w.bytes, s, w.bytes.size());
    EXPECT_GT(at, prev) << s;
    prev = at;
  }
  EXPECT_EQ(fixture::line("END_OF_HEADER"), line_at(w.bytes, static_cast<std::size_t>(end)));
}

// A configuration whose header text takes 12 records of 2048 bytes: the
// sample's 36 baselines and 130 more (baseline lines of the unused slots).
TEST(WriteHdr, HdrLineCountsAndBlockPlacement) {
  auto info = sample_info();
  info->recl = 2048;
  info->keep_version = 0; // the reference record, 31152 bytes: 16 records
  info->corr.daspar.baselines = 166;
  info->lrecs = 1000;     // shrinks to 28
  Written w = write_global(info.get());
  ASSERT_EQ(0, w.result) << w.err;
  EXPECT_EQ("", w.err);
  EXPECT_EQ(fixture::line("HDR 2048         28      16"), line_at(w.bytes, 0));
  EXPECT_EQ(fixture::line("HDR_RECS= 28"), line_at(w.bytes, 3));
  EXPECT_EQ(28, info->lrecs);
  EXPECT_EQ(16, info->lbrecs);
  ASSERT_EQ(28u * 2048, w.bytes.size());

  // 12 text records: NUL filling after END_OF_HEADER, a newline last.
  const long end = find_line(w.bytes, "END_OF_HEADER", w.bytes.size());
  const std::size_t text_end = static_cast<std::size_t>(end + 1) * 80;
  ASSERT_GT(text_end, 11u * 2048);
  ASSERT_LT(text_end, 12u * 2048);
  for (std::size_t i = text_end; i < 12 * 2048 - 1; ++i) ASSERT_EQ(0, w.bytes[i]) << i;
  EXPECT_EQ('\n', w.bytes[12 * 2048 - 1]);
  // The correlator record at record 12, zero bytes after it.
  EXPECT_EQ(0, std::memcmp(w.bytes.data() + 12 * 2048, &info->corr, sizeof(CorrType)));
  for (std::size_t i = 12 * 2048 + sizeof(CorrType); i < w.bytes.size(); ++i) ASSERT_EQ(0, w.bytes[i]) << i;

  // Written again with the final count on entry: the same bytes.
  Written again = write_global(info.get());
  EXPECT_EQ(w.bytes, again.bytes);
}

TEST(WriteHdr, TextEndingOnRecordBoundaryGetsNoFilling) {
  auto info = sample_info();
  info->recl = 80; // every text ends on a record boundary
  Written w = write_global(info.get());
  ASSERT_EQ(0, w.result) << w.err;
  const long end = find_line(w.bytes, "END_OF_HEADER", w.bytes.size());
  ASSERT_GT(end, 0);
  const int t = static_cast<int>(end) + 1;
  const int b = 390; // 31152 / 80 rounded up
  EXPECT_EQ(t + b, info->lrecs);
  EXPECT_EQ(b, info->lbrecs);
  ASSERT_EQ(static_cast<std::size_t>(t + b) * 80, w.bytes.size());
  // The last text byte is END_OF_HEADER's own newline; the block follows.
  EXPECT_EQ(fixture::line("END_OF_HEADER"), line_at(w.bytes, static_cast<std::size_t>(t - 1)));
  EXPECT_EQ(0, std::memcmp(w.bytes.data() + t * 80 + 8, "COR30x2 AVF1.10 DAS2.01 HST03", 30));

  // And the file reads back.
  Bytes f = w.bytes;
  fixture::append(f, fixture::scan_header({}, Order::Little, 80));
  auto again = new_info();
  std::string err;
  ASSERT_EQ(0, read_file(f, again.get(), &err)) << err;
  EXPECT_EQ(t + b, again->lrecs);
  expect_same_corr(again->corr, info->corr, MAX_ANTS);
}

TEST(WriteHdr, RecordLengthMustBePositive) {
  for (int recl : {0, -2048}) {
    auto info = sample_info();
    info->recl = recl;
    info->lrecs = 5;
    Written w = write_global(info.get());
    EXPECT_EQ(1, w.result);
    EXPECT_EQ("Bad RECL " + std::to_string(recl) + "\n", w.err);
    EXPECT_TRUE(w.bytes.empty());
    EXPECT_EQ(5, info->lrecs);
  }
}

// ---------------------------------------------------------------------------
// Scan header.

TEST(WriteScan, WholeHeaderText) {
  auto info = sample_info();
  info->recl = 4096;
  info->srecs = 1000; // shrinks to 2
  Written w = write_one_scan(info.get(), 7, "Mon Sep 17 00:02:30.5 2001");
  ASSERT_EQ(0, w.result) << w.err;
  EXPECT_EQ(2, info->srecs);
  EXPECT_EQ(1, info->sbrecs);
  ASSERT_EQ(2u * 4096, w.bytes.size());
  const std::vector<std::string> want = {
      "SCAN0007         2       1",
      "HDR_RECS= 2",
      "*{ SubArray0.def",
      "ANTMASK = 0000ffff",
      "BANDMASK= 0003",
      "SEQ     = 42",
      "PROJECT = pulsar timing",
      "CODE    = 31_042",
      "OBJECT  = 3C286",
      "RA-DATE = 202.786952",
      "DEC-DATE= 30.510003",
      "MJD_SRC = 51544.500000",
      "DRA/DT  = 0.000006",
      "DDEC/DT = -0.000011",
      "F_STEP  = 62500.000000",
      "RF      = 325900000  327100000",
      "FIRST_LO= 305000000 306000000",
      "BB_LO   = 70000000 71000000",
      "NET_SIGN= 1 -1 1 -1",
      "*} SubArray0",
      "*{ ExtraScan.def",
      "INTEG   = 2.097152",
      "DATE-OBS= Mon Sep 17 00:02:30.5 2001",
      "MJD_REF = 60000.500000",
      "BAD_RECS=",
      "BAD_ANTS=",
      "BAD_SAMP=",
      "BAD_BASE=",
      "BAD_CHAN=",
      "*} ExtraScan",
      "END_OF_HEADER",
  };
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(fixture::line(want[i]), line_at(w.bytes, i)) << i;
  EXPECT_EQ("BAD_RECS= ", line_at(w.bytes, 24).substr(0, 10));
  for (std::size_t i = want.size() * 80; i < 4095; ++i) ASSERT_EQ(0, w.bytes[i]) << i;
  EXPECT_EQ('\n', w.bytes[4095]);
  EXPECT_EQ(0, std::memcmp(w.bytes.data() + 4096, &info->stab[0].scan, sizeof(ScanInfoType)));
}

TEST(WriteScan, ScanNumbersKeepTheLineAt80Bytes) {
  struct Case {
    int scan;
    const char *start;
  } cases[] = {{0, "SCAN0000"}, {7, "SCAN0007"}, {9999, "SCAN9999"}, {12345, "SCAN2345"},
               {INT_MAX, "SCAN3647"}, {-3, "SCAN0000"}};
  for (const Case &c : cases) {
    auto info = sample_info();
    info->recl = 4096;
    info->srecs = 2;
    Written w = write_one_scan(info.get(), c.scan, "Mon Sep 17 00:02:30.5 2001");
    ASSERT_EQ(0, w.result) << w.err;
    EXPECT_EQ(fixture::line(std::string(c.start) + "         2       1"), line_at(w.bytes, 0)) << c.scan;
    EXPECT_EQ(fixture::line("HDR_RECS= 2"), line_at(w.bytes, 1)) << c.scan;
  }
}

// A file whose version text lacks "AVF" stores the first scan record
// version (304 bytes) when its first scan is dated before 15 September 2001.
TEST(WriteScan, ScanBlockSizeByDateOfFirstScan) {
  struct Case {
    const char *date;
    int keep_version;
    const char *old_version;
    int block;
  } cases[] = {
      {"Fri Sep 14 23:59:59 2001", 1, "CORR30 DAS1.00", 304},
      {"Sat Sep 15 00:00:00 2001", 1, "CORR30 DAS1.00", 320},
      {"Fri Sep 14 23:59:59 2001", 1, "CORR30 AVF1.00", 320},
      {"Fri Sep 14 23:59:59 2001", 0, "CORR30 DAS1.00", 320},
      {"Mon Jan 01 00:00:00 2147483647", 1, "CORR30 DAS1.00", 320}, // no overflow of the date key
  };
  for (const Case &c : cases) {
    auto info = sample_info();
    info->recl = 304; // 304 bytes: one record, 320: two
    info->keep_version = c.keep_version;
    std::strcpy(info->lhdr.old_version, c.old_version);
    std::strcpy(info->stab[0].shdr.date_obs, c.date);
    ASSERT_EQ(0, decompose_date(&info->stab[0].shdr));
    const ScanInfoType r = info->stab[0].scan;
    Written w = write_one_scan(info.get(), 1, "Sat Sep 15 00:00:00 2001", &r);
    ASSERT_EQ(0, w.result) << w.err;
    const int b = c.block == 304 ? 1 : 2;
    EXPECT_EQ(b, info->sbrecs) << c.date;
    const std::size_t at = static_cast<std::size_t>(info->srecs - b) * 304;
    ASSERT_EQ(static_cast<std::size_t>(info->srecs) * 304, w.bytes.size());
    const unsigned char *blk = w.bytes.data() + at;
    const auto *rb = reinterpret_cast<const unsigned char *>(&r);
    if (c.block == 304) {
      // status, t, proj; object to dec_app; dra to qual.
      EXPECT_EQ(0, std::memcmp(blk, rb, 160)) << c.date;
      EXPECT_EQ(0, std::memcmp(blk + 160, rb + 176, 144)) << c.date;
    } else {
      EXPECT_EQ(0, std::memcmp(blk, rb, 320)) << c.date;
      for (std::size_t i = 320; i < 608; ++i) ASSERT_EQ(0, blk[i]) << i;
    }
  }
}

// ---------------------------------------------------------------------------
// Failures.

TEST(HdrWrite, WriteFailuresAreReported) {
  auto info = sample_info();
  const int lrecs = info->lrecs, srecs = info->srecs;
  fixture::File full(std::fopen("/dev/full", "wb"));
  ASSERT_TRUE(full);
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, write_hdr(info.get(), full.get()));
  EXPECT_EQ("Write Failure\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ(lrecs, info->lrecs);

  fixture::TempFile t(Bytes(10, 0));
  fixture::File ro = t.open("rb");
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, write_scan(&info->stab[0].scan, 1, info.get(), 0, "Mon Sep 17 00:02:30.5 2001", ro.get()));
  EXPECT_EQ("Write Failure\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ(srecs, info->srecs);

  info->recl = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, write_scan(&info->stab[0].scan, 1, info.get(), 0, "x", ro.get()));
  EXPECT_EQ("Bad RECL 0\n", testing::internal::GetCapturedStderr());
}

TEST(HdrWriteDeathTest, UnallocatableBufferEndsTheProgram) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves address space of its own";
#else
  auto info = sample_info();
  info->recl = INT_MAX; // a buffer of several GiB
  auto run = [&](bool scan) {
    rlimit lim{512L << 20, 512L << 20};
    setrlimit(RLIMIT_AS, &lim);
    std::FILE *out = std::fopen("/dev/null", "wb");
    if (scan)
      write_scan(&info->stab[0].scan, 1, info.get(), 0, "x", out);
    else
      write_hdr(info.get(), out);
    std::exit(0);
  };
  EXPECT_EXIT(run(false), testing::ExitedWithCode(255), "^Malloc Failure\n$");
  EXPECT_EXIT(run(true), testing::ExitedWithCode(255), "^Malloc Failure\n$");
#endif
}

// ---------------------------------------------------------------------------
// Round trip: a header read, written and read again describes the same file.

void expect_same(const AvfInfo &a, const AvfInfo &b, int antennas, const std::string &what) {
  SCOPED_TRACE(what);
  const AvfHdr &x = a.lhdr, &y = b.lhdr;
  EXPECT_EQ(a.recl, b.recl);
  EXPECT_EQ(a.keep_version, b.keep_version);
  EXPECT_STREQ(x.rec_form, y.rec_form);
  EXPECT_STREQ(x.obs_mode, y.obs_mode);
  EXPECT_STREQ(x.version, y.version);
  EXPECT_STREQ(x.old_version, y.old_version);
  EXPECT_STREQ(x.data_fmt, y.data_fmt);
  const int xi[] = {x.flg_off,  x.flg_rec_off,  x.flg_ant_off,  x.flg_smp_off,  x.flg_bas_off,  x.flg_dat_off,
                    x.flg_size, x.flg_rec_size, x.flg_ant_size, x.flg_smp_size, x.flg_bas_size, x.flg_dat_size,
                    x.time_off, x.wt_off,       x.par_off,      x.data_off,     x.time_size,    x.wt_size,
                    x.par_size, x.data_size};
  const int yi[] = {y.flg_off,  y.flg_rec_off,  y.flg_ant_off,  y.flg_smp_off,  y.flg_bas_off,  y.flg_dat_off,
                    y.flg_size, y.flg_rec_size, y.flg_ant_size, y.flg_smp_size, y.flg_bas_size, y.flg_dat_size,
                    y.time_off, y.wt_off,       y.par_off,      y.data_off,     y.time_size,    y.wt_size,
                    y.par_size, y.data_size};
  for (std::size_t i = 0; i < std::size(xi); ++i) EXPECT_EQ(xi[i], yi[i]) << "layout value " << i;
  const VisInfo &u = x.vinfo, &v = y.vinfo;
  EXPECT_EQ(u.antennas, v.antennas);
  EXPECT_EQ(u.samplers, v.samplers);
  EXPECT_EQ(u.baselines, v.baselines);
  EXPECT_EQ(u.channels, v.channels);
  EXPECT_STREQ(u.corrlite.version, v.corrlite.version);
  EXPECT_STREQ(u.corrlite.old_version, v.corrlite.old_version);
  EXPECT_EQ(u.corrlite.clock, v.corrlite.clock);
  EXPECT_EQ(u.corrlite.statime, v.corrlite.statime);
  EXPECT_EQ(u.corrlite.t_unit, v.corrlite.t_unit);
  EXPECT_EQ(u.corrlite.f_enable, v.corrlite.f_enable);
  EXPECT_EQ(u.corrlite.x_enable, v.corrlite.x_enable);
  EXPECT_EQ(u.corrlite.chan_max, v.corrlite.chan_max);
  EXPECT_EQ(0, std::memcmp(u.antenna, v.antenna, sizeof u.antenna[0] * static_cast<std::size_t>(antennas)));
  for (int i = 0; i < MAX_SAMPS; ++i) {
    EXPECT_STREQ(u.samp[i].ant, v.samp[i].ant) << i;
    EXPECT_STREQ(u.samp[i].band, v.samp[i].band) << i;
    EXPECT_EQ(u.samp[i].fft_id, v.samp[i].fft_id) << i;
  }
  for (int i = 0; i < u.baselines && i < MAX_BASE; ++i) {
    EXPECT_EQ(0, std::memcmp(u.base[i].ant, v.base[i].ant, sizeof u.base[i].ant)) << i;
    EXPECT_EQ(0, std::memcmp(u.base[i].samp, v.base[i].samp, sizeof u.base[i].samp)) << i;
  }
  EXPECT_EQ(u.mode, v.mode);
  EXPECT_EQ(u.avf, v.avf);
  EXPECT_EQ(0, std::memcmp(u.chan_num, v.chan_num, sizeof u.chan_num));
  EXPECT_EQ(0, std::memcmp(u.samp_num, v.samp_num, sizeof u.samp_num));
  EXPECT_EQ(0, std::memcmp(u.x_base_num, v.x_base_num, sizeof u.x_base_num));
  expect_same_corr(a.corr, b.corr, antennas);

  const ScanHdr &s = a.stab[0].shdr, &t = b.stab[0].shdr;
  EXPECT_EQ(s.antmask, t.antmask);
  EXPECT_EQ(s.bandmask, t.bandmask);
  EXPECT_EQ(s.seq, t.seq);
  EXPECT_STREQ(s.project, t.project);
  EXPECT_STREQ(s.code, t.code);
  EXPECT_STREQ(s.object, t.object);
  EXPECT_EQ(0, std::memcmp(s.rf, t.rf, sizeof s.rf));
  EXPECT_EQ(0, std::memcmp(s.first_lo, t.first_lo, sizeof s.first_lo));
  EXPECT_EQ(0, std::memcmp(s.bb_lo, t.bb_lo, sizeof s.bb_lo));
  EXPECT_EQ(0, std::memcmp(s.net_sign, t.net_sign, sizeof s.net_sign));
  EXPECT_STREQ(s.date_obs, t.date_obs);
  EXPECT_EQ(s.ist, t.ist);
  EXPECT_EQ(0, std::memcmp(&a.stab[0].scan, &b.stab[0].scan, sizeof(ScanInfoType)));
}

TEST(HdrWrite, ReadWriteReadRoundTrip) {
  struct Case {
    int corr_version;
    const char *version;
    int text_antennas;
    const char *date;
    bool scan_v1;
  } cases[] = {
      {2, "CORR30 AVF1.00 DAS1.00", 30, "Mon Sep 17 00:02:30.5 2001", false},
      {2, "CORR30 DAS1.00", 30, "Fri Sep 14 23:59:59 2001", true},
      {3, "COR30x2 AVF1.10 DAS2.01 HST00", 30, "Mon Sep 17 00:02:30.5 2001", false},
      {4, "COR30x2 AVF1.10 DAS2.01 HST03", 32, "Mon Sep 17 00:02:30.5 2001", false},
      {0, "AVF1.10 DAS2.01 HST03", 32, "Mon Sep 17 00:02:30.5 2001", false},
  };
  for (const Case &c : cases) {
    for (Order o : {Order::Little, Order::Big}) {
      const std::string what = std::string(c.version) + (o == Order::Big ? " big" : " little") + " " + c.date;
      fixture::GlobalSpec g;
      g.order = o;
      g.keys.byte_seq = o == Order::Big ? "Big Endian" : "Little Endian";
      g.corr_version = c.corr_version;
      g.keys.version = g.corr.version = c.version;
      g.corr.text_antennas = c.text_antennas;
      fixture::ScanSpec s;
      s.date_obs = c.date;
      s.version1 = c.scan_v1;
      s.mjd_ref = g.corr.mjd_ref;
      auto first = new_info();
      std::string err0;
      ASSERT_EQ(0, read_file(file_of(g, s), first.get(), &err0)) << what << err0;

      fixture::TempFile out;
      {
        fixture::File f = out.open("wb");
        testing::internal::CaptureStderr();
        ASSERT_EQ(0, write_hdr(first.get(), f.get())) << what;
        ASSERT_EQ(0, write_scan(&first->stab[0].scan, 1, first.get(), 0, first->stab[0].shdr.date_obs, f.get()));
        EXPECT_EQ("", testing::internal::GetCapturedStderr()) << what;
        ASSERT_EQ(0, std::fclose(f.release()));
      }
      Bytes written = out.read();
      auto second = new_info();
      std::string err;
      ASSERT_EQ(0, read_file(written, second.get(), &err)) << what << err;
      expect_same(*first, *second, c.text_antennas, what);
      EXPECT_EQ(host_byte_order(), second->data_byte_order) << what;
      EXPECT_EQ(first->lrecs, second->lrecs) << what;
      EXPECT_EQ(first->lbrecs, second->lbrecs) << what;
      EXPECT_EQ(first->srecs, second->srecs) << what;
      EXPECT_EQ(first->sbrecs, second->sbrecs) << what;
      const std::size_t recl = static_cast<std::size_t>(first->recl);
      ASSERT_EQ((first->lrecs + first->srecs) * recl, written.size()) << what;

      // The correlator block takes the size of the arrangement it was read
      // in (its record count and the zero bytes after it); the scan block is
      // stored in this host's byte order.
      const std::size_t sizes[] = {31152, 0, 16192, 29368, 31152};
      const std::size_t corr_size = sizes[c.corr_version];
      const std::size_t corr_at = static_cast<std::size_t>(first->lrecs - first->lbrecs) * recl;
      EXPECT_EQ((corr_size + recl - 1) / recl, static_cast<std::size_t>(first->lbrecs)) << what;
      for (std::size_t i = corr_at + corr_size; i < static_cast<std::size_t>(first->lrecs) * recl; ++i)
        ASSERT_EQ(0, written[i]) << what << " " << i;
      if (host_byte_order() != LittleEndian) continue;
      Bytes scan = fixture::scan_block(s.scan, Order::Little);
      if (c.scan_v1) scan.erase(scan.begin() + 160, scan.begin() + 176); // no ra_mean, dec_mean
      const std::size_t scan_at = (static_cast<std::size_t>(first->lrecs + first->srecs - first->sbrecs)) * recl;
      EXPECT_EQ(scan, Bytes(written.begin() + static_cast<long>(scan_at),
                            written.begin() + static_cast<long>(scan_at + scan.size())))
          << what;
    }
  }
}

} // namespace
