// Corruption campaign: small synthetic files, damaged here with a seeded
// generator, repaired by the built avfmend and read back by the library.
//
// For every damaged file:
//  - avfmend ends with status 0, 1 or 255, with no sanitizer report;
//  - when the damaged file's global header reads, the output's does too, and
//    when the output holds data records the scan table built from it has the
//    scans and record counts of the summary lines;
//  - every data record the damage did not touch (below) that follows the
//    first readable scan header is in the output with its payload (the bytes
//    after the 17-byte signature) intact, in the local byte order.
//
// The bytes of the damaged file are tracked back to the clean file: each byte
// knows the clean offset it came from, or that it is new or changed. A data
// record is intact when its RECL bytes stand unchanged and contiguous in the
// damaged file. It is touched, and nothing is expected of it, when
//  - it is not intact (a bit flipped, bytes inserted or removed inside it, a
//    record overwritten, the file cut within or before it), or
//  - it lost its position: its "DATA" signature lies wholly inside the span
//    of a unit that starts earlier (a record beginning with "DATA", RECL
//    bytes; or a readable scan header, its header records). A record that lost
//    four or more bytes hides the next record's signature inside its own
//    span, and a scan header that lost records takes the next data record as
//    its own; a record is read whole from its signature, so nothing can tell.
//    (A loss of one to three bytes leaves the next signature straddling the
//    record boundary: such records are expected.)
//  - the global header that places and decodes every record is changed where
//    it matters: record length, header record counts, byte order, and for
//    files in the other byte order the offsets and sizes of the areas that
//    are reversed. Then no record of the file is expected.
// A scan header is readable when the library's scan header reader accepts it
// where it stands (with the damaged file's counts) and it has not lost its
// position in the same sense. Records before the first readable scan header
// are by design not written.
//
// Environment: AVF_CAMPAIGN_SEED (base seed), AVF_CAMPAIGN_CASES (number of
// files), AVF_CAMPAIGN_CASE (run that case alone), AVF_CAMPAIGN_KEEP (a
// directory that receives the damaged input of every failing case).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tool_runner.h"

using e2e::Result;
using e2e::Scratch;

namespace {

constexpr const char *OUT = "avfmend_out.avf";
constexpr int SIG = SIGNATURE_LEN;
constexpr int TIME_LIMIT = 60; // seconds for one run of avfmend on a file of a few records

using Bytes = fixture::Bytes;

struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull ^ 0xD1B54A32D192ED03ull) {
    if (s == 0) s = 1;
    for (int i = 0; i < 4; ++i) next();
  }
  uint64_t next() { // xorshift64*
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return s * 0x2545F4914F6CDD1Dull;
  }
  std::size_t below(std::size_t n) { return n ? static_cast<std::size_t>(next() % n) : 0; }
  bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
};

uint64_t env_number(const char *name, uint64_t fallback) {
  const char *v = std::getenv(name);
  return v && *v ? std::strtoull(v, nullptr, 0) : fallback;
}

// ---------------------------------------------------------------------------
// Clean inputs.

struct DataRec {
  int scan, rec;
  long long off; // in the clean file
};

struct Clean {
  std::string what;   // avfgen options
  Bytes in;           // the file damaged
  Bytes le;           // its little-endian twin: the payloads the output must hold
  bool swapped = false; // the input's byte order differs from this host's
  int recl = 0, lrecs = 0, lbrecs = 0, srecs = 0, sbrecs = 0;
  std::vector<long long> scan_off; // first byte of each scan header
  std::vector<DataRec> data;
  // The global header's values that place and decode the records.
  std::vector<long long> geometry;
};

std::vector<long long> geometry_of(const AvfInfo &i, bool swapped) {
  std::vector<long long> g = {i.recl, i.lrecs, i.srecs, i.data_byte_order};
  if (swapped) {
    const AvfHdr &h = i.lhdr;
    g.insert(g.end(), {h.data_off, h.data_size, h.wt_off, h.time_off});
  }
  return g;
}

