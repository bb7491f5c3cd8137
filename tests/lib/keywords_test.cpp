// Keyword tables and the keyword line parser.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "avf.h"
#include "fixture.h"

using fixture::key_line;
using fixture::line;

namespace {

constexpr const char *INIT = "*{ Init.def";
constexpr const char *ADDCORR_END = "*} AddCorr";

struct GlobalParse {
  std::unique_ptr<AvfHdr> hdr = std::make_unique<AvfHdr>();
  KeyType keys[MAX_KEYS];
  int nkey = set_avf_keys(hdr.get(), keys);

  int parse(const std::string &text, const char *start = INIT, const char *end = ADDCORR_END) {
    return parse_ascii_hdr(nkey, keys, text.data(), text.size(), start, end);
  }
  int parse(const fixture::Bytes &b, const char *start = INIT, const char *end = ADDCORR_END) {
    return parse_ascii_hdr(nkey, keys, reinterpret_cast<const char *>(b.data()), b.size(), start, end);
  }
};

struct ScanParse {
  std::unique_ptr<ScanHdr> shdr = std::make_unique<ScanHdr>();
  XScanPar x{};
  KeyType keys[MAX_KEYS];
  int nkey = set_scan_keys(shdr.get(), keys, &x);

  int parse(const std::string &text) {
    return parse_ascii_hdr(nkey, keys, text.data(), text.size(), nullptr, nullptr);
  }
};

std::string global_text(const fixture::GlobalKeys &k) {
  return fixture::hdr_line(k.layout.recl(), 3, 2) + fixture::init_section(k) +
         fixture::addcorr_section(k) + line("*{ Corrsys.def") + key_line("VERSION", "COR30x2") +
         line("*} Corrsys") + line("END_OF_HEADER");
}

std::string scan_text() {
  return fixture::scan_line(3, 2, 1) + key_line("HDR_RECS", 2) + line("*{ SubArray0.def") +
         key_line("ANTMASK", "0000ffff") + key_line("BANDMASK", "0003") + key_line("SEQ", 42) +
         key_line("PROJECT", "pulsar timing ") + key_line("CODE", "31_042 ") +
         key_line("OBJECT", "3C286 ") + key_line("RA-DATE", "202.784530") +
         key_line("DEC-DATE", "30.509155") + key_line("MJD_SRC", "51544.500000") +
         key_line("DRA/DT", "0.000006 ") + key_line("DDEC/DT", "-0.000011 ") +
         key_line("F_STEP", "62500.000000 ") + key_line("RF", "325900000  327100000 ") +
         key_line("FIRST_LO", "305000000 306000000") + key_line("BB_LO", "70000000 71000000") +
         key_line("NET_SIGN", "1 -1 1 -1") + line("*} SubArray0") + line("*{ ExtraScan.def") +
         key_line("INTEG", "0.131072") + key_line("DATE-OBS", "Mon Jan 03 10:20:30 2000") +
         key_line("MJD_REF", "51544.000000") + key_line("BAD_RECS", "") + line("*} ExtraScan") +
         line("END_OF_HEADER");
}

TEST(KeyTables, GlobalAndScanTablesInOrder) {
  GlobalParse g;
  EXPECT_EQ(36, g.nkey);
  EXPECT_STREQ("RECL    ", g.keys[0].key);
  EXPECT_EQ('i', g.keys[0].type);
  EXPECT_EQ(&g.hdr->recl, g.keys[0].value);
  EXPECT_STREQ("BYTE_SEQ", g.keys[10].key);
  EXPECT_EQ('S', g.keys[10].type);
  EXPECT_STREQ("DATAFMT ", g.keys[35].key);
  EXPECT_EQ('s', g.keys[35].type);
  EXPECT_EQ(&g.hdr->vinfo.channels, g.keys[14].value);

  ScanParse s;
  EXPECT_EQ(20, s.nkey);
  EXPECT_STREQ("ANTMASK ", s.keys[1].key);
  EXPECT_EQ('x', s.keys[1].type);
  EXPECT_STREQ("NET_SIGN", s.keys[16].key);
  EXPECT_EQ(s.x.net_sign, s.keys[16].value);
  EXPECT_STREQ("MJD_REF ", s.keys[19].key);
}

TEST(ParseGlobal, AllKeywordsFoundAndConverted) {
  fixture::GlobalKeys k;
  GlobalParse g;
  EXPECT_EQ(36, g.parse(global_text(k)));
  const AvfHdr &h = *g.hdr;
  EXPECT_EQ(k.layout.recl(), h.recl);
  EXPECT_STREQ("FIXED", h.rec_form);
  EXPECT_STREQ("COR30x2 AVF1.10 DAS2.01 HST03", h.version);
  EXPECT_STREQ("char short int long float double", h.d_type);
  EXPECT_STREQ("Twos Comp", h.int_rep);
  EXPECT_STREQ("IEEE", h.fl_rep);
  EXPECT_STREQ("Little Endian", h.byte_seq);
  EXPECT_EQ(36, h.vinfo.baselines);
  EXPECT_EQ(k.layout.flg_dat_size(), h.flg_dat_size);
  EXPECT_EQ(k.layout.data_off(), h.data_off);
  EXPECT_STREQ("IEEE_FLOAT", h.data_fmt);
}

TEST(ParseGlobal, MissingDatafmtCountsOneLess) {
  fixture::GlobalKeys k;
  k.with_datafmt = false;
  GlobalParse g;
  EXPECT_EQ(35, g.parse(global_text(k)));
  EXPECT_EQ(0, g.keys[35].found);
}

TEST(ParseGlobal, IntegerBasesAndHex) {
  struct Case {
    const char *value;
    int recl;
  } cases[] = {{"2048", 2048}, {"0x800", 2048}, {"010", 8}, {"-12", -12}, {"  77", 77}};
  for (const Case &c : cases) {
    GlobalParse g;
    g.hdr->recl = -999;
    std::string t = line("HDR") + line(INIT) + key_line("RECL", c.value) + line("END_OF_HEADER");
    EXPECT_EQ(1, g.parse(t)) << c.value;
    EXPECT_EQ(c.recl, g.hdr->recl) << c.value;
  }
  ScanParse s;
  EXPECT_EQ(20, s.parse(scan_text()));
  EXPECT_EQ(65535u, s.shdr->antmask);
  EXPECT_EQ(3u, s.shdr->bandmask);
}

TEST(ParseGlobal, ValueThatDoesNotConvertKeepsTargetButCounts) {
  const char *bad[] = {"abc", "", "99999999999", "-99999999999"};
  for (const char *v : bad) {
    GlobalParse g;
    g.hdr->recl = 4711;
    std::string t = line("HDR") + line(INIT) + key_line("RECL", v) + line("END_OF_HEADER");
    EXPECT_EQ(1, g.parse(t)) << v;
    EXPECT_EQ(4711, g.hdr->recl) << v;
    EXPECT_EQ(1, g.keys[0].found);
  }
}

TEST(ParseGlobal, TextTrimming) {
  GlobalParse g;
  std::string version = "COR30x2 AVF1.10";
  std::string v_line = "VERSION = " + version;
  v_line.resize(79, ' '); // blanks up to column 78
  std::string t = line("HDR") + line(INIT) + line(v_line) + line("FL_REP  =  IEEE") +
                  line("BYTE_SEQ=  Little Endian") + line("OBS_MODE= first second") +
                  line("D_TYPE  = \t tabbed\t ") + line("END_OF_HEADER");
  EXPECT_EQ(5, g.parse(t));
  EXPECT_STREQ("COR30x2 AVF1.10", g.hdr->version);
  EXPECT_STREQ("IEEE", g.hdr->fl_rep);
  EXPECT_STREQ("Little Endian", g.hdr->byte_seq);
  EXPECT_STREQ("first", g.hdr->obs_mode);
  EXPECT_STREQ("tabbed", g.hdr->d_type);
}

TEST(ParseGlobal, WhichLinesCount) {
  GlobalParse g;
  std::string t = key_line("RECL", 1)          // first line: never a keyword line
                  + key_line("RECL", 2)        // before the start line: ignored
                  + key_line("HDR_RECS", 5)    // before the start line: ignored
                  + line(INIT)                 //
                  + line("RECL    has no equals sign") + key_line("RECL", 3) // used
                  + key_line("RECL", 4)        // second occurrence: ignored
                  + line("*  comment = not a keyword") + line(ADDCORR_END) //
                  + key_line("HDR_RECS", 6)    // after the end line: not reached
                  + line("END_OF_HEADER");
  EXPECT_EQ(1, g.parse(t));
  EXPECT_EQ(3, g.hdr->recl);
  EXPECT_EQ(0, g.keys[1].found);
}

TEST(ParseGlobal, ValueCutAtColumn78) {
  GlobalParse g;
  std::string longval(100, 'v');
  longval[68] = 'E'; // column 78
  longval[69] = 'X'; // column 79: beyond the value field
  std::string raw = "VERSION = " + longval + "\n"; // a line longer than 80 bytes
  std::string t = line("HDR") + line(INIT) + raw + line("END_OF_HEADER");
  EXPECT_EQ(1, g.parse(t));
  EXPECT_EQ(69u, std::string(g.hdr->version).size());
  EXPECT_EQ('E', g.hdr->version[68]);
}

TEST(ParseGlobal, MissingEndLineParsesToEndOfHeaderKeepingFirstValues) {
  GlobalParse g;
  std::string t = line("HDR") + line(INIT) + key_line("RECL", 2048) + line("*{ Corrsys.def") +
                  key_line("RECL", 1) + key_line("HDR_RECS", 9) + line("END_OF_HEADER") +
                  key_line("OBS_MODE", "late");
  EXPECT_EQ(2, g.parse(t));
  EXPECT_EQ(2048, g.hdr->recl);
  EXPECT_EQ(9, g.hdr->recs);
  EXPECT_EQ(0, g.keys[3].found);
}

TEST(ParseGlobal, MissingStartSectionIsAnError) {
  GlobalParse g;
  std::string t = line("HDR") + key_line("RECL", 2048) + line("END_OF_HEADER") + line(INIT) +
                  key_line("RECL", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, g.parse(t));
  EXPECT_EQ("No *{ Init.def section!\n", testing::internal::GetCapturedStderr());
}

TEST(ParseGlobal, IllegalTypeLetterStopsWithError) {
  GlobalParse g;
  g.keys[1].type = 'q'; // HDR_RECS
  std::string t = line("HDR") + line(INIT) + key_line("RECL", 2048) + key_line("HDR_RECS", 3) +
                  key_line("OBS_MODE", "never");
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, g.parse(t));
  EXPECT_EQ("Illegal Type q\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ(2048, g.hdr->recl); // converted before the error
}

TEST(ParseScan, AllTwentyFromAScanHeaderWithoutSections) {
  ScanParse s;
  EXPECT_EQ(20, s.parse(scan_text()));
  const ScanHdr &h = *s.shdr;
  EXPECT_EQ(2, h.recs);
  EXPECT_EQ(42, h.seq);
  EXPECT_STREQ("pulsar", h.project);
  EXPECT_STREQ("31_042", h.code);
  EXPECT_STREQ("3C286", h.object);
  EXPECT_DOUBLE_EQ(202.784530, h.ra_date);
  EXPECT_DOUBLE_EQ(-0.000011, h.ddec);
  EXPECT_STREQ("325900000  327100000", s.x.rf);
  EXPECT_STREQ("1 -1 1 -1", s.x.net_sign);
  EXPECT_STREQ("Mon Jan 03 10:20:30 2000", h.date_obs);
  EXPECT_FLOAT_EQ(0.131072f, h.integ);
  EXPECT_DOUBLE_EQ(51544.0, h.mjd_ref);
}

// The text is header records as read: NUL filling, a binary block, and no
// terminator. The parser must stop at the given length whatever the bytes.
TEST(ParseBounds, RecordsAsReadWithBinaryBlock) {
  fixture::GlobalKeys k;
  int recl = 512;
  std::string text = global_text(k);
  fixture::Bytes rec = fixture::text_records(text, recl);
  fixture::Bytes bin = fixture::binary_records(fixture::corr_block(fixture::sample_corr(), fixture::Order::Big), recl);
  rec.insert(rec.end(), bin.begin(), bin.end());
  // Exact-size heap copy so AddressSanitizer sees any read past the end.
  auto exact = std::make_unique<char[]>(rec.size());
  std::memcpy(exact.get(), rec.data(), rec.size());
  GlobalParse g;
  EXPECT_EQ(36, parse_ascii_hdr(g.nkey, g.keys, exact.get(), rec.size(), INIT, ADDCORR_END));
}

TEST(ParseBounds, TruncatedTextsNeverReadPastTheEnd) {
  fixture::GlobalKeys k;
  std::string full = global_text(k);
  // Cut everywhere: before the first newline, mid-line, mid-keyword, mid-value.
  for (std::size_t n = 0; n <= full.size(); n += 7) {
    auto exact = std::make_unique<char[]>(n ? n : 1);
    std::memcpy(exact.get(), full.data(), n);
    GlobalParse g;
    testing::internal::CaptureStderr();
    int r = parse_ascii_hdr(g.nkey, g.keys, exact.get(), n, INIT, ADDCORR_END);
    testing::internal::GetCapturedStderr();
    EXPECT_GE(r, -1);
    EXPECT_LE(r, 36);
  }
}

TEST(ParseBounds, NoNewlineAtAllAndALastLineCutShort) {
  std::string one_line(300, 'A'); // no newline anywhere
  GlobalParse g;
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, g.parse(one_line));
  EXPECT_EQ("No *{ Init.def section!\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ(0, g.parse(one_line, nullptr, nullptr));

  // The text ends inside the value of the last keyword line.
  std::string t = line("HDR") + line(INIT) + key_line("RECL", 2048) + "HDR_RECS= 12";
  auto exact = std::make_unique<char[]>(t.size());
  std::memcpy(exact.get(), t.data(), t.size());
  GlobalParse h;
  EXPECT_EQ(2, parse_ascii_hdr(h.nkey, h.keys, exact.get(), t.size(), INIT, ADDCORR_END));
  EXPECT_EQ(12, h.hdr->recs);
}

TEST(ParseBounds, BinaryGarbageWithNulsAndNewlines) {
  std::string t = line("HDR") + line(INIT);
  for (int i = 0; i < 4096; ++i) t += static_cast<char>((i * 131 + 7) % 256);
  GlobalParse g;
  int r = g.parse(t);
  EXPECT_GE(r, 0);
}

} // namespace
