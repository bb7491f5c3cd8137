// Header writer: the global header and the scan headers of an AVF file, each
// assembled in one buffer (text lines, NUL filling, binary block) and written
// with one write of whole records; the host description of the Init section.
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "avf.h"

MachineSpecType MachineSpec;

namespace {

// Keyword tables.
const char *const InitName = "Init";
const char *const CorrName = "AddCorr";
const char *const ScanName = "ExtraScan";

enum RecType { HdrType = 0, ScanType = 1, DataType = 2, RecTypes = 3 };
const char *const RecCode[RecTypes] = {"HDR ", "SCAN", "DATA"};

enum InitKeyType { RECL = 0, HDR_RECS = 1, REC_FORM = 2, OBS_MODE = 3, VERSION = 4, InitKeys = 5 };
const char *const InitKey[InitKeys] = {"RECL", "HDR_RECS", "REC_FORM", "OBS_MODE", "VERSION"};

enum CorrKeyType { ANTENNAS = 0, SAMPLERS = 1, BASELINE = 2, CHANNELS = 3, CorrKeys = 4 };
const char *const CorrKey[CorrKeys] = {"ANTENNAS", "SAMPLERS", "BASELINE", "CHANNELS"};

enum ScanKeyType { BAD_RECS = 0, BAD_ANTS = 1, BAD_SAMP = 2, BAD_BASE = 3, BAD_CHAN = 4, ScanKeys = 5 };
const char *const ScanKey[ScanKeys] = {"BAD_RECS", "BAD_ANTS", "BAD_SAMP", "BAD_BASE", "BAD_CHAN"};

// "MACHINE" is never written.
enum MacKeyType { MACHINE = 0, D_TYPE = 1, D_SIZE = 2, D_ALIGN = 3, INT_REP = 4, FL_REP = 5, BYTE_SEQ = 6, MacKeys = 7 };
const char *const MacKey[MacKeys] = {"MACHINE", "D_TYPE", "D_SIZE", "D_ALIGN", "INT_REP", "FL_REP", "BYTE_SEQ"};

const char *const DataTypeName[BaseTypes] = {"char", "short", "int", "long", "float", "double"};

// The D_SIZE and D_ALIGN lines describe the layout in which the binary
// records are stored: the fixed 32-bit x86 layout (8-byte members aligned to
// 4), whatever this host's own sizes and alignments are. That is what a
// reader of the file needs, and it keeps the written bytes independent of the
// writing host. GetMachineSpec still reports the host itself; its twos_comp,
// float_ieee and big_endian fields fill the other Init lines.
constexpr int StoredTypeSize[BaseTypes] = {1, 2, 4, 4, 4, 8};
constexpr int StoredTypeAlign[BaseTypes] = {1, 2, 4, 4, 4, 4};

struct KeyPair {
  const char *off, *size;
};
const KeyPair FlagKeys[] = {{"FLG_OFF ", "FLG_SIZE"}, {"FLGRECOF", "FLGRECSZ"}, {"FLGANTOF", "FLGANTSZ"},
                            {"FLGSMPOF", "FLGSMPSZ"}, {"FLGBASOF", "FLGBASSZ"}, {"FLGDATOF", "FLGDATSZ"}};
const KeyPair DataKeys[] = {{"TIME_OFF", "TIMESIZE"}, {"WT_OFF  ", "WT_SIZE "}, {"PAR_OFF ", "PAR_SIZE"},
                            {"DATA_OFF", "DATASIZE"}};
const char *const DataFmtKey = "DATAFMT ";

const char com_char = '*';
const char begin_char = '{';
const char end_char = '}';

constexpr long long SCAN_V2_DATE_KEY = 2001815; // 15 September 2001, month from 0
constexpr std::size_t SCAN_V1_SIZE = 304;
constexpr std::size_t SCAN_HEAD = offsetof(ScanInfoType, source); // status, t, proj
constexpr std::size_t SCAN_V1_SOURCE = SCAN_V1_SIZE - SCAN_HEAD;  // 216

template <typename T> struct AfterChar {
  char c;
  T x;
};
template <typename T> int32_t align_after_char() { return static_cast<int32_t>(offsetof(AfterChar<T>, x)); }

// The bytes of a float in memory compared with its big-endian IEEE image.
bool float_image_is(float value, const unsigned char (&image)[4], bool big_endian) {
  volatile float held = value;
  const float copy = held;
  unsigned char mem[4];
  std::memcpy(mem, &copy, 4);
  for (int i = 0; i < 4; ++i)
    if (mem[i] != image[big_endian ? i : 3 - i]) return false;
  return true;
}

// Puts a NUL-terminated text at `line` (LineLen bytes of room) as a header
// line and returns the start of the next one. Text longer than a line is cut.
char *put_text(char *line, const char *text) {
  const std::size_t len = strnlen(text, LineLen);
  std::memcpy(line, text, len < LineLen ? len + 1 : LineLen);
  return fill_line(line);
}

// A header line rewritten in place: "%-8s= %d".
void put_count_line(char *line, const char *key, int value) {
  char text[LineLen + 1];
  std::snprintf(text, sizeof text, "%-8s= %d", key, value);
  put_text(line, text);
}

// Stamps " %-7d %-7d" and a closing blank at column 16 of a first line.
void stamp_counts(char *line, int n, int b) {
  char text[LineLen];
  const int len = std::snprintf(text, sizeof text, " %-7d %-7d ", n, b);
  const int room = LineLen - 1 - 16; // columns 16 to 78
  std::memcpy(line + 16, text, static_cast<std::size_t>(len < room ? len : room));
}

// A text field up to its NUL, or whole when it has none.
template <std::size_t N> int field_len(const char (&a)[N]) { return static_cast<int>(strnlen(a, N)); }

// Records needed for `bytes`, and their size; recl > 0.
std::size_t records(std::size_t bytes, int recl) {
  return (bytes + static_cast<std::size_t>(recl) - 1) / static_cast<std::size_t>(recl);
}

std::size_t count_newlines(const char *p, const char *end) {
  std::size_t n = 0;
  for (; p < end; ++p) n += *p == '\n';
  return n;
}

// A header under construction: text lines from the start of one zeroed
// buffer sized for at most `lines` lines and `block` binary bytes.
class Header {
public:
  Header(std::size_t lines, std::size_t block, int recl)
      : recl_(recl), buf_((records(lines * LineLen, recl) + records(block, recl)) * static_cast<std::size_t>(recl)),
        text_end_(buf_.data() + lines * LineLen) {}
  Header(const Header &) = delete;
  Header &operator=(const Header &) = delete;
  char *pos() { return pos_; }
  const char *text_limit() const { return text_end_; }
  void set_pos(char *p) { pos_ = p; }
  // Writes a formatted line at the current position when the text area has
  // room for it (it always has for the sizes the writers compute).
  __attribute__((format(printf, 2, 3))) void line(const char *fmt, ...) {
    if (pos_ + LineLen > text_end_) return;
    char text[LineLen + 1];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    pos_ = put_text(pos_, text);
  }