Clean make_clean(const Scratch &s, const std::string &name, const std::vector<std::string> &opts, bool big) {
  Clean c;
  for (const std::string &o : opts) c.what += o + " ";
  c.what += big ? "-B 1" : "(little-endian)";
  std::vector<std::string> le_args = {"-o", name + ".le.avf"};
  le_args.insert(le_args.end(), opts.begin(), opts.end());
  Result r = e2e::avfgen(s, le_args);
  EXPECT_EQ(0, r.status) << r.err;
  c.le = s.read(name + ".le.avf");
  std::string in_name = name + ".le.avf";
  if (big) {
    std::vector<std::string> be_args = le_args;
    be_args[1] = name + ".be.avf";
    be_args.insert(be_args.end(), {"-B", "1"});
    r = e2e::avfgen(s, be_args);
    EXPECT_EQ(0, r.status) << r.err;
    in_name = name + ".be.avf";
  }
  c.in = s.read(in_name);
  e2e::Indexed x = e2e::index_file(s.path(in_name));
  EXPECT_EQ(0, x.hdr) << x.err;
  EXPECT_EQ(0, x.tab) << x.err;
  const AvfInfo &i = *x.info;
  c.swapped = i.data_byte_order != host_byte_order();
  c.recl = i.recl;
  c.lrecs = i.lrecs;
  c.lbrecs = i.lbrecs;
  c.srecs = i.srecs;
  c.sbrecs = i.sbrecs;
  c.geometry = geometry_of(i, c.swapped);
  for (int k = 0; k < i.scans; ++k) {
    const long long start = static_cast<long long>(i.stab[k].start_rec) * c.recl;
    c.scan_off.push_back(start);
    for (uint32_t rec = 0; rec < i.stab[k].recs; ++rec)
      c.data.push_back({k, static_cast<int>(rec), start + (static_cast<long long>(c.srecs) + rec) * c.recl});
  }
  EXPECT_EQ(c.in.size(), c.le.size());
  return c;
}

// ---------------------------------------------------------------------------
// Damage, with every byte tracked back to its clean offset.

constexpr long long NEW = -1; // a byte that is new or changed

struct Damaged {
  Bytes b;
  std::vector<long long> origin;
  std::string desc;

