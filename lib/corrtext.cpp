// Reading the correlator description sections of a global header back into
// the visibility description, with the range-list helpers.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "avf.h"
#include "keytable.h"
#include "textlines.h"

using avf_text::begins_with;
using avf_text::END_OF_HEADER;
using avf_text::LineCopy;
using avf_text::LineCursor;

namespace {

// The lines of one "*{ Name.def" ... "*} Name" section.
class Section {
public:
  Section(const char *text, std::size_t len, const char *name) : lines_(text, len) {
    std::snprintf(open_, sizeof open_, "*{ %s.def", name);
    std::snprintf(close_, sizeof close_, "*} %s", name);
  }

  // Moves past the opening line; false (after the message) when there is none.
  bool open() {
    std::string_view line;
    while (lines_.next(line)) {
      if (begins_with(line, END_OF_HEADER)) break;
      if (begins_with(line, open_)) return true;
    }
    std::fprintf(stderr, "No %s section!\n", open_);
    return false;
  }

  // The next line of the section that is not a comment.
  bool next(std::string_view &line) {
    while (lines_.next(line)) {
      if (begins_with(line, END_OF_HEADER) || begins_with(line, close_)) return false;
      if (!begins_with(line, "*")) return true;
    }
    return false;
  }

private:
  LineCursor lines_;
  char open_[32];
  char close_[32];
};

constexpr int NOT_LISTED = MAX_SAMPS; // "none" in the sampler tables
constexpr int NO_BASELINE = MAX_BASE; // "none" in the cross-baseline table

int clamp_count(int n, int cap) { return n < 0 ? 0 : (n > cap ? cap : n); }

} // namespace

int get_corr_lite(const char *text, std::size_t len, CorrLite *cl) {
  char clock[VALLEN] = "", sta[VALLEN] = "", statime[VALLEN] = "", t_unit[VALLEN] = "";
  KeyType keys[MAX_KEYS];
  avf_text::KeyTable t(keys);
  if (!t.add("VERSION ", 'S', cl->version) || !t.add("CLOCK   ", 'S', clock) ||
      !t.add("STA     ", 'S', sta) || !t.add("STATIME ", 'S', statime) ||
      !t.add("T_UNIT  ", 'S', t_unit) || !t.add("ANTS    ", 'i', &cl->ants) ||
      !t.add("F_ENABLE", 'i', &cl->f_enable) || !t.add("X_ENABLE", 'i', &cl->x_enable) ||
      !t.add("CHAN_MAX", 'i', &cl->chan_max) || !t.add("POLS    ", 'i', &cl->pols))
    return 1;
  int found = parse_ascii_hdr(t.count(), keys, text, len, "*{ Corrsys.def", "*} Corrsys");
  if (found != t.count()) {
    std::fprintf(stderr, "Too few keywords found\n");
    return -1;
  }
  std::sscanf(clock, "%lf %79s", &cl->clock, cl->clock_unit);
  std::sscanf(sta, "%d %79s", &cl->sta, cl->sta_unit);
  std::sscanf(statime, "%d %79s", &cl->statime, cl->statime_unit);
  std::sscanf(t_unit, "%lf %79s", &cl->t_unit, cl->t_unit_unit);
  std::memcpy(cl->old_version, cl->version, sizeof cl->old_version);
  return 0;
}

int get_ant_info(const char *text, std::size_t len, AntennaParType *ant) {
  Section sec(text, len, "Antenna");
  if (!sec.open()) return -1;
  int k = 0;
  std::string_view line;
  while (sec.next(line)) {
    if (!begins_with(line, "ANT")) continue;
    if (k == MAX_ANTS) {
      std::fprintf(stderr, "MAX_ANTS %d exceeded\n", MAX_ANTS);
      return -1;
    }
    // The antenna entries are packed records: convert into locals that start
    // from the entry's values, so a field that does not convert keeps its own.
    AntennaParType &a = ant[k];
    int num = -1;
    char name[VALLEN] = "";
    double v[5] = {a.bx, a.by, a.bz, a.d0[0], a.d0[1]};
    LineCopy<> l(line, 3);
    int n = std::sscanf(l.text, "%d %*s %79s %lf %lf %lf %lf %lf", &num, name, &v[0], &v[1], &v[2],
                        &v[3], &v[4]);
    if (n >= 2) { // names longer than the field are cut to its three characters
      std::size_t len = strnlen(name, sizeof a.name - 1);
      std::memcpy(a.name, name, len);
      a.name[len] = '\0';
    }
    a.bx = v[0];
    a.by = v[1];
    a.bz = v[2];
    a.d0[0] = v[3];
    a.d0[1] = v[4];
    if (num != k) {
      std::fprintf(stderr, "Antennas out of seq!\n");
      return -1;
    }
    ++k;
  }
  if (k == 32 || k == 30) return 0;
  std::fprintf(stderr, "WARNING: only %d antenna pars found\n", k);
  return -1;
}

