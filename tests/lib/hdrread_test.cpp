// Reading global and scan headers from files built byte by byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "avf.h"
#include "fixture.h"
#include "tempfile.h"

using fixture::Bytes;
using fixture::Order;

namespace {

struct Reader {
  std::unique_ptr<AvfInfo> info = std::make_unique<AvfInfo>();
  std::string err;

  Reader() {
    info->local_byte_order = host_byte_order();
    info->stab = std::make_unique<ScanHdrTab[]>(4);
    info->scans = 4;
  }
  int read_global(const Bytes &file) {
    fixture::TempFile t(file);
    fixture::File f = t.open();
    testing::internal::CaptureStderr();
    int r = get_avf_hdr(f.get(), info.get());
    err = testing::internal::GetCapturedStderr();
    return r;
  }
  // Reads the global header, then the scan header that follows it.
  int read_scan(const Bytes &file, int nscan = 0) {
    fixture::TempFile t(file);
    fixture::File f = t.open();
    testing::internal::CaptureStderr();
    int r = get_avf_hdr(f.get(), info.get());
    if (r == 0) {
      fseeko(f.get(), static_cast<off_t>(info->lrecs) * info->recl, SEEK_SET);
      r = get_scan_hdr(f.get(), info.get(), nscan);
    }
    err = testing::internal::GetCapturedStderr();
    return r;
  }
};

Bytes file_of(const fixture::GlobalSpec &g, const fixture::ScanSpec &s = {}) {
  Bytes f = fixture::global_header(g);
  fixture::append(f, fixture::scan_header(s, g.order, g.keys.layout.recl()));
  return f;
}

TEST(GetAvfHdr, LittleAndBigEndianFiles) {
  for (Order o : {Order::Little, Order::Big}) {
    fixture::GlobalSpec g;
    g.order = o;
    g.keys.byte_seq = o == Order::Big ? "Big Endian" : "Little Endian";
    Reader r;
    ASSERT_EQ(0, r.read_global(file_of(g))) << r.err;
    const AvfInfo &i = *r.info;
    EXPECT_EQ(o == Order::Big ? BigEndian : LittleEndian, i.data_byte_order);
    EXPECT_EQ(g.keys.layout.recl(), i.recl);
    EXPECT_EQ(g.text_recs() + g.bin_recs(), i.lrecs);
    EXPECT_EQ(g.bin_recs(), i.lbrecs);
    EXPECT_EQ(fixture::scan_header_recs({}, i.recl), i.srecs);
    EXPECT_EQ(1, i.sbrecs);
    EXPECT_EQ(1, i.keep_version);
    EXPECT_EQ(LittleEndian, i.corr.endian);
    EXPECT_EQ(60000.5, i.corr.daspar.mjd_ref);
    EXPECT_EQ(36, i.corr.daspar.baselines);
    EXPECT_EQ(131072, i.corr.corrpar.statime);
    EXPECT_EQ(-601.5, i.corr.antenna[2].by);
    EXPECT_EQ(36, i.lhdr.vinfo.baselines);
    EXPECT_STREQ("C01", i.lhdr.vinfo.antenna[1].name);
    EXPECT_EQ(35, i.lhdr.vinfo.s_base_num[7]);
  }
}

TEST(GetAvfHdr, RecordVersionsAndAntennaCounts) {
  struct Case {
    int corr_version;
    const char *init_version;
    int text_antennas;
    const char *version_after;
  } cases[] = {
      {2, "CORR30 AVF1.00 DAS1.00", 30, "CORR30  VF1.00 DAS1.00"}, // first 8 characters replaced
      {3, "COR30x2 AVF1.10 DAS2.01 HST00", 30, "COR30x2 AVF1.10 DAS2.01 HST00"},
      {4, "COR30x2 AVF1.10 DAS2.01 HST03", 32, "COR30x2 AVF1.10 DAS2.01 HST03"},
      {0, "AVF1.10 DAS2.01 HST03", 32, "AVF1.10 DAS2.01 HST03"},
  };
  for (const Case &c : cases) {
    fixture::GlobalSpec g;
    g.corr_version = c.corr_version;
    g.keys.version = c.init_version;
    g.corr.version = c.init_version;
    g.corr.text_antennas = c.text_antennas;
    Reader r;
    ASSERT_EQ(0, r.read_global(file_of(g))) << c.init_version << r.err;
    EXPECT_STREQ(c.version_after, r.info->lhdr.version);
    EXPECT_STREQ(c.init_version, r.info->lhdr.old_version);
    EXPECT_STREQ(c.init_version, r.info->lhdr.vinfo.corrlite.old_version);
    EXPECT_EQ(60000.5, r.info->corr.daspar.mjd_ref) << c.init_version;
    EXPECT_EQ(8, r.info->corr.daspar.samplers);
    EXPECT_EQ(241, r.info->corr.daspar.chan_num[15]);
    EXPECT_EQ(c.corr_version == 2 ? 0.0 : -0.2, r.info->corr.daspar.dut1) << c.init_version;
  }
}

TEST(GetAvfHdr, StructuralFailures) {
  fixture::GlobalSpec g;
  const int recl = g.keys.layout.recl();
  Bytes good = file_of(g);
  Bytes header_only = fixture::global_header(g);
  Bytes no_scan = fixture::global_header(g);
  fixture::append(no_scan, fixture::data_record(g.keys.layout, 0, 0, 1.0, Order::Little));

  auto with_hdr_line = [&](const std::string &hdr) {
    Bytes b = good;
    std::string l = fixture::line(hdr);
    std::memcpy(b.data(), l.data(), l.size());
    return b;
  };
  struct Case {
    const char *name;
    Bytes file;
    int result;
    std::string err;
  } cases[] = {
      {"empty", {}, 1, "GlobalHdrFmtErr\n"},
      {"no HDR", with_hdr_line("HDX 2048 3 1"), 1, "No HDR keyword found!\n"},
      {"header only", header_only, 1, "File too short\n"},
      {"b >= h", with_hdr_line("HDR " + std::to_string(recl) + " 16 16"), 1, "Total HdrRecs (16) <= BinHdrRecs (16)!\n"},
      {"huge count", with_hdr_line("HDR " + std::to_string(recl) + " 2147483647 1"), 1, "File too short\n"},
      {"huge recl", with_hdr_line("HDR 2147483647 2147483647 1"), 1, "File too short\n"},
      {"negative recl", with_hdr_line("HDR -2048 3 1"), 1, "File too short\n"},
      {"no binary block", with_hdr_line("HDR 2048 3 0"), 1, "File too short\n"},
      {"short HDR line", with_hdr_line("HDR 2048 3"), 1, "FmtErr in HDR line\nFile too short\n"},
      {"no SCAN", no_scan, 1, "No SCAN keyword found : GET_AVF_HDR!\n"},
  };
  for (const Case &c : cases) {
    Reader r;
    EXPECT_EQ(c.result, r.read_global(c.file)) << c.name;
    EXPECT_EQ(c.err, r.err) << c.name;
  }
}

TEST(GetAvfHdr, KeywordAndSectionFailures) {
  fixture::GlobalSpec g;
  g.keys.with_datafmt = false;
  Reader r;
  EXPECT_EQ(-1, r.read_global(file_of(g)));
  EXPECT_EQ("Too few keywords found\n", r.err);

  fixture::GlobalSpec h;
  h.corr.text_antennas = 31;
  Reader s;
  EXPECT_EQ(-1, s.read_global(file_of(h)));
  EXPECT_EQ("WARNING: only 31 antenna pars found\n", s.err);
}

// A correlator record whose channel list holds no channel (a damaged count
// or channel numbers) could only be written into a header that cannot be
// read: it is refused, whatever the header text says.
TEST(GetAvfHdr, CorrelatorRecordWithoutChannels) {
  const struct {
    std::vector<int16_t> chans;
    int result;
  } cases[] = {{{}, -1}, {{2000, 3000, 1024}, -1}, {{-5, -6}, -1}, {{2000, 5}, 0}, {{1, 17, 33}, 0}};
  for (const auto &c : cases) {
    fixture::GlobalSpec g;
    g.chan_list = " 1:241:16";
    g.corr.chan_num = c.chans;
    Reader r;
    EXPECT_EQ(c.result, r.read_global(file_of(g))) << c.chans.size();
    EXPECT_EQ(c.result ? "No channels in the correlator record\n" : "", r.err);
  }
}

TEST(GetScanHdr, KeywordsDateAndRecord) {
  for (Order o : {Order::Little, Order::Big}) {
    fixture::GlobalSpec g;
    g.order = o;
    g.keys.byte_seq = o == Order::Big ? "Big Endian" : "Little Endian";
    Reader r;
    ASSERT_EQ(0, r.read_scan(file_of(g))) << r.err;
    const ScanHdrTab &e = r.info->stab[0];
    EXPECT_EQ(0xffffu, e.shdr.antmask);
    EXPECT_EQ(42, e.shdr.seq);
    EXPECT_STREQ("3C286", e.shdr.object);
    EXPECT_EQ(325900000.0, e.shdr.rf[0]);
    EXPECT_EQ(327100000.0, e.shdr.rf[1]);
    EXPECT_EQ(71000000.0, e.shdr.bb_lo[1]);
    EXPECT_EQ(-1, e.shdr.net_sign[3]);
    EXPECT_EQ(2001, e.shdr.year);
    EXPECT_EQ(8, e.shdr.month);
    EXPECT_DOUBLE_EQ(150.5, e.shdr.ist);
    EXPECT_EQ(1.0f, e.scan.t);
    EXPECT_EQ(0xdeadbeefu, e.scan.source.antmask);
    EXPECT_EQ(3.5393, e.scan.source.ra_mean);
    EXPECT_EQ(62.5e3, e.scan.source.ch_width);
  }
}

TEST(GetScanHdr, NetSignDefaultAndMissingKeywords) {
  fixture::GlobalSpec g;
  fixture::ScanSpec s;
  s.with_net_sign = false;
  Reader r;
  ASSERT_EQ(0, r.read_scan(file_of(g, s))) << r.err;
  for (int k = 0; k < 4; ++k) EXPECT_EQ(1, r.info->stab[0].shdr.net_sign[k]);

  s.omit_object = true;
  Reader t;
  EXPECT_EQ(1, t.read_scan(file_of(g, s)));
  EXPECT_EQ("Too few keywords found\n", t.err);

  fixture::ScanSpec bad;
  bad.date_obs = "Mon 09 17 00:02:30 2001";
  Reader u;
  EXPECT_EQ(-1, u.read_scan(file_of(g, bad)));
  EXPECT_EQ("Bad Date Mon 09 17 00:02:30 2001\n", u.err);
}

TEST(GetScanHdr, ShortAndMisplacedHeaders) {
  fixture::GlobalSpec g;
  Bytes f = file_of(g);
  Bytes cut(f.begin(), f.end() - 10);
  Reader r;
  EXPECT_EQ(1, r.read_scan(cut));
  EXPECT_EQ("File too short\n", r.err);

  // A scan header that claims far more records than the file holds.
  fixture::ScanSpec s;
  s.srecs = 100000000;
  Reader t;
  Bytes big = fixture::global_header(g);
  fixture::append(big, fixture::scan_header(fixture::ScanSpec{}, Order::Little, g.keys.layout.recl()));
  std::string l = fixture::scan_line(0, 100000000, 1);
  std::memcpy(big.data() + static_cast<std::size_t>(g.text_recs() + g.bin_recs()) * g.keys.layout.recl(), l.data(), l.size());
  EXPECT_EQ(1, t.read_scan(big));
  EXPECT_EQ("File too short\n", t.err);
}

// A scan header one record short (its scan record lost) reads the record
// after it as its scan record: a data record or the next header is refused.
TEST(GetScanHdr, HeaderThatLostItsScanRecord) {
  fixture::GlobalSpec g;
  const int recl = g.keys.layout.recl();
  Bytes header = fixture::scan_header(fixture::ScanSpec{}, g.order, recl);
  header.resize(header.size() - static_cast<std::size_t>(recl));
  const Bytes data = fixture::data_record(g.keys.layout, 0, 0, 0.0, g.order);
  fixture::ScanSpec next;
  next.number = 1;
  for (const Bytes &after : {data, fixture::scan_header(next, g.order, recl)}) {
    Bytes f = fixture::global_header(g);
    fixture::append(f, header);
    fixture::append(f, after);
    fixture::append(f, data);
    Reader r;
    EXPECT_EQ(1, r.read_scan(f));
    EXPECT_EQ("No scan record found :GET_SCAN_HDR\n", r.err);
  }
}

TEST(DecomposeDate, Cases) {
  struct Case {
    const char *date;
    int result, year, month, day;
    double ist;
  } cases[] = {
      {"Mon Sep 17 00:02:30.5 2001", 0, 2001, 8, 17, 150.5},
      {"Mon Sept 17 00:02:30.5 2001", 0, 2001, 8, 17, 150.5},
      {"Sat Jan 01 23:59:59 2000", 0, 2000, 0, 1, 86399.0},
      {"Tue Dec 31 12:00:00 2030", 0, 2030, 11, 31, 43200.0},
      {"Mon 09 17 00:02:30.5 2001", -1, 7, 7, 7, 7.0},
      {"Mon Se 17 00:02:30.5 2001", -1, 7, 7, 7, 7.0},
      {"", -1, 7, 7, 7, 7.0},
  };
  for (const Case &c : cases) {
    ScanHdr h{};
    h.year = h.month = h.day = 7;
    h.ist = 7.0;
    std::strcpy(h.date_obs, c.date);
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.result, decompose_date(&h)) << c.date;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(c.result ? std::string("Bad Date ") + c.date + "\n" : "", err);
    EXPECT_EQ(c.year, h.year) << c.date;
    EXPECT_EQ(c.month, h.month) << c.date;
    EXPECT_EQ(c.day, h.day) << c.date;
    EXPECT_DOUBLE_EQ(c.ist, h.ist) << c.date;
  }
}

