// avfinfo: shows what an AVF file holds and whether it is damaged. It only
// reads: it never writes a file.
//
//   avfinfo [-i] file.avf [-V]
//     -i, --in      the file (also taken as a bare word)
//     -V, --verify  walk every record forwards and check every signature
//
// By default the scan table is built from the end of the file, as the merge
// tool does (a few reads per scan, fast on any size), and the file is called
// intact when that table accounts for every byte: the global header, then
// for each scan its header and data records, and nothing after them. When
// the table cannot be built or does not account for the file, and always
// with -V, the file is walked forwards record by record: every data record
// signature must carry the scan number and the next record number, every
// record must start on its boundary, every scan header must be readable and
// the file must end with a whole record.
//
// Output (standard output), in this order:
//
//   File        : NAME
//   Size        : BYTES bytes = N records of RECL bytes[ + B bytes]
//   Header recs : global H (B binary), scan S (SB binary)
//   VERSION     : header VERSION text
//   Record      : version V (2, 3, 4, or 0 for the reference layout), TEXT
//   Byte order  : big-endian|little-endian (BYTE_SEQ TEXT), as this host|this host is ...
//   Antennas    : N (NAMES of the antenna mask)
//   Samplers    : N
//   Baselines   : N
//   Channels    : N
//   Epoch       : MJD M = YYYY-MM-DD hh:mm:ss.sss
//   Integration : S s per record (AVF A x STATIME T usec)
//   (blank line)
//   Scan  Object        DATE-OBS                  Records  First record  Byte offset
//   one line per scan: number, object, DATE-OBS, data records, record number
//   and byte offset of the first record of its scan header ("?" and
//   "(header unreadable)" for a scan whose header cannot be read)
//   (blank line)
//   Index       : from the end: TEXT        (only when the table from the end
//                                            fails or does not fit the file)
//   Fault N: byte offset O (record R): WHAT
//     avfmend: WHAT THE REPAIR TOOL IS EXPECTED TO DO WITH IT
//   Note: TEXT
//   Verdict: intact (S scans, D data records; CHECK)
//   Verdict: damaged (N faults); avfmend is expected to recover it[ in part]
//   Verdict: unreadable
//
// "record R" is the record of the file in which byte offset O lies, counting
// records of RECL bytes from 0 at the start of the file. Exit status: 0
// intact, 2 damaged, 1 unreadable (cannot be opened, or no readable global
// header), with the reason on the standard error stream.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "avf.h"
#include "opt/opt.h"
#include "toolio.h"

namespace {

char *AvfFile = nullptr;
int Verify = 0;
std::string Usage;

enum Status { INTACT = 0, UNREADABLE = 1, DAMAGED = 2 };

// ---- Small text helpers ----

std::string textf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string textf(const char *fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

// A text from the file, fit to print: at most `max` characters, control
// characters and bytes outside ASCII as "?".
std::string printable(const char *s, std::size_t max) {
  std::string out;
  for (std::size_t i = 0; i < max && s[i]; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    out += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
  }
  return out;
}

std::string signature(long long scan, long long rec) {
  return textf("DATA%04lld.%05lld", scan, rec);
}

// Messages the library writes to the standard error stream during one call,
// taken instead into a pipe: they become the reason in a fault line.
class StderrCapture {
public:
  StderrCapture() {
    std::fflush(stderr);
    if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) return;
    saved_ = dup(2);
    if (saved_ < 0 || dup2(fds_[1], 2) < 0) {
      close_all();
      return;
    }
  }
  ~StderrCapture() { finish(); }
  StderrCapture(const StderrCapture &) = delete;
  StderrCapture &operator=(const StderrCapture &) = delete;

  // The messages, lines joined by "; ", without the last newline.
  std::string finish() {
    if (saved_ < 0) return text_;
    std::fflush(stderr);
    dup2(saved_, 2);
    std::clearerr(stderr);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds_[0], buf, sizeof buf)) > 0) text_.append(buf, static_cast<std::size_t>(n));
    close_all();
    while (!text_.empty() && (text_.back() == '\n' || text_.back() == ' ')) text_.pop_back();
    for (std::size_t i = 0; (i = text_.find('\n', i)) != std::string::npos;) text_.replace(i, 1, "; ");
    text_ = printable(text_.c_str(), 400);
    return text_;
  }

private:
  void close_all() {
    for (int &fd : fds_)
      if (fd >= 0) close(fd), fd = -1;
    if (saved_ >= 0) close(saved_), saved_ = -1;
  }
  int fds_[2] = {-1, -1};
  int saved_ = -1;
  std::string text_;
};

