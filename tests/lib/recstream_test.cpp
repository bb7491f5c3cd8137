// The record stream: positioning, signatures, data record byte order and the
// scan table built from the end of a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

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

TEST(AvfSeek, LongMovesInBothDirections) {
  fixture::TempFile t;
  fixture::File f = t.open("w+b");
  const int recl = 1048576;
  ASSERT_EQ(0, fseeko(f.get(), 6000LL * recl, SEEK_SET));
  EXPECT_EQ(0, avfseek(f.get(), -5000, recl));
  EXPECT_EQ(1000LL * recl, ftello(f.get()));
  EXPECT_EQ(0, avfseek(f.get(), 4096, recl)); // exactly four steps of 1024
  EXPECT_EQ(5096LL * recl, ftello(f.get()));
  EXPECT_EQ(0, avfseek(f.get(), -3, recl));
  EXPECT_EQ(5093LL * recl, ftello(f.get()));
  EXPECT_EQ(0, avfseek(f.get(), 0, recl));
  EXPECT_EQ(5093LL * recl, ftello(f.get()));
  // Records longer than one step still move, one record at a time.
  EXPECT_EQ(0, avfseek(f.get(), -2, 2000000000));
  EXPECT_EQ(5093LL * recl - 4000000000LL, ftello(f.get()));
}

TEST(Locate, Cases) {
  const unsigned char hay[] = {'x', 0, 'D', 'A', 'T', 'A', 0, 'S', 'C', 'A', 'N'};
  EXPECT_EQ(2, locate("DATA", 4, hay, sizeof hay));
  EXPECT_EQ(7, locate("SCAN", 4, hay, sizeof hay)); // ends at the last byte
  EXPECT_EQ(-1, locate("SCAN", 4, hay, sizeof hay - 1));
  EXPECT_EQ(-1, locate("SCANNER", 7, "SCAN", 4)); // needle longer than haystack
  const unsigned char nul[] = {'A', 0};
  EXPECT_EQ(5, locate(nul, 2, hay, sizeof hay)); // NUL bytes are ordinary bytes
}

TEST(UpdateSignature, StampsSeventeenBytes) {
  struct Case {
    int scan, rec;
    const char *sig;
  } cases[] = {
      {12, 0, "DATA0012.00000   "},
      {3, 41, "DATA0003.00041   "},
      {9999, 99999, "DATA9999.99999   "},
      {12345, 123456, "DATA2345.23456   "}, // too wide: the low digits
      {-1, -7, "DATA0000.00000   "},
  };
  for (const Case &c : cases) {
    std::vector<unsigned char> rec(40, '#');
    update_signature(rec.data(), c.scan, c.rec);
    EXPECT_EQ(c.sig, std::string(rec.begin(), rec.begin() + 17)) << c.scan;
    EXPECT_EQ('#', rec[17]);
    EXPECT_TRUE(signature_is(rec.data(), c.scan, c.rec));
    rec[16] = 'x'; // the trailing blanks count too
    EXPECT_FALSE(signature_is(rec.data(), c.scan, c.rec));
  }
  const char *sig = "DATA0003.00041   ";
  EXPECT_FALSE(signature_is(sig, 3, 42));
  EXPECT_FALSE(signature_is(sig, 4, 41));
}

struct Layout : fixture::Layout {
  AvfHdr hdr() const {
    AvfHdr h{};
    h.time_off = time_off();
    h.wt_off = wt_off();
    h.data_off = data_off();
    h.data_size = data_size();
    return h;
  }
};

TEST(FlipData, ReversesDataWeightAndTimeOnly) {
  Layout l;
  Bytes le = fixture::data_record(l, 1, 2, 1234.5, Order::Little);
  AvfHdr h = l.hdr();
  Bytes rec = le;
  flipData(rec.data(), rec.size(), &h);
  EXPECT_EQ(1234.5, fixture::get_f64(rec, l.time_off(), Order::Big));
  EXPECT_TRUE(std::equal(le.begin(), le.begin() + l.time_off(), rec.begin())); // signature, flags
  EXPECT_TRUE(std::equal(le.begin() + l.par_off(), le.begin() + l.data_off(), rec.begin() + l.par_off()));
  EXPECT_EQ(fixture::get_u32(le, l.wt_off(), Order::Little), fixture::get_u32(rec, l.wt_off(), Order::Big));
  EXPECT_EQ(fixture::get_u32(le, l.wt_off() + 4, Order::Little), fixture::get_u32(rec, l.wt_off() + 4, Order::Little));
  for (int off : {l.data_off(), l.data_off() + 4, l.recl() - 4})
    EXPECT_EQ(fixture::get_u32(le, off, Order::Little), fixture::get_u32(rec, off, Order::Big)) << off;
  flipData(rec.data(), rec.size(), &h);
  EXPECT_EQ(le, rec);
}

