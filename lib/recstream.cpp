// Moving through the record stream of an AVF file, single data records, and
// the scan table built from the end of the file backwards.
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string.h>

#include "avf.h"

namespace {

constexpr long long SEEK_SPAN = 1LL << 30; // longest single move, in bytes

bool starts_with(const unsigned char *rec, std::size_t len, const char *tag) {
  return len >= 4 && std::memcmp(rec, tag, 4) == 0;
}
bool starts_with_data(const unsigned char *rec, std::size_t len) { return starts_with(rec, len, "DATA"); }

// Scan and record number of a data record's signature: the ten characters
// from byte 4 with the "." between them read as a blank.
bool read_signature(const unsigned char *rec, std::size_t len, int &scan, int &recno) {
  if (len < 14) return false;
  char f[11];
  std::memcpy(f, rec + 4, 10);
  f[10] = '\0';
  f[4] = ' ';
  for (int i = 0; i < 10; ++i) // digits only: anything else is no signature
    if (i != 4 && (f[i] < '0' || f[i] > '9')) return false;
  return std::sscanf(f, "%d %d", &scan, &recno) == 2;
}

bool read_record(std::FILE *fp, unsigned char *buf, int recl) {
  return std::fread(buf, 1, static_cast<std::size_t>(recl), fp) == static_cast<std::size_t>(recl);
}

long long position(std::FILE *fp) { return static_cast<long long>(ftello(fp)); }

} // namespace

int avfseek(std::FILE *fp, int nrec, int recl) {
  if (recl <= 0) return 1;
  long long m = SEEK_SPAN / recl;
  if (m == 0) m = 1; // records longer than a span move one at a time
  long long n = nrec;
  const long long k = n > 0 ? 1 : -1;
  int failed = 0;
  if (k * n < m) return fseeko(fp, static_cast<off_t>(n * recl), SEEK_CUR) == 0 ? 0 : 1;
  while (k * n > 0) {
    long long step = k * n > m ? k * m : n;
    failed |= fseeko(fp, static_cast<off_t>(step * recl), SEEK_CUR) != 0;
    n -= step;
  }
  return failed;
}

long locate(const void *needle, long nl, const void *haystack, long hl) {
  if (nl < 0 || hl < 0 || nl > hl) return -1;
  if (nl == 0) return 0;
  const void *at = memmem(haystack, static_cast<std::size_t>(hl), needle, static_cast<std::size_t>(nl));
  return at ? static_cast<const unsigned char *>(at) - static_cast<const unsigned char *>(haystack) : -1;
}

void update_signature(void *dbuf, int scanno, int recno) {
  // Numbers that do not fit their fields keep their low digits, like a
  // counter that rolls over: the signature stays 17 well-formed bytes.
  unsigned s = static_cast<unsigned>(scanno) % 10000u;
  unsigned r = static_cast<unsigned>(recno) % 100000u;
  if (scanno < 0) s = 0;
  if (recno < 0) r = 0;
  char sig[32];
  std::snprintf(sig, sizeof sig, "%4s%04u.%05u   ", "DATA", s, r);
  std::memcpy(dbuf, sig, SIGNATURE_LEN);
}

bool signature_is(const void *dbuf, int scanno, int recno) {
  unsigned char sig[SIGNATURE_LEN];
  update_signature(sig, scanno, recno);
  return std::memcmp(dbuf, sig, SIGNATURE_LEN) == 0;
}

namespace {
bool area_fits(long long off, long long size, std::size_t len) {
  return off >= 0 && size >= 0 && off + size <= static_cast<long long>(len);
}
} // namespace

void flipData(void *dbuf, std::size_t len, const AvfHdr *lh) {
  auto *b = static_cast<unsigned char *>(dbuf);
  const long long words = lh->data_size / 4;
  if (area_fits(lh->data_off, words * 4, len)) swap_long(b + lh->data_off, static_cast<int>(words));
  if (area_fits(lh->wt_off, 4, len)) swap_long(b + lh->wt_off, 1);
  if (area_fits(lh->time_off, 8, len)) {
    double t;
    std::memcpy(&t, b + lh->time_off, sizeof t);
    swap_d(&t, 1);
    std::memcpy(b + lh->time_off, &t, sizeof t);
  }
}