// ---- Header summary ----

// Calendar date and time of a modified Julian date, or "" when it has none.
std::string calendar(double mjd) {
  if (!std::isfinite(mjd) || mjd < -678575.0 || mjd > 2973483.0) return ""; // years 1 to 9999
  double whole = std::floor(mjd);
  long long ms = std::llround((mjd - whole) * 86400000.0);
  long long days = static_cast<long long>(whole);
  if (ms >= 86400000LL) ms -= 86400000LL, ++days;
  long long z = days - 40587 + 719468; // days since 1970-01-01, shifted to 0000-03-01
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1;
  long long m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  return textf("%04lld-%02lld-%02lld %02lld:%02lld:%02lld.%03lld", y, m, d, ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000);
}

const char *order_name(int order) { return order == BigEndian ? "big-endian" : "little-endian"; }

void print_header(const char *name, const AvfInfo &info, long long size) {
  const AvfHdr &h = info.lhdr;
  const long long recl = info.recl;
  std::printf("File        : %s\n", name);
  std::printf("Size        : %lld bytes = %lld records of %lld bytes", size, size / recl, recl);
  if (size % recl) std::printf(" + %lld bytes", size % recl);
  std::printf("\n");
  std::printf("Header recs : global %d (%d binary), scan %d (%d binary)\n", info.lrecs, info.lbrecs, info.srecs,
              info.sbrecs);
  std::printf("VERSION     : %s\n", printable(h.old_version, VALLEN).c_str());
  std::printf("Record      : version %d, %s\n", corr_read_version(h.old_version),
              printable(h.version, VALLEN).c_str());
  std::printf("Byte order  : %s (BYTE_SEQ %s), ", order_name(info.data_byte_order),
              printable(h.byte_seq, VALLEN).c_str());
  if (info.data_byte_order == info.local_byte_order)
    std::printf("as this host\n");
  else
    std::printf("this host is %s\n", order_name(info.local_byte_order));
  std::string names;
  const uint32_t mask = static_cast<uint32_t>(info.corr.daspar.antmask);
  for (int a = 0; a < MAX_ANTS; ++a)
    if (mask & (1u << a)) names += (names.empty() ? "" : " ") + printable(info.corr.antenna[a].name, 4);
  std::printf("Antennas    : %d (%s)\n", h.vinfo.antennas, names.c_str());
  std::printf("Samplers    : %d\n", h.vinfo.samplers);
  std::printf("Baselines   : %d\n", h.vinfo.baselines);
  std::printf("Channels    : %d\n", h.vinfo.channels);
  const double mjd = info.corr.daspar.mjd_ref;
  const std::string date = calendar(mjd);
  std::printf("Epoch       : MJD %.6f = %s\n", mjd, date.empty() ? "(no calendar date)" : date.c_str());
  const int avf = info.corr.daspar.avf, statime = info.corr.corrpar.statime;
  std::printf("Integration : %.6f s per record (AVF %d x STATIME %d usec)\n",
              static_cast<double>(avf) * statime / 1.0e6, avf, statime);
}

// ---- The scan table ----

struct ScanRow {
  bool readable = false;
  std::string object, date;
  long long recs = 0;
  long long offset = 0; // of the first record of the scan header
};

void print_table(const std::vector<ScanRow> &rows, long long recl) {
  std::printf("\nScan  Object        DATE-OBS                  Records  First record  Byte offset\n");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ScanRow &r = rows[i];
    std::printf("%4zu  %-12s  %-24s  %7lld  %12lld  %11lld\n", i, r.readable ? r.object.c_str() : "?",
                r.readable ? r.date.c_str() : "(header unreadable)", r.recs, r.offset / recl, r.offset);
  }
  std::printf("\n");
}

ScanRow row_from(const ScanHdrTab &e, long long offset) {
  ScanRow r;
  r.readable = true;
  r.object = printable(e.shdr.object, 12);
  r.date = printable(e.shdr.date_obs, 24);
  r.recs = e.recs;
  r.offset = offset;
  return r;
}

// ---- Faults ----

// What the repair tool is expected to make of a fault.
enum class Mend { Recovers, InPart };

struct Fault {
  long long at;
  std::string what;
  std::string mend;
  Mend kind;
};

// ---- The forward walk ----

constexpr long long SCAN_MOD = 10000, REC_MOD = 100000; // what a signature's fields hold