int get_samp_info(const char *text, std::size_t len, VisInfo *vi) {
  Section sec(text, len, "Sampler");
  if (!sec.open()) return -1;
  for (int k = 0; k < MAX_SAMPS; ++k) {
    vi->samp[k].ant[0] = '\0';
    vi->samp[k].band[0] = '\0';
    vi->samp_num[k] = NOT_LISTED;
  }
  int k = 0, j = 0;
  std::string_view line;
  while (sec.next(line)) {
    if (!begins_with(line, "SMP")) continue;
    if (k == MAX_SAMPS) {
      std::fprintf(stderr, "MAX_SAMPS %d exceeded\n", MAX_SAMPS);
      return -1;
    }
    char word[VALLEN] = "";
    std::sscanf(LineCopy<>(line, VALOFF).text, "%79s", word);
    if (!begins_with(word, "None")) {
      SampInfo &s = vi->samp[k];
      int num = -1;
      std::sscanf(LineCopy<>(line, 3).text, "%d %*s%79s %79s %d", &num, s.ant, s.band, &s.fft_id);
      if (num != k) {
        std::fprintf(stderr, "Samplers out of seq!\n");
        return -1;
      }
      vi->samp_num[j++] = static_cast<int16_t>(num);
    }
    ++k;
  }
  return 0;
}

int get_base_info(const char *text, std::size_t len, BaselineType *base) {
  Section sec(text, len, "Baseline");
  if (!sec.open()) return -1;
  int k = 0;
  std::string_view line;
  while (sec.next(line)) {
    if (!begins_with(line, "BAS")) continue;
    if (k == MAX_BASE) {
      std::fprintf(stderr, "MAX_BASE %d exceeded\n", MAX_BASE);
      return -1;
    }
    BaselineType &b = base[k];
    int num = -1;
    std::sscanf(LineCopy<>(line, 3).text, "%d %*s %d %d %d %d %d %d %79s %79s %79s %79s", &num,
                &b.ant[0], &b.band[0], &b.ant[1], &b.band[1], &b.samp[0], &b.samp[1], b.antname[0],
                b.bandname[0], b.antname[1], b.bandname[1]);
    if (num != k) {
      std::fprintf(stderr, "BaseLines out of seq!\n");
      return -1;
    }
    ++k;
  }
  return 0;
}

namespace {

int reverse_number(const VisInfo *vi, int samp) {
  return samp >= 0 && samp < MAX_SAMPS ? vi->samp_rev_num[samp] : NOT_LISTED;
}

void build_sampler_tables(VisInfo *vi) {
  for (int s = 0; s < MAX_SAMPS; ++s) {
    vi->s_base_num[s] = NOT_LISTED;
    for (int t = 0; t < MAX_SAMPS; ++t) vi->x_base_num[s][t] = NO_BASELINE;
  }
  const int samplers = clamp_count(vi->samplers, MAX_SAMPS);
  for (int s = 0; s < MAX_SAMPS; ++s) {
    vi->samp_rev_num[s] = NOT_LISTED;
    for (int j = 0; j < samplers; ++j)
      if (vi->samp_num[j] == s) vi->samp_rev_num[s] = static_cast<int16_t>(j);
  }
  const int baselines = clamp_count(vi->baselines, MAX_BASE);
  for (int i = 0; i < baselines; ++i) {
    int s0 = reverse_number(vi, vi->base[i].samp[0]);
    int s1 = reverse_number(vi, vi->base[i].samp[1]);
    if (s0 == NOT_LISTED || s1 == NOT_LISTED) continue; // no place in the tables
    if (s0 == s1) {
      vi->s_base_num[s0] = static_cast<int16_t>(i);
    } else {
      vi->x_base_num[s0][s1] = static_cast<int16_t>(i);
      vi->x_base_num[s1][s0] = static_cast<int16_t>(-i);
    }
  }
}

} // namespace