// Files whose version text lacks "AVF" store the first scan record version
// before 15 September 2001.
TEST(ScanVersions, FirstVersionBeforeTheThresholdDate) {
  fixture::GlobalSpec g;
  g.corr_version = 2;
  g.keys.version = g.corr.version = "CORR30 DAS1.00";
  g.corr.text_antennas = 30;
  struct Case {
    const char *date;
    bool version1;
  } cases[] = {{"Fri Sep 14 23:59:59 2001", true}, {"Sat Sep 15 00:00:00 2001", false}};
  for (const Case &c : cases) {
    fixture::ScanSpec s;
    s.date_obs = c.date;
    s.version1 = c.version1;
    Reader r;
    ASSERT_EQ(0, r.read_scan(file_of(g, s))) << r.err;
    const SourceParType &src = r.info->stab[0].scan.source;
    EXPECT_EQ(c.version1 ? 3.5392 : 3.5393, src.ra_mean) << c.date;
    EXPECT_EQ(c.version1 ? 0.5324 : 0.5325, src.dec_mean) << c.date;
    EXPECT_EQ(1.0e-7, src.dra) << c.date;
    EXPECT_EQ(62.5e3, src.ch_width);
    EXPECT_EQ(-1, src.net_sign[1]);
    EXPECT_EQ(9, src.qual);
    EXPECT_STREQ("3C286", src.object);
  }
}

