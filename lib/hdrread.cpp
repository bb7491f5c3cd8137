// Reading the global header and the scan headers of an AVF file.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <algorithm>
#include <string>
#include <string_view>

#include "avf.h"
#include "textlines.h"

namespace {

constexpr const char *MONTHS[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr long SCAN_V2_DATE_KEY = 2001815; // 15 September 2001, month from 0

// Size of the file behind the stream, or -1 when it has none (a pipe).
long long stream_size(std::FILE *fp) {
  struct stat st;
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

// Room for `recs` records of `recl` bytes, after checking the numbers, which
// come from the file, against the file itself. Null after "File too short".
std::unique_ptr<char[]> header_buffer(std::FILE *fp, long long recs, int recl, std::size_t &bytes) {
  const long long size = stream_size(fp);
  const long long need = recs * recl; // recs and recl are ints: no overflow in 64 bits
  if (recl <= 0 || recs <= 0 || (size >= 0 && need > size)) {
    std::fprintf(stderr, "File too short\n");
    return nullptr;
  }
  std::unique_ptr<char[]> buf(new (std::nothrow) char[static_cast<std::size_t>(need)]);
  if (!buf) {
    std::fprintf(stderr, "MallocError\n");
    return nullptr;
  }
  bytes = static_cast<std::size_t>(need);
  return buf;
}

bool read_records(std::FILE *fp, char *buf, std::size_t bytes) {
  if (std::fread(buf, 1, bytes, fp) == bytes) return true;
  std::fprintf(stderr, "File too short\n");
  return false;
}

// The first line of a record, at most 79 characters, as a C string.
avf_text::LineCopy<80> first_line(const char *rec, std::size_t len) {
  std::string_view v(rec, len);
  std::size_t nl = v.find('\n');
  return avf_text::LineCopy<80>(v.substr(0, nl == std::string_view::npos ? v.size() : nl));
}

// Copies up to `want` bytes of a binary block that begins at record `first`
// of the buffer, stopping at the buffer's end. Returns the bytes copied.
std::size_t copy_block(void *dst, std::size_t want, const char *buf, std::size_t bytes, long long first,
                       int recl) {
  const long long off = first * recl;
  if (off < 0 || off >= static_cast<long long>(bytes)) return 0;
  std::size_t n = bytes - static_cast<std::size_t>(off);
  if (n > want) n = want;
  std::memcpy(dst, buf + off, n);
  return n;
}

bool starts_with(const char *buf, std::size_t bytes, std::string_view tag) {
  return bytes >= tag.size() && std::memcmp(buf, tag.data(), tag.size()) == 0;
}

long date_key(const ScanHdr &s) { return s.year * 1000L + s.month * 100L + s.day; }

// Whether the channel list of a correlator record, as the header writer puts
// it on the CHAN_NUM line (its first 69 characters), reads back as at least
// one channel: an item (a number, or a run first:last:step, which always
// yields its first number) whose first number is a channel below MAX_CHANS,
// before any number with a sign, where the list reader stops. An item cut at
// the end of the line is not counted. Without a channel, no header written
// from the record can be read.
bool lists_a_channel(const CorrType &c) {
  const int n = c.daspar.channels < MAX_CHANS ? c.daspar.channels : MAX_CHANS;
  if (n <= 0) return false;
  std::string list;
  print_range(list, c.daspar.chan_num, n);
  const bool cut = list.size() > 69;
  if (cut) list.resize(69);
  std::size_t at = 0;
  while (at < list.size()) {
    while (at < list.size() && list[at] == ' ') ++at;
    const std::size_t end = std::min(list.find(' ', at), list.size());
    if (at == end || list[at] == '-' || (cut && end == list.size())) return false;
    long first = 0;
    for (std::size_t i = at; i < end && list[i] >= '0' && list[i] <= '9' && first < MAX_CHANS; ++i)
      first = first * 10 + (list[i] - '0');
    if (first < MAX_CHANS) return true;
    at = end;
  }
  return false;
}

} // namespace

int host_byte_order() {
  const uint16_t one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  return first == 1 ? LittleEndian : BigEndian;
}

int get_avf_hdr(std::FILE *fp, AvfInfo *linfo) {
  std::rewind(fp);
  char line[80];
  if (!std::fgets(line, sizeof line, fp)) {
    std::fprintf(stderr, "GlobalHdrFmtErr\n");
    return 1;
  }
  if (std::strncmp(line, "HDR", 3) != 0) {
    std::fprintf(stderr, "No HDR keyword found!\n");
    return 1;
  }
  int recl = 0, h = 0, b = 0;
  if (std::sscanf(line, "%*s %d %d %d", &recl, &h, &b) < 3) std::fprintf(stderr, "FmtErr in HDR line\n");
  std::rewind(fp);
  if (h - static_cast<long long>(b) <= 0) {
    std::fprintf(stderr, "Total HdrRecs (%d) <= BinHdrRecs (%d)!\n", h, b);
    return 1;
  }
  if (b <= 0) { // no binary block: nothing could be read as the correlator record
    std::fprintf(stderr, "File too short\n");
    return 1;
  }

  std::size_t bytes = 0;
  std::unique_ptr<char[]> buf = header_buffer(fp, h + 1LL, recl, bytes);
  if (!buf || !read_records(fp, buf.get(), bytes)) return 1;

  AvfHdr &lh = linfo->lhdr;
  KeyType keys[MAX_KEYS];
  int nkey = set_avf_keys(&lh, keys);
  if (parse_ascii_hdr(nkey, keys, buf.get(), bytes, "*{ Init.def", "*} AddCorr") != AVF_KEYS) {
    std::fprintf(stderr, "Too few keywords found\n");
    return -1;
  }
  std::memcpy(lh.old_version, lh.version, sizeof lh.old_version);

  VisInfo &vi = lh.vinfo;
  const char *text = buf.get();
  if (get_corr_lite(text, bytes, &vi.corrlite) != 0 || get_ant_info(text, bytes, vi.antenna) != 0 ||
      get_samp_info(text, bytes, &vi) != 0 || get_base_info(text, bytes, vi.base) != 0 ||
      get_corrsel(text, bytes, &vi) != 0)
    return -1;

  copy_block(&linfo->corr, sizeof(CorrType), text, bytes, h - static_cast<long long>(b), recl);
  linfo->keep_version = 1;
  corr_stored_to_ref(linfo, corr_read_version(lh.version));

  linfo->data_byte_order = std::strstr(lh.byte_seq, "Big") ? BigEndian : LittleEndian;
  if (linfo->data_byte_order != linfo->local_byte_order) flipCorr(&linfo->corr);
  if (!lists_a_channel(linfo->corr)) {
    std::fprintf(stderr, "No channels in the correlator record\n");
    return -1;
  }

  linfo->lrecs = h;
  linfo->lbrecs = b;
  linfo->recl = recl;

  const char *scan = text + static_cast<std::size_t>(h) * recl;
  if (!starts_with(scan, static_cast<std::size_t>(recl), "SCAN")) {
    std::fprintf(stderr, "No SCAN keyword found : GET_AVF_HDR!\n");
    return 1;
  }
  int srecs = h, sbrecs = b;
  if (std::sscanf(first_line(scan, recl).text, "%*s %d %d", &srecs, &sbrecs) < 2)
    std::fprintf(stderr, "FmtErr in SCAN line\n");
  linfo->srecs = srecs;
  linfo->sbrecs = sbrecs;
  return 0;
}

int decompose_date(ScanHdr *shdr) {
  char weekday[VALLEN] = "", month[VALLEN] = "", time[VALLEN] = "";
  int day = 0, year = 0;
  std::sscanf(shdr->date_obs, "%79s %79s %d %79s %d", weekday, month, &day, time, &year);
  for (char *c = time; *c; ++c)
    if (*c == ':') *c = ' ';
  int hours = 0, minutes = 0;
  float seconds = 0;
  std::sscanf(time, "%d %d %f", &hours, &minutes, &seconds);
  int m = 0;
  while (m < 12 && std::strncmp(month, MONTHS[m], 3) != 0) ++m;
  if (m == 12) {
    std::fprintf(stderr, "Bad Date %s\n", shdr->date_obs);
    return -1;
  }
  shdr->year = year;
  shdr->day = day;
  shdr->month = m;
  shdr->ist = hours * 3600.0 + minutes * 60.0 + static_cast<double>(seconds);
  return 0;
}

int scan1_to_scan2(ScanHdrTab *entry, const char *version) {
  if (std::strstr(version, "AVF") || date_key(entry->shdr) >= SCAN_V2_DATE_KEY) return 0;
  auto *src = reinterpret_cast<unsigned char *>(&entry->scan.source);
  std::memmove(src + offsetof(SourceParType, ra_mean), src + offsetof(SourceParType, ra_app), 160);
  return 0;
}

int scan2_to_scan1(const ScanInfoType *scan, ScanInfoType *scan1) {
  const auto *from = reinterpret_cast<const unsigned char *>(&scan->source);
  auto *to = reinterpret_cast<unsigned char *>(&scan1->source);
  std::memcpy(to, from, sizeof(SourceParType));
  std::memmove(to + offsetof(SourceParType, ra_mean), from + offsetof(SourceParType, dra),
               sizeof(SourceParType) - offsetof(SourceParType, dra));
  return 0;
}

int get_scan_hdr(std::FILE *fp, AvfInfo *linfo, int nscan) {
  std::size_t bytes = 0;
  std::unique_ptr<char[]> buf = header_buffer(fp, linfo->srecs, linfo->recl, bytes);
  if (!buf || !read_records(fp, buf.get(), bytes)) return 1;
  if (!starts_with(buf.get(), bytes, "SCAN")) {
    std::fprintf(stderr, "No SCAN keyword found :GET_SCAN_HDR\n");
    return 1;
  }

  ScanHdrTab &entry = linfo->stab[nscan];
  ScanHdr &sh = entry.shdr;
  XScanPar x{};
  KeyType keys[MAX_KEYS];
  int nkey = set_scan_keys(&sh, keys, &x);
  int found = parse_ascii_hdr(nkey, keys, buf.get(), bytes, nullptr, nullptr);
  if (found != nkey) {
    if (found == nkey - 1 && x.net_sign[0] == '\0')
      std::strcpy(x.net_sign, "1 1 1 1 ");
    else {
      std::fprintf(stderr, "Too few keywords found\n");
      return 1;
    }
  }
  std::sscanf(x.rf, "%lf %lf", &sh.rf[0], &sh.rf[1]);
  std::sscanf(x.first_lo, "%lf %lf", &sh.first_lo[0], &sh.first_lo[1]);
  std::sscanf(x.bb_lo, "%lf %lf", &sh.bb_lo[0], &sh.bb_lo[1]);
  std::sscanf(x.net_sign, "%d %d %d %d", &sh.net_sign[0], &sh.net_sign[1], &sh.net_sign[2], &sh.net_sign[3]);
  if (decompose_date(&sh) != 0) return -1;
  // A header that lost records holds the record after it where its scan
  // record belongs: a data record or the next scan header is no scan record.
  const long long block = (static_cast<long long>(linfo->srecs) - linfo->sbrecs) * linfo->recl;
  if (block >= 0 && block < static_cast<long long>(bytes) &&
      (starts_with(buf.get() + block, bytes - static_cast<std::size_t>(block), "DATA") ||
       starts_with(buf.get() + block, bytes - static_cast<std::size_t>(block), "SCAN"))) {
    std::fprintf(stderr, "No scan record found :GET_SCAN_HDR\n");
    return 1;
  }

  copy_block(&entry.scan, sizeof(ScanInfoType), buf.get(), bytes,
             static_cast<long long>(linfo->srecs) - linfo->sbrecs, linfo->recl);
  scan1_to_scan2(&entry, linfo->lhdr.version);
  if (linfo->data_byte_order != linfo->local_byte_order) flipScanInfo(&entry.scan);
  return 0;
}