  explicit Damaged(const Bytes &clean) : b(clean), origin(clean.size()) {
    for (std::size_t i = 0; i < origin.size(); ++i) origin[i] = static_cast<long long>(i);
  }
  // Where the byte that stood at clean offset `off` stands now (first copy), or -1.
  long long where(long long off) const {
    for (std::size_t i = 0; i < origin.size(); ++i)
      if (origin[i] == off) return static_cast<long long>(i);
    return -1;
  }
  void insert(std::size_t at, const Bytes &bytes, const std::vector<long long> &from) {
    b.insert(b.begin() + static_cast<long>(at), bytes.begin(), bytes.end());
    origin.insert(origin.begin() + static_cast<long>(at), from.begin(), from.end());
  }
  void erase(std::size_t at, std::size_t n) {
    n = std::min(n, b.size() - at);
    b.erase(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
    origin.erase(origin.begin() + static_cast<long>(at), origin.begin() + static_cast<long>(at + n));
  }
  void note(const std::string &s) { desc += (desc.empty() ? "" : "; ") + s; }
};

Bytes garbage(Rng &g, std::size_t n) {
  Bytes out(n);
  for (unsigned char &c : out) {
    c = static_cast<unsigned char>(g.next() >> 24);
    if (c == 'D' || c == 'S') c = 'g'; // garbage never holds a signature
  }
  return out;
}

std::string str(long long v) { return std::to_string(v); }

// A clean offset inside a header (global: scan < 0).
long long header_byte(const Clean &c, Rng &g, int scan) {
  const long long start = scan < 0 ? 0 : c.scan_off[static_cast<std::size_t>(scan)];
  const int recs = scan < 0 ? c.lrecs : c.srecs, brecs = scan < 0 ? c.lbrecs : c.sbrecs;
  const long long text_end = start + static_cast<long long>(recs - brecs) * c.recl;
  const std::size_t pick = g.below(100);
  const long long from = pick < 50 ? start : text_end;
  const long long span = pick < 50 ? text_end - start : static_cast<long long>(brecs) * c.recl;
  for (int tries = 0; tries < 256; ++tries) {
    const long long off = from + static_cast<long long>(g.below(static_cast<std::size_t>(span)));
    // Text that is not filling, or numbers and names of the binary block
    // (its bytes that are not zero), or anywhere in the block.
    if (pick >= 80 || c.in[static_cast<std::size_t>(off)] != 0) return off;
  }
  return from;
}

// A position in the damaged file after the global header: near a record
// boundary half of the time, anywhere otherwise.
std::size_t body_position(const Clean &c, const Damaged &d, Rng &g) {
  const std::size_t first = static_cast<std::size_t>(c.lrecs) * c.recl;
  if (d.b.size() <= first + 1) return d.b.size();
  std::size_t p = first + 1 + g.below(d.b.size() - first - 1);
  if (g.chance(50)) {
    p = p - p % static_cast<std::size_t>(c.recl);
    p += g.below(33);
    p -= 16;
    p = std::clamp(p, first + 1, d.b.size());
  }
  return p;
}

// A clean record after the global header that still starts somewhere: its
// index (from the file's start) and where it stands now.
bool pick_record(const Clean &c, const Damaged &d, Rng &g, bool data_only, long long &index, long long &at) {
  for (int tries = 0; tries < 32; ++tries) {
    if (data_only) {
      const DataRec &r = c.data[g.below(c.data.size())];
      index = r.off / c.recl;
    } else {
      const long long total = static_cast<long long>(c.in.size()) / c.recl;
      index = c.lrecs + static_cast<long long>(g.below(static_cast<std::size_t>(total - c.lrecs)));
    }
    at = d.where(index * c.recl);
    if (at >= 0) return true;
  }
  return false;
}

std::string record_name(const Clean &c, long long index) {
  for (const DataRec &r : c.data)
    if (r.off == index * c.recl) return "data " + str(r.scan) + ":" + str(r.rec);
  for (std::size_t k = 0; k < c.scan_off.size(); ++k) {
    const long long first = c.scan_off[k] / c.recl;
    if (index >= first && index < first + c.srecs) return "scan " + str(static_cast<long long>(k)) + " header record " + str(index - first);
  }
  return "record " + str(index);
}

enum Kind { FlipGlobal, FlipScan, FlipData, Delete, Duplicate, Insert, Overwrite, Cut, ShiftIn, ShiftOut, Kinds };
const char *const KIND_NAME[Kinds] = {"global header bit flips", "scan header bit flips", "data record bit flip",
                                      "record deleted", "record duplicated", "garbage record inserted",
                                      "record overwritten with garbage", "cut", "bytes inserted",
                                      "bytes removed"};

void damage(const Clean &c, Damaged &d, Rng &g, Kind k) {
  const std::size_t recl = static_cast<std::size_t>(c.recl);
  long long index = 0, at = 0;
  switch (k) {
  case FlipGlobal:
  case FlipScan: {
    const int scan = k == FlipGlobal ? -1 : static_cast<int>(g.below(c.scan_off.size()));
    const int flips = 1 + static_cast<int>(g.below(3));
    std::string what = k == FlipGlobal ? "global header" : "scan " + str(scan) + " header";
    for (int i = 0; i < flips; ++i) {
      const long long off = header_byte(c, g, scan);
      const long long p = d.where(off);
      if (p < 0) continue;
      const int bit = static_cast<int>(g.below(8));
      d.b[static_cast<std::size_t>(p)] ^= static_cast<unsigned char>(1u << bit);
      d.origin[static_cast<std::size_t>(p)] = NEW;
      what += " byte " + str(off - (scan < 0 ? 0 : c.scan_off[static_cast<std::size_t>(scan)])) + " bit " + str(bit);
    }
    d.note(what);
    return;
  }
  case FlipData: {
    if (!pick_record(c, d, g, true, index, at)) return;
    const std::size_t off = g.chance(50) ? g.below(SIG) : g.below(recl);
    const int bit = static_cast<int>(g.below(8));
    if (static_cast<std::size_t>(at) + off >= d.b.size()) return;
    d.b[static_cast<std::size_t>(at) + off] ^= static_cast<unsigned char>(1u << bit);
    d.origin[static_cast<std::size_t>(at) + off] = NEW;
    d.note(record_name(c, index) + " byte " + str(static_cast<long long>(off)) + " bit " + str(bit));
    return;
  }
  case Delete:
  case Duplicate:
  case Insert:
  case Overwrite: {
    if (!pick_record(c, d, g, g.chance(50), index, at)) return;
    const std::size_t p = static_cast<std::size_t>(at);
    if (k == Delete) {
      d.erase(p, recl);
      d.note(record_name(c, index) + " deleted");
    } else if (k == Duplicate) {
      const std::size_t n = std::min(recl, d.b.size() - p);
      Bytes copy(d.b.begin() + static_cast<long>(p), d.b.begin() + static_cast<long>(p + n));
      std::vector<long long> from(d.origin.begin() + static_cast<long>(p), d.origin.begin() + static_cast<long>(p + n));
      d.insert(p + n, copy, from);
      d.note(record_name(c, index) + " duplicated");
    } else if (k == Insert) {
      d.insert(p, garbage(g, recl), std::vector<long long>(recl, NEW));
      d.note("garbage record before " + record_name(c, index));
    } else {
      const std::size_t n = std::min(recl, d.b.size() - p);
      Bytes junk = garbage(g, n);
      std::copy(junk.begin(), junk.end(), d.b.begin() + static_cast<long>(p));
      std::fill(d.origin.begin() + static_cast<long>(p), d.origin.begin() + static_cast<long>(p + n), NEW);
      d.note(record_name(c, index) + " overwritten");
    }
    return;
  }
  case Cut: {
    const std::size_t p = body_position(c, d, g);
    d.note("cut at byte " + str(static_cast<long long>(p)) + " of " + str(static_cast<long long>(d.b.size())));
    d.erase(p, d.b.size() - p);
    return;
  }
  case ShiftIn:
  case ShiftOut: {
    const std::size_t n = g.chance(70) ? 1 + g.below(8) : 1 + g.below(recl - 1);
    const std::size_t p = body_position(c, d, g);
    if (k == ShiftIn) {
      d.insert(p, garbage(g, n), std::vector<long long>(n, NEW));
      d.note(str(static_cast<long long>(n)) + " bytes inserted at " + str(static_cast<long long>(p)));
    } else if (p < d.b.size()) {
      d.note(str(static_cast<long long>(std::min(n, d.b.size() - p))) + " bytes removed at " +
             str(static_cast<long long>(p)));
      d.erase(p, n);
    }
    return;
  }
  case Kinds: return;
  }
}

// ---------------------------------------------------------------------------
// What the tool printed, and what the library reads.

// Last record count printed for each scan number of 0 or more.
bool parse_summary(const std::string &out, std::map<int, int> &counts, std::string &why) {
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(" RECOVERED:", 0) == 0) line.erase(0, 11);
    int scan = 0, recs = 0;
    const std::size_t bracket = line.rfind('[');
    if (line.rfind("SCAN ", 0) != 0 || std::sscanf(line.c_str() + 5, "%d:", &scan) != 1 ||
        bracket == std::string::npos || std::sscanf(line.c_str() + bracket, "[%d recs]", &recs) != 1) {
      why = "unexpected output line \"" + line + "\"";
      return false;
    }
    if (scan >= 0) counts[scan] = recs;
  }
  return true;
}