TEST(ScanVersions, SecondToFirstAndBackLosesOnlyTheMeanPosition) {
  fixture::ScanValues v = fixture::sample_scan();
  Bytes b = fixture::scan_block(v, Order::Little);
  ScanInfoType scan;
  std::memcpy(&scan, b.data(), sizeof scan);
  ScanInfoType scan1{};
  scan2_to_scan1(&scan, &scan1);
  // The stored first version: 88 bytes of the record, then 216 of the source.
  ScanHdrTab e{};
  std::memcpy(&e.scan, &scan, 88);
  std::memcpy(&e.scan.source, &scan1.source, 216);
  std::strcpy(e.shdr.date_obs, "Fri Sep 14 23:59:59 2001");
  decompose_date(&e.shdr);
  scan1_to_scan2(&e, "CORR30");
  ScanInfoType want = scan;
  want.source.ra_mean = scan.source.ra_app;
  want.source.dec_mean = scan.source.dec_app;
  EXPECT_EQ(0, std::memcmp(&want, &e.scan, sizeof want));

  ScanHdrTab late = e;
  std::strcpy(late.shdr.date_obs, "Fri Sep 14 23:59:59 2001");
  scan1_to_scan2(&late, "CORR30 AVF1.00"); // "AVF": left unchanged
  EXPECT_EQ(0, std::memcmp(&e.scan, &late.scan, sizeof late.scan));
}

} // namespace