  // Closes the text: NUL filling (already zero) with a newline as the last
  // byte of the last text record; places the binary block after it.
  // Returns the total record count; b receives the block's records.
  int finish(const void *block, std::size_t size, int &b) {
    const std::size_t text = static_cast<std::size_t>(pos_ - buf_.data());
    const std::size_t t = records(text, recl_);
    const std::size_t r = static_cast<std::size_t>(recl_);
    if (t > 0) buf_[t * r - 1] = '\n';
    std::memcpy(buf_.data() + t * r, block, size);
    const std::size_t bb = records(size, recl_);
    b = static_cast<int>(bb);
    return static_cast<int>(t + bb);
  }
  // Writes n records in one write: 0, or 1 when fewer arrived.
  int write(int n, std::FILE *fp) const {
    const std::size_t want = static_cast<std::size_t>(n);
    if (std::fwrite(buf_.data(), static_cast<std::size_t>(recl_), want, fp) != want) {
      std::fputs("Write Failure\n", stderr);
      return 1;
    }
    return 0;
  }

private:
  int recl_;
  std::vector<char> buf_;
  char *text_end_;
  char *pos_ = buf_.data();
};

int bad_recl(int recl) {
  if (recl > 0) return 0;
  std::fprintf(stderr, "Bad RECL %d\n", recl);
  return 1;
}

// Lines of the global header besides the correlator text: lines 1 to 41 and
// END_OF_HEADER.
constexpr std::size_t GLOBAL_LINES = 42;
// Lines of a scan header besides the sub-array section: SCAN, HDR_RECS, the
// ten ExtraScan lines and END_OF_HEADER.
constexpr std::size_t SCAN_LINES = 13;

int write_hdr_body(AvfInfo *linfo, std::FILE *fp) {
  if (bad_recl(linfo->recl)) return 1;
  GetMachineSpec(&MachineSpec);
  const AvfHdr &lh = linfo->lhdr;

  // The working copy carries the version text read from the Corrsys section.
  auto work = std::make_unique<CorrType>(linfo->corr);
  if (linfo->keep_version) {
    const char *v = lh.vinfo.corrlite.old_version;
    std::size_t n = strnlen(v, sizeof lh.vinfo.corrlite.old_version);
    if (n > sizeof work->version - 1) n = sizeof work->version - 1;
    std::memcpy(work->version, v, n);
    work->version[n] = '\0';
  }
  std::vector<char> text(CORRGEN_MAX);
  const int len = corrgen(work.get(), text.data());
  const char *text_begin = text.data();
  const char *text_end = text_begin + (len > 0 ? len : 0);
  // Up to the END_OF_HEADER line of the correlator text.
  for (const char *p = text_begin; p < text_end; ++p) {
    if (static_cast<std::size_t>(text_end - p) >= 7 && std::memcmp(p, "END_OF_", 7) == 0) {
      text_end = p;
      break;
    }
  }

  // The binary block in the arrangement the file was read in.
  const int version = corr_write_version(linfo);
  auto block = std::make_unique<CorrType>();
  corr_ref_to_stored(linfo, version, block.get());
  const std::size_t block_size = corr_block_size(version);

  Header h(GLOBAL_LINES + count_newlines(text_begin, text_end), block_size, linfo->recl);
  char *const first = h.pos();
  h.line("%4s%-12d", RecCode[HdrType], linfo->recl);
  h.line("*{ %s.def", InitName);
  h.line("%-8s= %d", InitKey[RECL], linfo->recl);
  char *const recs_line = h.pos();
  h.line("%-8s= %d", InitKey[HDR_RECS], linfo->lrecs);
  h.line("%-8s= %.*s", InitKey[REC_FORM], field_len(lh.rec_form), lh.rec_form);
  h.line("%-8s= %.*s", InitKey[OBS_MODE], field_len(lh.obs_mode), lh.obs_mode);
  const auto &version_text = linfo->keep_version ? lh.old_version : lh.version;
  h.line("%-8s= %.*s", InitKey[VERSION], field_len(version_text), version_text);

  char line[LineLen + 1];
  int n = std::snprintf(line, sizeof line, "%-8s= ", MacKey[D_TYPE]);
  for (int i = 0; i < BaseTypes; ++i)
    n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %s", DataTypeName[i]);
  h.line("%s", line);
  n = std::snprintf(line, sizeof line, "%-8s= ", MacKey[D_SIZE]);
  for (int i = 0; i < BaseTypes; ++i)
    n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %d", StoredTypeSize[i]);
  h.line("%s", line);
  n = std::snprintf(line, sizeof line, "%-8s= ", MacKey[D_ALIGN]);
  for (int i = 0; i < BaseTypes; ++i)
    n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %d", StoredTypeAlign[i]);
  h.line("%s", line);
  h.line("%-8s= %s Twos Comp", MacKey[INT_REP], MachineSpec.twos_comp ? "" : "NOT ");
  h.line("%-8s= %s IEEE", MacKey[FL_REP],
           MachineSpec.float_ieee == 1 ? "" : (MachineSpec.float_ieee == 2 ? "Partial " : "NOT "));
  h.line("%-8s= %s Endian", MacKey[BYTE_SEQ], MachineSpec.big_endian ? " Big" : " Little");
  h.line("*} %s", InitName);

  h.line("*{ %s.def", CorrName);
  const VisInfo &vi = lh.vinfo;
  const int counts[CorrKeys] = {vi.antennas, vi.samplers, vi.baselines, vi.channels};
  for (int i = 0; i < CorrKeys; ++i) h.line("%-8s= %d", CorrKey[i], counts[i]);
  const int flags[][2] = {{lh.flg_off, lh.flg_size},         {lh.flg_rec_off, lh.flg_rec_size},
                          {lh.flg_ant_off, lh.flg_ant_size}, {lh.flg_smp_off, lh.flg_smp_size},
                          {lh.flg_bas_off, lh.flg_bas_size}, {lh.flg_dat_off, lh.flg_dat_size}};
  for (int i = 0; i < 6; ++i) {
    h.line("%-8s= %d", FlagKeys[i].off, flags[i][0]);
    h.line("%-8s= %d", FlagKeys[i].size, flags[i][1]);
  }
  const int data[][2] = {{lh.time_off, lh.time_size}, {lh.wt_off, lh.wt_size},
                         {lh.par_off, lh.par_size},   {lh.data_off, lh.data_size}};
  for (int i = 0; i < 4; ++i) {
    h.line("%-8s= %d", DataKeys[i].off, data[i][0]);
    h.line("%-8s= %d", DataKeys[i].size, data[i][1]);
  }
  h.line("%-8s= %.*s", DataFmtKey, field_len(lh.data_fmt), lh.data_fmt);
  h.line("*} %s", CorrName);

  char *out = h.pos();
  copy_text_ln(text_begin, text_end, &out, h.text_limit());
  h.set_pos(out);
  h.line("END_OF_HEADER");

  int b = 0;
  const int total = h.finish(block.get(), block_size, b);
  if (total != linfo->lrecs) put_count_line(recs_line, InitKey[HDR_RECS], total);
  stamp_counts(first, total, b);
  if (h.write(total, fp)) return 1;
  linfo->lrecs = total;
  linfo->lbrecs = b;
  return 0;
}

int write_scan_body(const ScanInfoType *r, AvfInfo *linfo, int scanno, const char *date, std::FILE *fp) {
  if (bad_recl(linfo->recl)) return 1;
  const CorrType &corr = linfo->corr;
  // The product wraps in 32 bits as it always has; no signed overflow.
  const int32_t product = static_cast<int32_t>(static_cast<int64_t>(corr.daspar.avf) * corr.corrpar.statime);
  const float integ = static_cast<float>(product / 1000000.0);

  std::vector<char> sub(SCANPAR_MAX);
  const int len = put_scanpar(0, r->proj.seq, r, sub.data());
  const char *sub_end = sub.data() + (len > 0 ? len : 0);

  // The stored scan record: version 1 (304 bytes) for files whose version
  // text lacks "AVF" and whose first scan is dated before 15 September 2001.
  bool version1 = false;
  if (linfo->keep_version && !std::strstr(linfo->lhdr.old_version, "AVF") && linfo->stab) {
    const ScanHdr &s0 = linfo->stab[0].shdr;
    const long long key = s0.year * 1000LL + s0.month * 100LL + s0.day;
    version1 = key < SCAN_V2_DATE_KEY;
  }
  ScanInfoType stored = *r;
  std::size_t block_size = sizeof stored;
  if (version1) {
    ScanInfoType scan1{};
    scan2_to_scan1(r, &scan1);
    std::memcpy(&stored.source, &scan1.source, SCAN_V1_SOURCE);
    block_size = SCAN_V1_SIZE;
  }

  Header h(SCAN_LINES + count_newlines(sub.data(), sub_end), block_size, linfo->recl);
  char *const first = h.pos();
  // A scan number keeps its low four digits, so the line stays 80 bytes and
  // agrees with the data records' signatures.
  const unsigned shown = scanno < 0 ? 0u : static_cast<unsigned>(scanno) % 10000u;
  h.line("%4s%04u", RecCode[ScanType], shown);
  char *const recs_line = h.pos();
  h.line("%-8s= %d", InitKey[HDR_RECS], linfo->srecs);

  char *out = h.pos();
  copy_text_ln(sub.data(), sub_end, &out, h.text_limit());
  h.set_pos(out);

  h.line("*{ %s.def", ScanName);
  h.line("%-8.8s= %f ", "INTEG", static_cast<double>(integ));
  h.line("DATE-OBS= %s ", date ? date : "");
  h.line("MJD_REF = %f ", corr.daspar.mjd_ref);
  for (int i = 0; i < ScanKeys; ++i) h.line("%-8s= %s", ScanKey[i], "");
  h.line("*} %s", ScanName);
  h.line("END_OF_HEADER");

  int b = 0;
  const int total = h.finish(&stored, block_size, b);
  if (total != linfo->srecs) put_count_line(recs_line, InitKey[HDR_RECS], total);
  stamp_counts(first, total, b);
  if (h.write(total, fp)) return 1;
  linfo->srecs = total;
  linfo->sbrecs = b;
  return 0;
}

[[noreturn]] void malloc_failure() {
  std::fputs("Malloc Failure\n", stderr);
  std::exit(-1);
}

} // namespace