bool is_digits(const unsigned char *p, int n) {
  for (int i = 0; i < n; ++i)
    if (p[i] < '0' || p[i] > '9') return false;
  return true;
}

// A whole data record signature at p: "DATA", four digits, ".", five digits.
bool data_signature(const unsigned char *p, long long &scan, long long &rec) {
  if (std::memcmp(p, "DATA", 4) != 0 || !is_digits(p + 4, 4) || p[8] != '.' || !is_digits(p + 9, 5)) return false;
  scan = rec = 0;
  for (int i = 4; i < 8; ++i) scan = scan * 10 + (p[i] - '0');
  for (int i = 9; i < 14; ++i) rec = rec * 10 + (p[i] - '0');
  return true;
}
// The start of a scan header line: "SCAN" and four digits.
bool scan_signature(const unsigned char *p) { return std::memcmp(p, "SCAN", 4) == 0 && is_digits(p + 4, 4); }

class Walker {
public:
  Walker(std::FILE *fp, AvfInfo &info, long long size)
      : fp_(fp), info_(info), size_(size), recl_(info.recl), win_(fileno(fp), static_cast<std::size_t>(info.recl)) {}

  // False when the read-ahead buffer could not be allocated.
  bool run();

  std::vector<ScanRow> rows;
  std::vector<Fault> faults;
  long long data_records = 0;

private:
  enum class Kind { Data, Scan, None };
  struct Found {
    Kind kind = Kind::None;
    long long at = 0, scan = 0, rec = 0;
  };

  bool read_header(long long at, std::string &reason);
  Found search(long long from);
  void data_record(const unsigned char *rec);
  bool numbering_fault(long long s, long long r);
  // Something other than the expected record stands at pos_: find the next
  // signature from `from` on, describe what lies between and go on there.
  // `header_reason` is set when pos_ begins with "SCAN" but is no readable
  // scan header. False at the end of the file.
  bool resync(long long from, const std::string *header_reason);
  void fault(long long at, std::string what, std::string mend, Mend kind) {
    faults.push_back({at, std::move(what), std::move(mend), kind});
  }
  std::string gap_text(long long gap) const;
  std::string shift_text(long long at);
  std::string expected() const { return signature(scan_, next_rec_); }
  bool header_written() const {
    for (const ScanRow &r : rows)
      if (r.readable) return true;
    return false;
  }

  std::FILE *fp_;
  AvfInfo &info_;
  long long size_, recl_;
  toolio::RecordWindow win_;
  long long pos_ = 0;
  long long last_sig_ = 0; // start of the last record or header accepted
  // Scan and record number the next data record's signature should carry:
  // the low digits of the scan's place in the file and of the record's in
  // the scan, as far as the signature's fields hold them.
  long long scan_ = -1;
  long long next_rec_ = 0;
  long long shift_ = 0;    // how far records stand from their boundaries now
};

bool Walker::read_header(long long at, std::string &reason) {
  StderrCapture cap;
  bool ok = fseeko(fp_, static_cast<off_t>(at), SEEK_SET) == 0 && get_scan_hdr(fp_, &info_, 0) == 0;
  reason = cap.finish();
  if (!ok && reason.empty()) reason = "cannot be read";
  return ok;
}

Walker::Found Walker::search(long long from) {
  constexpr long long CHUNK = 1 << 19, OVERLAP = 13;
  Found f;
  for (long long x = from; x < size_;) {
    const long long len = std::min(CHUNK, size_ - x);
    const unsigned char *p = win_.at(x, static_cast<std::size_t>(len));
    if (!p) return f;
    const bool last = x + len >= size_;
    for (long long i = 0; i < len; ++i) {
      if (p[i] != 'D' && p[i] != 'S') continue;
      if (i + 14 > len && !last) break; // looked at again in the next chunk
      long long s = 0, r = 0;
      if (i + 14 <= len && data_signature(p + i, s, r)) return {Kind::Data, x + i, s, r};
      if (i + 8 <= len && scan_signature(p + i)) return {Kind::Scan, x + i, 0, 0};
    }
    if (last) break;
    x += len - OVERLAP;
  }
  return f;
}

std::string Walker::gap_text(long long gap) const {
  if (gap < 0) return textf("%lld bytes missing", -gap);
  std::string t = textf("%lld bytes without a signature", gap);
  if (gap % recl_ == 0) t += textf(" (%lld record%s)", gap / recl_, gap / recl_ == 1 ? "" : "s");
  return t;
}