int get_corrsel(const char *text, std::size_t len, VisInfo *vi) {
  Section sec(text, len, "Corrsel");
  if (!sec.open()) return -1;
  std::string_view line;
  while (sec.next(line)) {
    if (begins_with(line, "MODE")) {
      // The mode word is written as the hexadecimal of its 16 bits.
      unsigned mode = 0;
      if (std::sscanf(LineCopy<>(line, VALOFF).text, "%x", &mode) == 1)
        vi->mode = static_cast<int16_t>(mode & 0xffffu);
    } else if (begins_with(line, "AVF")) {
      std::sscanf(LineCopy<>(line, VALOFF).text, "%d", &vi->avf);
    } else if (begins_with(line, "CHAN_NUM")) {
      LineCopy<VALLEN> value(line, VALOFF); // at most 79 characters
      if (get_range(value.text, vi->chan_num, MAX_CHANS) == 0) {
        std::fprintf(stderr, "Bad Channel Range %s\n", value.text);
        return -1;
      }
    }
  }
  build_sampler_tables(vi);
  return 0;
}

// ---------------------------------------------------------------------------
// Range lists.

char *next_val(char *s) {
  static char *cursor = nullptr;
  if (s) cursor = s;
  if (!cursor) return nullptr;
  while (*cursor == ' ' || (*cursor >= '\t' && *cursor <= '\r')) ++cursor;
  if (*cursor == '\0') return nullptr;
  char *tok = cursor;
  if (*cursor == ':') {
    ++cursor;
    return tok;
  }
  if (*cursor == '-') ++cursor; // the sign of a descending run's step
  while (*cursor >= '0' && *cursor <= '9') ++cursor;
  if (cursor == tok) ++cursor; // anything else is a one-character token
  return tok;
}

namespace {

constexpr int RANGE_ENTRIES = 100; // working list of get_range
constexpr long COLON = LONG_MIN;   // marker entry

// A token as a decimal number: digits only, or a '-' and digits where a
// signed value is allowed. Returns false for anything else.
bool token_number(const char *tok, bool signed_ok, long &v) {
  const char *p = tok;
  if (*p == '-' && signed_ok) ++p;
  if (*p < '0' || *p > '9') return false;
  char *end = nullptr;
  errno = 0;
  v = std::strtol(tok, &end, 10);
  return errno != ERANGE && v >= INT_MIN && v <= INT_MAX;
}

} // namespace

int get_range(char *str, int16_t *arr, int max) {
  long list[RANGE_ENTRIES];
  int n = 0;
  int colons = 0; // colons so far in the current item: the third number is the step
  for (char *tok = next_val(str); tok && n < RANGE_ENTRIES;) {
    long v = 0;
    if (!token_number(tok, colons == 2, v)) {
      std::fprintf(stderr, "get_range: Illegal range\n");
      break;
    }
    list[n++] = v;
    tok = next_val(nullptr);
    if (tok && *tok == ':' && colons < 2 && n < RANGE_ENTRIES) {
      list[n++] = COLON;
      ++colons;
      tok = next_val(nullptr);
    } else {
      colons = 0;
    }
  }
  if (n > 0 && list[n - 1] == COLON) --n;

  int written = 0;
  for (int j = 0; j < n && written < max;) {
    long start = list[j], end = start, step = 1;
    int next = j + 1;
    if (j + 2 < n && list[j + 1] == COLON) {
      end = list[j + 2];
      next = j + 3;
      if (j + 4 < n && list[j + 3] == COLON) {
        step = list[j + 4];
        next = j + 5;
      }
    }
    j = next;
    if (start < 0) continue;
    if (step == 0) { // a run of equal values reads as its single value
      if (start < max) arr[written++] = static_cast<int16_t>(start);
    } else if (step > 0) {
      if (end >= max) end = max - 1;
      for (long v = start; v <= end && written < max; v += step) arr[written++] = static_cast<int16_t>(v);
    } else {
      // Descending: values at or above max are dropped from the top.
      long first = start;
      if (first >= max) first -= ((first - (max - 1)) + (-step) - 1) / (-step) * (-step);
      for (long v = first; v >= end && written < max; v += step) arr[written++] = static_cast<int16_t>(v);
    }
  }
  return written;
}
