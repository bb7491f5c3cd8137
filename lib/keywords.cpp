// Keyword tables of the global and scan headers, and the keyword line parser.
#include "avf.h"
#include "keytable.h"
#include "textlines.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

using avf_text::begins_with;
using avf_text::END_OF_HEADER;
using avf_text::LineCursor;

namespace {

constexpr int KEY_CHARS = 8;  // keyword field, columns 0 to 7
constexpr int LAST_COL = 78;  // last column of a value; column 79 holds the newline

struct KeyEntry {
  const char *key;
  char type;
  void *value;
};

template <std::size_t N> int fill_table(KeyType *keys, const KeyEntry (&entries)[N]) {
  avf_text::KeyTable t(keys);
  for (const KeyEntry &s : entries)
    if (!t.add(s.key, s.type, s.value)) return 1;
  return t.count();
}

bool key_matches(std::string_view line, const KeyType &k) {
  std::size_t n = strnlen(k.key, KEY_CHARS);
  return n > 0 && begins_with(line, std::string_view(k.key, n));
}

// The value field of a keyword line, columns VALOFF to LAST_COL, as a
// NUL-terminated copy (at most 69 characters).
struct ValueField {
  char text[VALLEN] = {};
  explicit ValueField(std::string_view line) {
    if (line.size() <= VALOFF) return;
    std::string_view v = line.substr(VALOFF, LAST_COL + 1 - VALOFF);
    std::memcpy(text, v.data(), v.size());
    text[v.size()] = '\0';
  }
};

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

void store_whole_text(const char *field, char *target) {
  while (*field && is_space(*field)) ++field;
  std::size_t n = std::strlen(field);
  while (n > 0 && is_space(field[n - 1])) --n;
  std::memcpy(target, field, n);
  target[n] = '\0';
}

void store_first_word(const char *field, char *target) {
  char word[VALLEN];
  if (std::sscanf(field, "%79s", word) == 1) std::strcpy(target, word);
}

// "%i" and "%x" conversions; a number outside the target's range does not
// convert, so the target keeps its value as with any other bad number.
void store_int(const char *field, int *target) {
  char *end = nullptr;
  errno = 0;
  long long v = std::strtoll(field, &end, 0);
  if (end == field || errno == ERANGE || v < INT_MIN || v > INT_MAX) return;
  *target = static_cast<int>(v);
}

void store_hex(const char *field, unsigned *target) {
  char *end = nullptr;
  errno = 0;
  long long v = std::strtoll(field, &end, 16);
  if (end == field || errno == ERANGE) return;
  // A leading minus sign wraps as in C's unsigned conversions.
  if (v < -static_cast<long long>(UINT_MAX) || v > static_cast<long long>(UINT_MAX)) return;
  *target = static_cast<unsigned>(v);
}

void store_double(const char *field, double *target) {
  char *end = nullptr;
  double v = std::strtod(field, &end);
  if (end != field) *target = v;
}

void store_float(const char *field, float *target) {
  char *end = nullptr;
  float v = std::strtof(field, &end);
  if (end != field) *target = v;
}

// Converts the value of one keyword line into the descriptor's target.
// Returns false for an unknown type letter.
bool convert(const KeyType &k, std::string_view line) {
  ValueField f(line);
  switch (k.type) {
  case 'S': store_whole_text(f.text, static_cast<char *>(k.value)); return true;
  case 's':
  case 'c': store_first_word(f.text, static_cast<char *>(k.value)); return true;
  case 'd': store_double(f.text, static_cast<double *>(k.value)); return true;
  case 'f': store_float(f.text, static_cast<float *>(k.value)); return true;
  case 'i': store_int(f.text, static_cast<int *>(k.value)); return true;
  case 'x': store_hex(f.text, static_cast<unsigned *>(k.value)); return true;
  default:
    std::fprintf(stderr, "Illegal Type %c\n", k.type);
    return false;
  }
}

} // namespace