// Reports a change of the records' distance from their boundaries.
std::string Walker::shift_text(long long at) {
  long long off = at % recl_;
  if (off > recl_ / 2) off -= recl_;
  if (off == shift_) return "";
  shift_ = off;
  if (off == 0) return "; from there on the records are back on their boundaries";
  return textf("; from there on the records stand %lld bytes %s their boundaries", off > 0 ? off : -off,
                off > 0 ? "after" : "before");
}

bool Walker::resync(long long from, const std::string *header_reason) {
  const long long at = pos_;
  const Found f = search(from);
  const long long gap = (f.kind == Kind::None ? size_ : f.at) - at;
  std::string what = header_reason ? "a record beginning with SCAN is no readable scan header (" + *header_reason + ")"
                                   : gap_text(gap);
  // The repair tool searches from where it expected a record, and takes a
  // signature that begins up to 3 bytes before that.
  const bool mend_finds = f.kind != Kind::None && f.at >= at - 3;

  if (f.kind == Kind::None) {
    if (header_reason && at + info_.srecs * recl_ > size_)
      what = textf("the file ends %lld bytes into a scan header", size_ - at);
    else if (!header_reason)
      what += " up to the end of the file";
    fault(at, what, "copies everything before it, then stops with status 1", Mend::InPart);
    return false;
  }
  if (f.kind == Kind::Scan) {
    what += header_reason ? "" : " before the scan header at byte offset " + std::to_string(f.at);
    what += shift_text(f.at);
    if (mend_finds)
      fault(at, what, "skips it and goes on with the next scan header", Mend::Recovers);
    else
      fault(at, what, "misses the scan header after it: that scan's data goes to the scan before", Mend::InPart);
    pos_ = f.at;
    return true;
  }
  // A data record.
  const std::string found = signature(f.scan, f.rec);
  const long long next_index = static_cast<long long>(rows.size()), next_scan = next_index % SCAN_MOD;
  std::string mend;
  Mend kind = Mend::Recovers;
  if (f.scan == scan_ && f.rec >= next_rec_) {
    const long long lost = f.rec - next_rec_;
    if (header_reason)
      what += lost ? " in place of " + expected() : " before " + found;
    else if (lost > 0 && gap == lost * recl_)
      what += " in place of " + expected() + (lost > 1 ? " to " + signature(scan_, f.rec - 1) : "");
    else {
      what += " before " + found;
      if (lost > 0) what += textf("; %lld data record%s missing", lost, lost == 1 ? "" : "s");
    }
    mend = "recovers the scan: its records go on";
  } else if (f.scan == next_scan && f.scan != scan_) {
    if (!header_reason)
      what += gap == info_.srecs * recl_ ? " in place of the scan header of scan " + std::to_string(next_index)
                                         : " before " + found + ": the scan header of scan " +
                                               std::to_string(next_index) + " is missing";
    else
      what = "the scan header of scan " + std::to_string(next_index) + " is unreadable (" + *header_reason + ")";
    if (f.rec != 0) what += "; its first data record is " + found;
    ScanRow r;
    r.offset = at;
    rows.push_back(r);
    kind = Mend::InPart;
    mend = header_written()
               ? "keeps the data of scan " + std::to_string(next_index) + " but appends it to scan " +
                     std::to_string(next_index - 1)
               : "drops the data of scan " + std::to_string(next_index) + ": no readable scan header comes before it";
  } else {
    what += " before " + found + ", where " + expected() + " was expected";
    mend = "renumbers the records after it";
  }
  what += shift_text(f.at);
  if (!mend_finds) {
    mend += "; it misses " + found + ", whose signature begins before its boundary";
    kind = Mend::InPart;
  }
  if (rows.empty()) { // data before any scan header at all
    ScanRow r;
    r.offset = at;
    rows.push_back(r);
  }
  fault(at, what, mend, kind);
  scan_ = f.scan;
  next_rec_ = f.rec;
  pos_ = f.at;
  return true;
}