namespace {

// Searches backwards from the end of the file for the last record that begins
// with "DATA": at most five windows of recl bytes. On success the stream
// stands just after that record.
bool find_last_data_record(std::FILE *fp, unsigned char *win, int recl) {
  if (fseeko(fp, -static_cast<off_t>(recl), SEEK_END) != 0) return false;
  for (int tries = 0; tries < 5; ++tries) {
    long long start = position(fp);
    if (start < 0 || !read_record(fp, win, recl)) return false;
    if (starts_with_data(win, static_cast<std::size_t>(recl))) return true;
    long q = locate("DATA", 4, win, recl);
    long long next = q >= 0 ? start + q - recl : start - recl;
    if (next < 0 || fseeko(fp, static_cast<off_t>(next), SEEK_SET) != 0) return false;
  }
  return false;
}

// Nothing ends the file with a data record: explain the damage, build nothing.
void report_missing_tail(std::FILE *fp, unsigned char *rec, int recl, int srecs) {
  const off_t recl_o = recl;
  std::fprintf(stderr, "Checking for zero length last scan ");
  bool data_before = false;
  if (fseeko(fp, -static_cast<off_t>(srecs) * recl_o, SEEK_END) == 0 && read_record(fp, rec, recl) &&
      starts_with(rec, static_cast<std::size_t>(recl), "SCAN")) {
    std::fprintf(stderr, "Found...ignoring it\n");
    data_before = avfseek(fp, -2, recl) == 0 && read_record(fp, rec, recl) &&
                  starts_with_data(rec, static_cast<std::size_t>(recl));
  }
  if (!data_before) {
    std::fprintf(stderr, "Failed...Checking for fractional length last scan\n");
    long q = -1;
    long long start = -1;
    if (fseeko(fp, -recl_o, SEEK_END) == 0) {
      start = position(fp);
      if (read_record(fp, rec, recl)) q = locate("DATA", 4, rec, recl);
    }
    int s = 0, r = 0;
    if (q >= 0 && read_signature(rec + q, static_cast<std::size_t>(recl - q), s, r) && r == 0) {
      std::fprintf(stderr, "Found fractional length last scan (ignoring it)\n");
      if (s == 0) {
        std::fprintf(stderr, "(File has only one scan with <1 record\n");
        return;
      }
      off_t before = static_cast<off_t>(start + q) - static_cast<off_t>(srecs + 1) * recl_o;
      if (before >= 0 && fseeko(fp, before, SEEK_SET) == 0) read_record(fp, rec, recl);
    }
  }
  std::fprintf(stderr, "Missing Signature: Can't make ScanTab\n");
}

} // namespace

int make_scantab(std::FILE *fp, AvfInfo *linfo) {
  const int recl = linfo->recl, srecs = linfo->srecs;
  std::unique_ptr<unsigned char[]> rec(recl > 0 ? new (std::nothrow) unsigned char[recl] : nullptr);
  if (!rec) {
    std::fprintf(stderr, "Failed to malloc %d bytes\n", recl);
    return -1;
  }
  if (srecs <= 0) {
    std::fprintf(stderr, "Sync Lost: Can't make ScanTab\n");
    return -1;
  }
  unsigned char *buf = rec.get();
  int s = 0, r = 0;
  if (!find_last_data_record(fp, buf, recl) || !read_signature(buf, recl, s, r)) {
    report_missing_tail(fp, buf, recl, srecs);
    return -1;
  }

  linfo->stab.reset(new (std::nothrow) ScanHdrTab[static_cast<std::size_t>(s) + 1]());
  if (!linfo->stab) {
    linfo->scans = 0;
    std::fprintf(stderr, "Malloc Failure\n");
    return -1;
  }
  linfo->scans = s + 1;

  int n = r + 1;
  for (int i = s; i >= 0; --i) {
    ScanHdrTab &e = linfo->stab[i];
    e.recs = static_cast<uint32_t>(n);
    // Back to the first record of this scan's header, which is where the
    // scan starts whatever stands before it in the file. A move before the
    // file's start means its signatures claim records it does not hold.
    const long long at = avfseek(fp, -(srecs + n), recl) == 0 ? position(fp) : -1;
    if (at < 0 || at % recl != 0) {
      std::fprintf(stderr, "Sync Lost: Can't make ScanTab\n");
      return -1;
    }
    e.start_rec = static_cast<uint32_t>(at / recl);
    if (get_scan_hdr(fp, linfo, i) != 0) return -1;
    if (i == 0) break;
    if (avfseek(fp, -(srecs + 1), recl) != 0 || !read_record(fp, buf, recl)) {
      std::fprintf(stderr, "Sync Lost: Can't make ScanTab\n");
      return -1;
    }
    int sp = 0, rp = 0;
    if (starts_with_data(buf, recl)) {
      if (!read_signature(buf, recl, sp, rp) || sp != i - 1) {
        std::fprintf(stderr, "Scans Out of Seq: Can't make ScanTab\n");
        return -1;
      }
      n = rp + 1;
      continue;
    }
    std::fprintf(stderr, "Checking for zero length scan\n");
    if (avfseek(fp, -srecs, recl) != 0 || !read_record(fp, buf, recl) ||
        !starts_with(buf, static_cast<std::size_t>(recl), "SCAN")) {
      std::fprintf(stderr, "Sync Lost: Can't make ScanTab\n");
      return -1;
    }
    n = 0;
    avfseek(fp, srecs - 1, recl);
  }
  return 0;
}