TEST(FlipData, AreasOutsideTheRecordAreSkipped) {
  Layout l;
  AvfHdr h = l.hdr();
  Bytes rec = fixture::data_record(l, 0, 0, 1.0, Order::Little);
  Bytes orig = rec;
  h.data_size = l.data_size() + 4; // one word past the end
  h.wt_off = -4;
  h.time_off = l.recl() - 4;
  flipData(rec.data(), rec.size(), &h);
  EXPECT_EQ(orig, rec);
}

// ---------------------------------------------------------------------------
// Files for the scan table.

struct FileSpec {
  std::vector<int> records{2, 3, 1}; // data records per scan
  int srecs = 0;                     // scan header records (0: as small as fits)
  Bytes before_scan0;                // raw records between the global header and scan 0
  Order order = Order::Little;
};

struct Built {
  Bytes bytes;
  int recl, lrecs, srecs;
  std::vector<long long> header_rec; // record number of each scan header
};

Built build(const FileSpec &fs) {
  fixture::GlobalSpec g;
  g.order = fs.order;
  g.keys.byte_seq = fs.order == Order::Big ? "Big Endian" : "Little Endian";
  Built b;
  b.recl = g.keys.layout.recl();
  b.bytes = fixture::global_header(g);
  b.lrecs = static_cast<int>(b.bytes.size() / b.recl);
  fixture::append(b.bytes, fs.before_scan0);
  for (std::size_t s = 0; s < fs.records.size(); ++s) {
    fixture::ScanSpec sc;
    sc.number = static_cast<int>(s);
    sc.srecs = fs.srecs;
    b.header_rec.push_back(static_cast<long long>(b.bytes.size() / b.recl));
    Bytes h = fixture::scan_header(sc, fs.order, b.recl);
    b.srecs = static_cast<int>(h.size() / b.recl);
    fixture::append(b.bytes, h);
    for (int r = 0; r < fs.records[s]; ++r)
      fixture::append(b.bytes, fixture::data_record(g.keys.layout, static_cast<int>(s), r, 10.0 * r, fs.order));
  }
  return b;
}

struct Table {
  std::unique_ptr<AvfInfo> info = std::make_unique<AvfInfo>();
  int result = 0;
  std::string err;
};

// Reads the global header from `header_from` (default: the file itself), then
// builds the scan table of `file`.
Table scantab(const Bytes &file, const Bytes *header_from = nullptr) {
  Table t;
  fixture::TempFile tf(file), th(header_from ? *header_from : file);
  fixture::File f = tf.open(), h = th.open();
  t.info->local_byte_order = host_byte_order();
  testing::internal::CaptureStderr();
  t.result = get_avf_hdr(h.get(), t.info.get());
  if (t.result == 0) t.result = make_scantab(f.get(), t.info.get());
  t.err = testing::internal::GetCapturedStderr();
  return t;
}

void expect_table(const Table &t, const Built &b, const std::vector<int> &recs) {
  ASSERT_EQ(0, t.result) << t.err;
  ASSERT_EQ(static_cast<int>(recs.size()), t.info->scans);
  for (std::size_t i = 0; i < recs.size(); ++i) {
    EXPECT_EQ(static_cast<uint32_t>(recs[i]), t.info->stab[i].recs) << "scan " << i;
    EXPECT_EQ(b.header_rec[i], t.info->stab[i].start_rec) << "scan " << i;
    EXPECT_STREQ("3C286", t.info->stab[i].shdr.object);
  }
}

TEST(MakeScantab, CompleteFileInEitherByteOrder) {
  for (Order o : {Order::Little, Order::Big}) {
    FileSpec fs;
    fs.order = o;
    Built b = build(fs);
    Table t = scantab(b.bytes);
    expect_table(t, b, {2, 3, 1});
    EXPECT_EQ("", t.err);
    EXPECT_EQ(0xdeadbeefu, t.info->stab[1].scan.source.antmask);
  }
}

TEST(MakeScantab, CutLastRecordIsLeftOut) {
  FileSpec fs;
  fs.records = {2, 3, 2};
  Built b = build(fs);
  b.bytes.resize(b.bytes.size() - 100);
  expect_table(scantab(b.bytes), b, {2, 3, 1});
}

TEST(MakeScantab, ZeroLengthMiddleScan) {
  FileSpec fs;
  fs.records = {2, 0, 3};
  Built b = build(fs);
  Table t = scantab(b.bytes);
  expect_table(t, b, {2, 0, 3});
  EXPECT_EQ("Checking for zero length scan\n", t.err);
}

TEST(MakeScantab, RecordsBeforeTheFirstScanHeader) {
  Built plain = build({});
  FileSpec fs;
  Layout l;
  fs.before_scan0 = fixture::data_record(l, 7, 7, 0.0, Order::Little);
  fixture::append(fs.before_scan0, Bytes(static_cast<std::size_t>(plain.recl), 0));
  Built b = build(fs);
  // The global header reader wants a scan header right after the global
  // header, so the counts come from the plain twin of this file.
  expect_table(scantab(b.bytes, &plain.bytes), b, {2, 3, 1});
  EXPECT_EQ(plain.header_rec[0] + 2, b.header_rec[0]);
}