// A data record at pos_ carries the signature (s, r) where another was
// expected. True when the numbering goes on from (s, r); false when only this
// signature is damaged, because the next record carries the number that
// follows the one expected here.
bool Walker::numbering_fault(long long s, long long r) {
  long long ns = 0, nr = 0;
  const unsigned char *next = pos_ + recl_ + 14 <= size_ ? win_.at(pos_ + recl_, 14) : nullptr;
  const std::string what = signature(s, r) + " where " + expected() + " was expected";
  if (next && data_signature(next, ns, nr) && ns == scan_ && nr == (next_rec_ + 1) % REC_MOD) {
    fault(pos_, what + ": a damaged signature", "renumbers it", Mend::Recovers);
    return false;
  }
  const long long next_index = static_cast<long long>(rows.size()), next_scan = next_index % SCAN_MOD;
  if (s == scan_ && r > next_rec_) {
    fault(pos_, what + textf(": %lld data record%s missing", r - next_rec_, r - next_rec_ == 1 ? "" : "s"),
          "renumbers the records after it", Mend::Recovers);
  } else if (s == next_scan && r == 0) {
    fault(pos_, what + ": the scan header of scan " + std::to_string(next_index) + " is missing",
          "keeps the data of scan " + std::to_string(next_index) + " but appends it to scan " +
              std::to_string(next_index - 1),
          Mend::InPart);
    ScanRow row;
    row.offset = pos_;
    rows.push_back(row);
  } else {
    fault(pos_, what, "renumbers the records after it", Mend::Recovers);
  }
  return true;
}

void Walker::data_record(const unsigned char *rec) {
  long long s = 0, r = 0;
  if (!data_signature(rec, s, r)) {
    fault(pos_, "data record signature unreadable: \"" + printable(reinterpret_cast<const char *>(rec), 14) + "\"",
          "renumbers it", Mend::Recovers);
    s = scan_, r = next_rec_;
  } else if ((s != scan_ || r != next_rec_) && !numbering_fault(s, r)) {
    // Only this signature is wrong: count the record where it stands.
    s = scan_, r = next_rec_;
  }
  if (rows.empty()) {
    ScanRow row;
    row.offset = pos_;
    rows.push_back(row);
  }
  ++rows.back().recs;
  ++data_records;
  scan_ = s;
  next_rec_ = (r + 1) % REC_MOD;
  last_sig_ = pos_;
  pos_ += recl_;
}

bool Walker::run() {
  if (!win_.ok()) return false;
  info_.stab = std::make_unique<ScanHdrTab[]>(1);
  info_.scans = 1;
  pos_ = static_cast<long long>(info_.lrecs) * recl_;
  last_sig_ = pos_ - 1;
  while (pos_ < size_) {
    if (size_ - pos_ < recl_) {
      const unsigned char *p = win_.at(pos_, static_cast<std::size_t>(size_ - pos_));
      long long s = 0, r = 0;
      std::string what = textf("the file ends %lld bytes into a record", size_ - pos_);
      if (p && size_ - pos_ >= 14 && data_signature(p, s, r)) what += " (" + signature(s, r) + ")";
      fault(pos_, what, "drops the incomplete record and keeps everything before it", Mend::Recovers);
      break;
    }
    const unsigned char *rec = win_.at(pos_, static_cast<std::size_t>(recl_));
    if (!rec) {
      fault(pos_, "cannot be read", "cannot read it either", Mend::InPart);
      break;
    }
    if (std::memcmp(rec, "DATA", 4) == 0) {
      data_record(rec);
      continue;
    }
    if (std::memcmp(rec, "SCAN", 4) == 0) {
      std::string reason;
      if (read_header(pos_, reason)) {
        rows.push_back(row_from(info_.stab[0], pos_));
        rows.back().recs = 0;
        scan_ = static_cast<long long>(rows.size() - 1) % SCAN_MOD;
        next_rec_ = 0;
        last_sig_ = pos_;
        pos_ += static_cast<long long>(info_.srecs) * recl_;
        continue;
      }
      if (!resync(pos_ + 1, &reason)) break;
      continue;
    }
    if (!resync(last_sig_ + 1, nullptr)) break;
  }
  return true;
}

// ---- The table from the end ----

// The scan table as the merge tool builds it, when it accounts for every
// byte of the file; otherwise false with what does not fit in `why`.
bool index_from_end(std::FILE *fp, AvfInfo &info, long long size, std::vector<ScanRow> &rows, std::string &why) {
  StderrCapture cap;
  const int r = make_scantab(fp, &info);
  why = cap.finish();
  if (r != 0) {
    if (why.empty()) why = "the scan table cannot be built";
    return false;
  }
  const long long recl = info.recl;
  long long next = info.lrecs;
  for (int i = 0; i < info.scans; ++i) {
    const ScanHdrTab &e = info.stab[i];
    if (e.start_rec != next) {
      why = textf("scan %d begins at record %u, not at record %lld after the scan before", i, e.start_rec, next);
      return false;
    }
    rows.push_back(row_from(e, next * recl));
    next += info.srecs + static_cast<long long>(e.recs);
  }
  if (next * recl != size) {
    why = textf("the scans end at byte offset %lld, the file at %lld", next * recl, size);
    return false;
  }
  return true;
}