bool starts(const Bytes &b, std::size_t at, const char *tag) {
  return at + 4 <= b.size() && std::memcmp(b.data() + at, tag, 4) == 0;
}

struct Probe {
  int hdr = -99;
  std::unique_ptr<AvfInfo> info = std::make_unique<AvfInfo>();
};

// get_avf_hdr on a file; the scan headers at `at` are then tried with
// get_scan_hdr (readable[i]).
Probe probe(const std::filesystem::path &p, const std::vector<long long> &at, std::vector<bool> &readable) {
  Probe pr;
  pr.info->local_byte_order = host_byte_order();
  readable.assign(at.size(), false);
  fixture::File f(std::fopen(p.c_str(), "rb"));
  if (!f) return pr;
  pr.hdr = get_avf_hdr(f.get(), pr.info.get());
  if (pr.hdr != 0) return pr;
  pr.info->stab = std::make_unique<ScanHdrTab[]>(1);
  pr.info->scans = 1;
  for (std::size_t i = 0; i < at.size(); ++i)
    readable[i] = fseeko(f.get(), static_cast<off_t>(at[i]), SEEK_SET) == 0 && get_scan_hdr(f.get(), pr.info.get(), 0) == 0;
  return pr;
}

struct Tally {
  long long files = 0, header_read = 0, geometry_kept = 0, intact = 0, recovered = 0;
  long long statuses[3] = {0, 0, 0};
  long long kinds[Kinds] = {};
  int failures = 0;
};