int set_avf_keys(AvfHdr *h, KeyType *keys) {
  const KeyEntry entries[] = {
      {"RECL    ", 'i', &h->recl},          {"HDR_RECS", 'i', &h->recs},
      {"REC_FORM", 's', h->rec_form},       {"OBS_MODE", 's', h->obs_mode},
      {"VERSION ", 'S', h->version},        {"D_TYPE  ", 'S', h->d_type},
      {"D_SIZE  ", 'S', h->d_size},         {"D_ALIGN ", 'S', h->d_align},
      {"INT_REP ", 'S', h->int_rep},        {"FL_REP  ", 's', h->fl_rep},
      {"BYTE_SEQ", 'S', h->byte_seq},       {"ANTENNAS", 'i', &h->vinfo.antennas},
      {"SAMPLERS", 'i', &h->vinfo.samplers}, {"BASELINE", 'i', &h->vinfo.baselines},
      {"CHANNELS", 'i', &h->vinfo.channels}, {"FLG_OFF ", 'i', &h->flg_off},
      {"FLG_SIZE", 'i', &h->flg_size},      {"FLGRECOF", 'i', &h->flg_rec_off},
      {"FLGRECSZ", 'i', &h->flg_rec_size},  {"FLGANTOF", 'i', &h->flg_ant_off},
      {"FLGANTSZ", 'i', &h->flg_ant_size},  {"FLGSMPOF", 'i', &h->flg_smp_off},
      {"FLGSMPSZ", 'i', &h->flg_smp_size},  {"FLGBASOF", 'i', &h->flg_bas_off},
      {"FLGBASSZ", 'i', &h->flg_bas_size},  {"FLGDATOF", 'i', &h->flg_dat_off},
      {"FLGDATSZ", 'i', &h->flg_dat_size},  {"TIME_OFF", 'i', &h->time_off},
      {"TIMESIZE", 'i', &h->time_size},     {"WT_OFF  ", 'i', &h->wt_off},
      {"WT_SIZE ", 'i', &h->wt_size},       {"PAR_OFF ", 'i', &h->par_off},
      {"PAR_SIZE", 'i', &h->par_size},      {"DATA_OFF", 'i', &h->data_off},
      {"DATASIZE", 'i', &h->data_size},     {"DATAFMT ", 's', h->data_fmt},
  };
  static_assert(sizeof entries / sizeof entries[0] == AVF_KEYS);
  return fill_table(keys, entries);
}

int set_scan_keys(ScanHdr *s, KeyType *keys, XScanPar *x) {
  const KeyEntry entries[] = {
      {"HDR_RECS", 'i', &s->recs},     {"ANTMASK ", 'x', &s->antmask},
      {"BANDMASK", 'x', &s->bandmask}, {"SEQ     ", 'i', &s->seq},
      {"PROJECT ", 's', s->project},   {"CODE    ", 's', s->code},
      {"OBJECT  ", 's', s->object},    {"RA-DATE ", 'd', &s->ra_date},
      {"DEC-DATE", 'd', &s->dec_date}, {"MJD_SRC ", 'd', &s->mjd_src},
      {"DRA/DT  ", 'd', &s->dra},      {"DDEC/DT ", 'd', &s->ddec},
      {"F_STEP  ", 'd', &s->f_step},   {"RF      ", 'S', x->rf},
      {"FIRST_LO", 'S', x->first_lo},  {"BB_LO   ", 'S', x->bb_lo},
      {"NET_SIGN", 'S', x->net_sign},  {"DATE-OBS", 'S', s->date_obs},
      {"INTEG   ", 'f', &s->integ},    {"MJD_REF ", 'd', &s->mjd_ref},
  };
  static_assert(sizeof entries / sizeof entries[0] == SCAN_KEYS);
  return fill_table(keys, entries);
}

int parse_ascii_hdr(int nkey, KeyType *keys, const char *buf, std::size_t len,
                    const char *start, const char *end) {
  for (int i = 0; i < nkey; ++i) keys[i].found = 0;
  int count = 0;
  LineCursor lines(buf, len);
  std::string_view line;

  if (start) {
    bool seen = false;
    while (!seen && lines.next(line)) {
      if (begins_with(line, END_OF_HEADER)) break;
      seen = begins_with(line, start);
    }
    if (!seen) {
      std::fprintf(stderr, "No %s section!\n", start);
      return -1;
    }
  }

  while (lines.next(line)) {
    if (begins_with(line, END_OF_HEADER) || (end && begins_with(line, end))) return count;
    if (line.find('=') == std::string_view::npos) continue;
    for (int i = 0; i < nkey; ++i) {
      KeyType &k = keys[i];
      if (k.found || !key_matches(line, k)) continue;
      k.found = 1;
      ++count;
      if (!convert(k, line)) return -1;
      break;
    }
  }
  return count;
}