TEST(MakeScantab, DamagedFiles) {
  Built out_of_seq = build({});
  {
    // Scan 1's records carry scan number 3.
    std::size_t rec = static_cast<std::size_t>(out_of_seq.header_rec[1] + out_of_seq.srecs + 2) * out_of_seq.recl;
    std::memcpy(out_of_seq.bytes.data() + rec, "DATA0003.00002   ", 17);
  }
  Built tiny_tail = build({});
  tiny_tail.bytes.resize(tiny_tail.bytes.size() - tiny_tail.recl + 3); // "DAT" left
  Built lost = build({});
  {
    // The record before scan 2's header is neither data nor after a header.
    std::size_t rec = static_cast<std::size_t>(lost.header_rec[2] - 1) * lost.recl;
    std::memset(lost.bytes.data() + rec, 'z', 8);
  }
  FileSpec one;
  one.records = {0};
  Built fractional = build(one);
  fixture::append(fractional.bytes, Bytes(10, 'q'));
  std::memcpy(fractional.bytes.data() + fractional.bytes.size() - 10, "DATA0000.0", 10);

  struct Case {
    const char *name;
    Bytes file;
    std::string err;
  } cases[] = {
      {"out of sequence", out_of_seq.bytes, "Scans Out of Seq: Can't make ScanTab\n"},
      {"tail below four bytes", tiny_tail.bytes,
       "Checking for zero length last scan Failed...Checking for fractional length last scan\n"
       "Missing Signature: Can't make ScanTab\n"},
      {"sync lost", lost.bytes, "Checking for zero length scan\nSync Lost: Can't make ScanTab\n"},
  };
  for (const Case &c : cases) {
    Table t = scantab(c.file);
    EXPECT_EQ(-1, t.result) << c.name;
    EXPECT_EQ(c.err, t.err) << c.name;
  }
}

TEST(MakeScantab, FileEndingInAScanHeader) {
  // Short scan headers: the tail search reaches the previous scan's last
  // record, and the empty last scan is not in the table.
  FileSpec fs;
  fs.records = {2, 3, 0};
  Built b = build(fs);
  ASSERT_LT(b.srecs, 5);
  Table t = scantab(b.bytes);
  ASSERT_EQ(0, t.result) << t.err;
  EXPECT_EQ(2, t.info->scans);
  EXPECT_EQ(3u, t.info->stab[1].recs);

  // Scan headers of five records: the tail search finds no data and reports.
  fs.srecs = 5;
  Built c = build(fs);
  Table u = scantab(c.bytes);
  EXPECT_EQ(-1, u.result);
  EXPECT_EQ("Checking for zero length last scan Found...ignoring it\nMissing Signature: Can't make ScanTab\n", u.err);
}

// A sparse file larger than 4 GiB whose scan headers lie beyond the 2 GiB
// and 4 GiB marks. Only the records the table builder reads are written.
TEST(MakeScantab, FilesBeyondFourGiB) {
  fixture::GlobalSpec g;
  g.keys.layout.channels = 128;
  const int recl = g.keys.layout.recl();
  const std::vector<int> records = {60000, 60000, 10};
  fixture::TempFile tf;
  int fd = ::open(tf.path().c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(fd, 0);
  auto put = [&](const Bytes &b, long long at) {
    ASSERT_EQ(static_cast<ssize_t>(b.size()), pwrite(fd, b.data(), b.size(), static_cast<off_t>(at)));
  };
  Bytes head = fixture::global_header(g);
  put(head, 0);
  long long rec = static_cast<long long>(head.size() / recl);
  std::vector<long long> starts;
  for (std::size_t s = 0; s < records.size(); ++s) {
    fixture::ScanSpec sc;
    sc.number = static_cast<int>(s);
    Bytes h = fixture::scan_header(sc, Order::Little, recl);
    starts.push_back(rec);
    put(h, rec * recl);
    rec += static_cast<long long>(h.size() / recl) + records[s];
    put(fixture::data_record(g.keys.layout, static_cast<int>(s), records[s] - 1, 0.0, Order::Little), (rec - 1) * recl);
  }
  ::close(fd);
  ASSERT_GT(starts[1] * recl, 2LL << 30);
  ASSERT_GT(starts[2] * recl, 4LL << 30);

  auto info = std::make_unique<AvfInfo>();
  info->local_byte_order = host_byte_order();
  fixture::File f = tf.open();
  ASSERT_EQ(0, get_avf_hdr(f.get(), info.get()));
  ASSERT_EQ(0, make_scantab(f.get(), info.get()));
  ASSERT_EQ(3, info->scans);
  for (int s = 0; s < 3; ++s) {
    EXPECT_EQ(static_cast<uint32_t>(records[s]), info->stab[s].recs);
    EXPECT_EQ(starts[s], info->stab[s].start_rec);
  }
}

} // namespace