// One damaged file through avfmend; failures are described in `why`.
void check_case(const Scratch &s, const Clean &c, const Damaged &d, Tally &t, std::vector<std::string> &why) {
  s.write("in.avf", d.b);
  std::filesystem::remove(s.path(OUT));
  // Under a time limit: a walk that never ends is a finding like a crash.
  Result r = s.run("timeout", {"-s", "KILL", str(TIME_LIMIT), AVFMEND_PATH, "-i", "in.avf"});
  ++t.files;
  if (r.status == 128 + 9)
    why.push_back("killed after " + str(TIME_LIMIT) + " s: the walk does not end");
  else if (r.status != 0 && r.status != 1 && r.status != 255)
    why.push_back("exit status " + str(r.status));
  for (const char *bad : {"runtime error", "AddressSanitizer", "LeakSanitizer", "MemorySanitizer"})
    if (r.err.find(bad) != std::string::npos) why.push_back(std::string("sanitizer report: ") + bad);
  if (r.status == 0) ++t.statuses[0];
  if (r.status == 1) ++t.statuses[1];
  if (r.status == 255) ++t.statuses[2];

  // The damaged file as the library sees it, and its scan headers where they
  // stand: every place a clean header's "SCAN" survived.
  const std::size_t recl = static_cast<std::size_t>(c.recl);
  std::vector<long long> hdr_at;
  for (std::size_t p = 0; p + 4 <= d.b.size(); ++p)
    if (d.origin[p] >= 0 && std::find(c.scan_off.begin(), c.scan_off.end(), d.origin[p]) != c.scan_off.end() &&
        starts(d.b, p, "SCAN"))
      hdr_at.push_back(static_cast<long long>(p));
  std::vector<bool> readable;
  testing::internal::CaptureStderr();
  Probe in = probe(s.path("in.avf"), hdr_at, readable);
  testing::internal::GetCapturedStderr();
  if (in.hdr != 0) {
    if (r.status != 1) why.push_back("unreadable global header but exit status " + str(r.status));
    return;
  }
  ++t.header_read;

  // The output's global header, and its scan table against the summary lines.
  Bytes out = s.read(OUT);
  std::map<int, int> counts;
  std::string parse_why;
  if (!parse_summary(r.out, counts, parse_why)) why.push_back(parse_why);
  int out_recl = 0, out_h = 0, out_b = 0;
  const std::string first_line(out.begin(), out.begin() + static_cast<long>(std::min<std::size_t>(out.size(), 79)));
  if (std::sscanf(first_line.c_str(), "HDR %d %d %d", &out_recl, &out_h, &out_b) != 3 || out_recl <= 0 || out_h <= 0) {
    why.push_back("output has no HDR line");
    return;
  }
  const std::size_t hdr_bytes = static_cast<std::size_t>(out_h) * static_cast<std::size_t>(out_recl);
  {
    // A global header alone is read with a scan header record after it.
    Bytes check = out;
    if (check.size() == hdr_bytes)
      check.insert(check.end(), c.in.begin() + c.scan_off[0], c.in.begin() + c.scan_off[0] + c.recl);
    s.write("check.avf", check);
    e2e::Indexed x = e2e::index_file(s.path("check.avf"));
    if (x.hdr != 0) why.push_back("output global header does not read back: " + x.err);
  }
  bool holds_data = false;
  for (const auto &[scan, recs] : counts) holds_data = holds_data || recs > 0;
  if (holds_data) {
    // Scan headers with no data after them end the file: the table builder
    // starts from the last data record and leaves them out. Each must be one
    // whose summary line counts no records (or that has none).
    Bytes check = out;
    e2e::Indexed o = e2e::index_file(s.path(OUT));
    const std::size_t shdr = o.hdr == 0 ? static_cast<std::size_t>(o.info->srecs) * static_cast<std::size_t>(out_recl) : 0;
    int tail_scan = -1;
    while (shdr > 0 && check.size() >= hdr_bytes + shdr && starts(check, check.size() - shdr, "SCAN")) {
      if (std::sscanf(reinterpret_cast<const char *>(check.data()) + check.size() - shdr + 4, "%4d", &tail_scan) != 1) break;
      if (counts.count(tail_scan) && counts[tail_scan] != 0)
        why.push_back("scan " + str(tail_scan) + " ends the output without data but its summary counts " + str(counts[tail_scan]));
      check.resize(check.size() - shdr);
    }
    std::map<int, int> want = counts;
    if (tail_scan >= 0) want.erase(want.lower_bound(tail_scan), want.end());
    s.write("check.avf", check);
    e2e::Indexed x = e2e::index_file(s.path("check.avf"));
    const int want_scans = want.empty() ? 0 : want.rbegin()->first + 1;
    if (x.hdr != 0 || x.tab != 0) {
      why.push_back("output not indexed (get_avf_hdr " + str(x.hdr) + ", make_scantab " + str(x.tab) + "): " + x.err);
    } else if (x.info->scans != want_scans || static_cast<int>(want.size()) != want_scans) {
      why.push_back("output has " + str(x.info->scans) + " scans, summary lines " + str(static_cast<long long>(want.size())) +
                    " up to scan " + str(want_scans - 1));
    } else {
      for (const auto &[scan, recs] : want)
        if (static_cast<int>(x.info->stab[scan].recs) != recs)
          why.push_back("scan " + str(scan) + ": " + str(x.info->stab[scan].recs) + " records in the output, summary " + str(recs));
    }
  }

  // Recovery: only while the header that places and decodes records is whole.
  if (geometry_of(*in.info, c.swapped) != c.geometry) return;
  ++t.geometry_kept;

  // Units that take bytes after their start: records beginning with "DATA",
  // readable scan headers.
  const std::size_t body = static_cast<std::size_t>(c.lrecs) * recl;
  std::vector<std::pair<long long, long long>> units; // start, end
  for (std::size_t p = body; p + 4 <= d.b.size(); ++p)
    if (starts(d.b, p, "DATA")) units.push_back({static_cast<long long>(p), static_cast<long long>(p + recl)});
  for (std::size_t i = 0; i < hdr_at.size(); ++i)
    if (readable[i]) units.push_back({hdr_at[i], hdr_at[i] + static_cast<long long>(c.srecs) * c.recl});
  auto displaced = [&](long long p) {
    for (const auto &[a, e] : units)
      if (a < p && p + 4 <= e) return true;
    return false;
  };
  long long first_header = -1;
  for (std::size_t i = 0; i < hdr_at.size(); ++i)
    if (readable[i] && !displaced(hdr_at[i]) && (first_header < 0 || hdr_at[i] < first_header)) first_header = hdr_at[i];
  if (first_header < 0) return;

  // Payloads in the output: every record-aligned record that begins with "DATA".
  std::set<std::string> have;
  for (std::size_t p = hdr_bytes; p + recl <= out.size() && out_recl == c.recl; p += recl)
    if (starts(out, p, "DATA")) have.emplace(out.begin() + static_cast<long>(p + SIG), out.begin() + static_cast<long>(p + recl));

  int missing = 0;
  std::string first_missing;
  for (const DataRec &rec : c.data) {
    // Intact somewhere after the first readable scan header, and in position.
    bool expected = false;
    for (std::size_t p = static_cast<std::size_t>(first_header); p + recl <= d.b.size() && !expected; ++p) {
      if (d.origin[p] != rec.off) continue;
      bool whole = true;
      for (std::size_t i = 1; i < recl && whole; ++i) whole = d.origin[p + i] == rec.off + static_cast<long long>(i);
      expected = whole && !displaced(static_cast<long long>(p));
    }
    if (!expected) continue;
    ++t.intact;
    const auto from = c.le.begin() + static_cast<long>(rec.off);
    if (have.count(std::string(from + SIG, from + static_cast<long>(recl)))) {
      ++t.recovered;
    } else if (missing++ == 0) {
      first_missing = str(rec.scan) + ":" + str(rec.rec);
    }
  }
  if (missing)
    why.push_back(str(missing) + " intact data record(s) missing from the output, the first " + first_missing);
}