void GetMachineSpec(MachineSpecType *host) {
  host->type_size[Char] = sizeof(char);
  host->type_size[Short] = sizeof(short);
  host->type_size[Int] = sizeof(int);
  host->type_size[Long] = sizeof(long);
  host->type_size[Float] = sizeof(float);
  host->type_size[Double] = sizeof(double);
  host->type_align[Char] = align_after_char<char>();
  host->type_align[Short] = align_after_char<short>();
  host->type_align[Int] = align_after_char<int>();
  host->type_align[Long] = align_after_char<long>();
  host->type_align[Float] = align_after_char<float>();
  host->type_align[Double] = align_after_char<double>();

  // Two's complement: -1 has every bit set.
  volatile int minus_one = -1;
  const int m = minus_one;
  unsigned bits;
  std::memcpy(&bits, &m, sizeof bits);
  host->twos_comp = bits == ~0u ? 1 : 0;

  const uint16_t one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  host->big_endian = first == 0 ? 1 : 0;

  // 1.2345, -1.2345 and the subnormal with bits 0x80000371 (about -1.2345e-42).
  static const unsigned char pos[4] = {0x3F, 0x9E, 0x04, 0x19};
  static const unsigned char neg[4] = {0xBF, 0x9E, 0x04, 0x19};
  static const unsigned char sub[4] = {0x80, 0x00, 0x03, 0x71};
  const bool big = host->big_endian != 0;
  if (!float_image_is(1.2345f, pos, big))
    host->float_ieee = 0;
  else if (float_image_is(-1.2345f, neg, big) && float_image_is(-1.2345e-42f, sub, big))
    host->float_ieee = 1;
  else
    host->float_ieee = 2;
}