// ---- The program ----

std::string counts(std::size_t scans, long long records) {
  return textf("%zu scan%s, %lld data record%s", scans, scans == 1 ? "" : "s", records, records == 1 ? "" : "s");
}

int avfinfo(int argc, char **argv) {
  if ((!AvfFile || !*AvfFile) && argc > 1) AvfFile = argv[1], --argc, ++argv;
  if (!AvfFile || !*AvfFile || argc > 1) {
    std::fputs(Usage.c_str(), stderr);
    return UNREADABLE;
  }
  toolio::File in = toolio::open_stream(AvfFile, "rb", false);
  struct stat st;
  if (!in || fstat(fileno(in.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "avfinfo: cannot open %s\n", AvfFile);
    std::printf("Verdict: unreadable\n");
    return UNREADABLE;
  }
  const long long size = static_cast<long long>(st.st_size);
  auto info = std::make_unique<AvfInfo>();
  info->local_byte_order = host_byte_order();
  std::string why;
  {
    StderrCapture cap;
    const int r = get_avf_hdr(in.get(), info.get());
    why = cap.finish();
    if (r == 0 && info->recl < SIGNATURE_LEN) why = textf("record length %d cannot hold a signature", info->recl);
    if (r != 0 || info->recl < SIGNATURE_LEN) {
      std::fprintf(stderr, "avfinfo: %s: no readable global header (%s); avfmend cannot read it either\n", AvfFile,
                   why.c_str());
      std::printf("Verdict: unreadable\n");
      return UNREADABLE;
    }
  }
  print_header(AvfFile, *info, size);

  std::vector<ScanRow> rows;
  const bool indexed = index_from_end(in.get(), *info, size, rows, why);
  if (indexed && !Verify) {
    long long recs = 0;
    for (const ScanRow &r : rows) recs += r.recs;
    print_table(rows, info->recl);
    std::printf("Verdict: intact (%s; indexed from the end, -V checks every record)\n", counts(rows.size(), recs).c_str());
    return INTACT;
  }

  Walker w(in.get(), *info, size);
  if (!w.run()) {
    std::fprintf(stderr, "avfinfo: out of memory\n");
    return UNREADABLE;
  }
  print_table(w.rows, info->recl);
  if (!indexed) std::printf("Index       : from the end: %s\n", why.c_str());
  bool in_part = false;
  for (std::size_t i = 0; i < w.faults.size(); ++i) {
    const Fault &f = w.faults[i];
    std::printf("Fault %zu: byte offset %lld (record %lld): %s\n  avfmend: %s\n", i + 1, f.at, f.at / info->recl,
                f.what.c_str(), f.mend.c_str());
    in_part |= f.kind == Mend::InPart;
  }
  if (w.faults.empty()) {
    if (!indexed) {
      if (!w.rows.empty() && w.rows.back().recs == 0)
        std::printf("Note: the last scan has no data records; the merge tool leaves it out\n");
      else
        std::printf("Note: the merge tool cannot index this file from its end\n");
    }
    std::printf("Verdict: intact (%s; every record checked)\n", counts(w.rows.size(), w.data_records).c_str());
    return INTACT;
  }
  std::printf("Verdict: damaged (%zu fault%s); avfmend is expected to recover it%s\n", w.faults.size(),
              w.faults.size() == 1 ? "" : "s", in_part ? " in part" : "");
  return DAMAGED;
}

} // namespace

int main(int argc, char **argv) {
  optrega(&AvfFile, OPT_STRING, 'i', "in", "Input AVF File");
  optmode(&AvfFile, OPT_FLEXIBLE);
  optrega(&Verify, OPT_BOOL, 'V', "verify", "Check every record");
  constexpr const char *ARGS = "[-i] InputAvfFile [-V (verify)]\n";
  Usage = std::string("Usage: ") + (argc > 0 ? argv[0] : "avfinfo") + " " + ARGS;
  optUsage(ARGS); // the option library's help puts "Usage:" and the name before it
  optTitle("Shows what an AVF file holds and whether it is damaged\n");
  optMain(avfinfo);
  opt(&argc, &argv);
  return avfinfo(argc, argv);
}