struct Variant {
  std::vector<std::string> opts;
  bool big;
};

TEST(Campaign, DamagedFilesAreRepairedIntoReadableFilesWithEveryIntactRecord) {
  const uint64_t seed = env_number("AVF_CAMPAIGN_SEED", 20240611);
  const uint64_t cases = env_number("AVF_CAMPAIGN_CASES", 400);
  const long long only = static_cast<long long>(env_number("AVF_CAMPAIGN_CASE", ~0ull));
  const char *keep = std::getenv("AVF_CAMPAIGN_KEEP");

  const std::vector<Variant> variants = {
      {{"-a", "2", "-c", "4", "-n", "4", "-r", "5", "-S", "11"}, false},
      {{"-a", "2", "-c", "4", "-n", "4", "-r", "5", "-S", "11"}, true},
      {{"-a", "3", "-c", "8", "-n", "3", "-r", "4,0,6", "-V", "2", "-S", "12"}, false},
      {{"-a", "3", "-c", "8", "-n", "3", "-r", "4,0,6", "-V", "2", "-S", "12"}, true},
      {{"-a", "2", "-c", "4", "-n", "4", "-r", "3", "-V", "3", "-O", "1", "-S", "13"}, false},
      {{"-a", "2", "-c", "4", "-n", "4", "-r", "3", "-V", "3", "-O", "1", "-S", "13"}, true},
      {{"-a", "2", "-c", "2", "-n", "5", "-r", "2", "-V", "0", "-S", "14"}, true},
      {{"-a", "4", "-s", "6", "-b", "12", "-c", "4", "-n", "3", "-r", "1,4", "-S", "15"}, false},
  };
  Scratch gen;
  std::vector<Clean> clean;
  for (std::size_t i = 0; i < variants.size(); ++i)
    clean.push_back(make_clean(gen, "v" + std::to_string(i), variants[i].opts, variants[i].big));
  if (HasFailure()) return;

  // The clean files themselves come out with every record.
  Tally t;
  Scratch s;
  for (const Clean &c : clean) {
    std::vector<std::string> why;
    check_case(s, c, Damaged(c.in), t, why);
    EXPECT_TRUE(why.empty()) << "clean " << c.what << ": " << why.front();
  }
  EXPECT_EQ(t.intact, t.recovered);

  std::printf("campaign: seed %llu, %llu files\n", static_cast<unsigned long long>(seed),
              static_cast<unsigned long long>(cases));
  for (uint64_t n = 0; n < cases; ++n) {
    if (only >= 0 && static_cast<uint64_t>(only) != n) continue;
    Rng g(seed * 1000003ull + n);
    const Clean &c = clean[g.below(clean.size())];
    Damaged d(c.in);
    const int ops = g.chance(55) ? 1 : g.chance(65) ? 2 : 3;
    for (int i = 0; i < ops; ++i) {
      const Kind k = static_cast<Kind>(g.below(Kinds));
      ++t.kinds[k];
      damage(c, d, g, k);
    }
    std::vector<std::string> why;
    check_case(s, c, d, t, why);
    if (why.empty()) continue;
    ++t.failures;
    std::string all;
    for (const std::string &w : why) all += "\n    " + w;
    ADD_FAILURE() << "case " << n << " (AVF_CAMPAIGN_SEED=" << seed << " AVF_CAMPAIGN_CASE=" << n << ")\n  file: avfgen "
                  << c.what << "\n  damage: " << d.desc << all;
    if (keep && *keep) {
      std::filesystem::create_directories(keep);
      std::filesystem::copy_file(s.path("in.avf"), std::filesystem::path(keep) / ("case-" + std::to_string(n) + ".avf"),
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }

  std::printf("campaign: exit status 0/1/255: %lld/%lld/%lld; global header readable %lld, record "
              "placement intact %lld\n",
              t.statuses[0], t.statuses[1], t.statuses[2], t.header_read, t.geometry_kept);
  std::printf("campaign: damage:");
  for (int k = 0; k < Kinds; ++k) std::printf(" %s %lld;", KIND_NAME[k], t.kinds[k]);
  std::printf("\ncampaign: intact records recovered %lld / %lld (%.1f%%)\n", t.recovered, t.intact,
              t.intact ? 100.0 * static_cast<double>(t.recovered) / static_cast<double>(t.intact) : 100.0);
  EXPECT_GT(t.intact, 0);
  EXPECT_EQ(t.intact, t.recovered) << "intact data records missing from the output";
}

} // namespace