char *fill_line(char *line) {
  const std::size_t len = strnlen(line, LineLen);
  const std::size_t keep = len < LineLen - 1 ? len : LineLen - 1;
  for (std::size_t i = 0; i < keep; ++i)
    if (line[i] == '\n') line[i] = ' ';
  std::memset(line + keep, ' ', LineLen - 1 - keep);
  line[LineLen - 1] = '\n';
  return line + LineLen;
}

const char *getln(char *line, std::size_t cap, const char *text, const char *end) {
  std::size_t n = 0;
  const char *p = text;
  for (; p < end && *p != '\n'; ++p)
    if (n + 1 < cap) line[n++] = *p;
  if (cap > 0) line[n] = '\0';
  return p < end ? p + 1 : nullptr;
}

void copy_text_ln(const char *start, const char *end, char **out, const char *out_end) {
  char line[LineLen + 1];
  const char *p = start;
  while (p && p < end) {
    p = getln(line, sizeof line, p, end);
    if (!p) break; // a last piece without a newline is not a line
    if (std::isspace(static_cast<unsigned char>(line[0]))) continue;
    if (*out + LineLen > out_end) return;
    char *o = *out;
    std::size_t at = 0;
    if (line[0] == begin_char || line[0] == end_char) o[at++] = com_char;
    const std::size_t len = std::strlen(line);
    const std::size_t room = LineLen - at;
    std::memcpy(o + at, line, len < room ? len + 1 : room);
    *out = fill_line(o);
  }
}

int write_hdr(AvfInfo *linfo, std::FILE *fp) {
  try {
    return write_hdr_body(linfo, fp);
  } catch (const std::bad_alloc &) {
    malloc_failure();
  }
}

int write_scan(const ScanInfoType *r, int /*unused*/, AvfInfo *linfo, int scanno, const char *date,
               std::FILE *fp) {
  try {
    return write_scan_body(r, linfo, scanno, date, fp);
  } catch (const std::bad_alloc &) {
    malloc_failure();
  }
}
