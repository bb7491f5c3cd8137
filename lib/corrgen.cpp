// Correlator description text writer: renders a CorrType as the Corrsys,
// Antenna, Bandnames, Sampler, Baseline and Corrsel sections of a global
// header, and a ScanInfoType as the sub-array section of a scan header.
//
// Every section is written through a bounded appender whose capacity is the
// longest text that section can produce from any record; the capacities add up
// to less than CORRGEN_MAX, so the caller's buffer can never be overrun, and if
// a bound below were ever too small the text would be cut, not overflow.
#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "newcorr.h"

const char *const CorrVarName[Vars] = {
    "VERSION",  "ANTS",     "CHAN_MAX", "POLS",     "F_ENABLE", "X_ENABLE", "F_STEP",
    "CLOCK",    "STA",      "STATIME",  "T_UNIT",   "RF",       "FIRST_LO", "BB_LO",
    "ANTMASK",  "BANDMASK", "MODE",     "SEQ",      "OBJECT",   "OBSERVER", "PROJECT",
    "CODE",     "DRA/DT",   "DDEC/DT",  "RA-APP",   "DEC-APP",  "RA-MEAN",  "DEC-MEAN",
    "RA-DATE",  "DEC-DATE", "MJD_SRC",  "DATE-OBS", "AVF",      "SAMP_NUM", "CHAN_NUM",
    "MAC_NUM",  "INTEG",    "MAC_MODE", "FFT_MODE", "DPC_MUX",  "CLK_SEL",  "NET_SIGN",
};

namespace {

// Longest renderings of one number: "%f" of any double (-DBL_MAX gives 317
// characters), "%9.2f" of any double, "%f" of any float, "%d" of any int.
constexpr int DBL_F = 317;
constexpr int DBL_9_2 = 313;
constexpr int FLT_F = 47;
constexpr int INT_D = 11;
constexpr int KEY = 10; // "%-8.8s= "
constexpr int NAME = 4; // antenna name field
constexpr int BAND = 8; // band name field
constexpr int LINE = 80;

// Capacity of each section, NUL included, with some slack.
constexpr int SYSPAR_CAP = 64 + (KEY + NAMELEN + 6) + (KEY + FLT_F + 4) + (KEY + DBL_F + 5) +
                           7 * (KEY + INT_D + 8) + 64;
constexpr int ANTPAR_CAP = 128 + MAX_ANTS * (12 + 3 + 5 * (1 + DBL_9_2) + 1) + 64;
constexpr int BANDNAMES_CAP = 64 + MAX_BANDS * (KEY + BAND + 1) + 64;
// dpc is a byte, so at most 256 SMP lines.
constexpr int SAMPPAR_CAP = 256 + 256 * (11 + NAME + 1 + BAND + 1 + 3 + 1) + 64;
// A sampler copy of a baseline line takes at most 21 characters: names are
// printed only for an ant_id below 32 and a band below 4, whose numbers have
// two digits (" %02d %02d" plus "  %s %s"); three-digit numbers come with empty
// names.
constexpr int BASE_SAMP = 6 + 2 + NAME + 1 + BAND;
constexpr int BASELINEPAR_CAP = 192 + MAX_BASE * (10 + 2 * BASE_SAMP + 10 + 1) + 64;
constexpr int SELECTION_CAP = 64 + 2 * LINE + 11 * LINE + LINE + 64;
constexpr int END_CAP = 32;
static_assert(SYSPAR_CAP + ANTPAR_CAP + BANDNAMES_CAP + SAMPPAR_CAP + BASELINEPAR_CAP +
                  SELECTION_CAP + END_CAP <=
              CORRGEN_MAX);
constexpr int SCANPAR_CAP = 2 * (12 + INT_D + 8) + 3 * LINE + 3 * (KEY + NAMELEN + 2) +
                            6 * (KEY + DBL_F + 2) + 3 * (KEY + 2 * INT_D + 4) +
                            (KEY + 4 * INT_D + 4) + 64;
static_assert(SCANPAR_CAP <= SCANPAR_MAX);

constexpr int LIST_MAX = 69; // longest list text on one 80-column keyword line
constexpr double RAD = 0.017453292519943295; // pi/180

// Appends formatted text to a buffer of fixed capacity, always NUL-terminated.
class Out {
public:
  Out(char *buf, int cap) : buf_(buf), cap_(buf ? cap : 0) {
    if (cap_ > 0) buf_[0] = '\0';
  }
  __attribute__((format(printf, 2, 3))) void put(const char *fmt, ...) {
    if (len_ + 1 >= cap_) return;
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(buf_ + len_, static_cast<std::size_t>(cap_ - len_), fmt, ap);
    va_end(ap);
    if (n > 0) len_ = std::min(len_ + n, cap_ - 1);
  }
  int length() const { return len_; }

private:
  char *buf_;
  int cap_;
  int len_ = 0;
};

// A fixed-size text field up to its NUL, or whole when it has none, as it can
// stand in a header line: a newline in it (only a damaged record has one)
// would end the line and start another that reads as something else, so it
// is written as a blank, as fill_line does with the lines it completes.
template <std::size_t N> std::string field(const char (&a)[N]) {
  std::string s(a, strnlen(a, N));
  std::replace(s.begin(), s.end(), '\n', ' ');
  return s;
}
int width(std::string_view s) { return static_cast<int>(s.size()); }

std::string ant_name(const CorrType *c, unsigned ant_id) {
  return ant_id < MAX_ANTS ? field(c->antenna[ant_id].name) : std::string{};
}
std::string band_name(const CorrType *c, unsigned band) {
  return band < MAX_BANDS ? field(c->bandname[band]) : std::string{};
}

int clamp_count(int32_t n, int cap) { return std::clamp<int32_t>(n, 0, cap); }

bool is_cor30x2(const CorrType *c) {
  return field(c->version).find("COR30x2") != std::string::npos;
}

// Truncation toward zero; NaN gives 0 and values beyond the int range the
// nearest end of it.
int trunc_int(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

void put_one(std::string &s, int v) {
  char t[16];
  const int n = std::snprintf(t, sizeof t, " %d", v);
  s.append(t, static_cast<std::size_t>(n));
}
void put_run(std::string &s, int first, int last, int step) {
  char t[48];
  const int n = std::snprintf(t, sizeof t, " %d:%d:%d", first, last, step);
  s.append(t, static_cast<std::size_t>(n));
}

int syspar(const CorrType *c, Out &o) {
  const auto v = field(c->version);
  o.put("{ Corrsys.def\n");
  o.put("%-8.8s= %.*s     \n", CorrVarName[Version], width(v), v.data());
  o.put("%-8.8s= %f Hz  \n", CorrVarName[Clock], static_cast<double>(c->corrpar.clock));
  o.put("%-8.8s= %d Cycles\n", CorrVarName[Sta], c->corrpar.sta);
  o.put("%-8.8s= %d usec\n", CorrVarName[StaTime], c->corrpar.statime);
  o.put("%-8.8s= %f  sec\n", CorrVarName[T_unit], c->daspar.t_unit);
  o.put("%-8.8s= %d     \n", CorrVarName[Ants], static_cast<int>(MAX_ANTS));
  o.put("%-8.8s= %d     \n", CorrVarName[Samplers], c->daspar.samplers);
  o.put("%-8.8s= %d     \n", CorrVarName[Macs], c->corrpar.macs);
  o.put("%-8.8s= %d     \n", CorrVarName[Chan_max], c->corrpar.channels);
  o.put("%-8.8s= %d     \n", CorrVarName[Pols], c->corrpar.pols);
  o.put("} Corrsys\n*  \n");
  return o.length();
}

int antpar(const CorrType *c, Out &o) {
  o.put("{ Antenna.def \n");
  o.put("*AntId  = Ant      bx        by        bz      delay0    delay1\n");
  for (int i = 0; i < MAX_ANTS; ++i) {
    const AntennaParType &a = c->antenna[i];
    o.put("ANT%-2.2d   = %3.3s %9.2f %9.2f %9.2f %9.2f %9.2f\n", i, field(a.name).c_str(), a.bx, a.by,
          a.bz, a.d0[0], a.d0[1]);
  }
  o.put("} Antenna\n*   \n");
  return o.length();
}

int bandnames(const CorrType *c, Out &o) {
  o.put("{ Bandnames.def \n");
  for (int i = 0; i < MAX_BANDS; ++i) {
    const auto b = field(c->bandname[i]);
    o.put("BAND%02d  = %.*s\n", i, width(b), b.data());
  }
  o.put("} Bandnames\n*   \n");
  return o.length();
}

int samppar(const CorrType *c, Out &o) {
  o.put("{ Sampler.def \n");
  o.put("* Even numbered are lower pipelines of the samplers.\n");
  o.put("* Odd  numbered are upper pipelines of the samplers.\n");
  o.put("*SampId = Ant BandId FftId\n");
  const int samplers = clamp_count(c->daspar.samplers, MAX_SAMPS);
  // DPC numbers run up to the largest in use. The unused-slot mark (120) and
  // anything above it are no DPC numbers: a line for them would carry the
  // section past the MAX_SAMPS lines its reader holds.
  int n = 0;
  for (int i = 0; i < samplers; ++i)
    if (c->sampler[i].dpc < UNUSED_SLOT) n = std::max(n, c->sampler[i].dpc + 1);
  for (int j = 0; j < n; ++j) {
    o.put("SMP%03d  = ", j);
    const SamplerType *s = nullptr;
    for (int i = 0; i < samplers && !s; ++i)
      if (c->sampler[i].dpc == j) s = &c->sampler[i];
    if (s) {
      const auto a = ant_name(c, s->ant_id);
      const auto b = band_name(c, s->band);
      o.put("%.*s %.*s %03d\n", width(a), a.data(), width(b), b.data(), s->fft_id);
    } else {
      o.put("None\n");
    }
  }
  o.put("} Sampler\n*   \n");
  return o.length();
}

int baselinepar(const CorrType *c, Out &o) {
  o.put("{ Baseline.def \n");
  o.put("* Baseline conf. that correspond to a pair of (ant,band)\n");
  o.put("*BaseId = A0 B0 A1 B1 SMP0 SMP1 Ant0   Band0 Ant1   Band1\n");
  const bool wide = is_cor30x2(c);
  const int baselines = clamp_count(c->daspar.baselines, MAX_BASE);
  for (int i = 0; i < baselines; ++i) {
    const BaseParType &bl = c->baseline[i];
    if (wide)
      o.put("BAS%04d =", i);
    else
      o.put("BAS%03d  =", i);
    for (const SamplerType &s : bl.samp) o.put(" %02d %02d", s.ant_id, s.band);
    o.put("  %03d  %03d", bl.samp[0].dpc, bl.samp[1].dpc);
    for (const SamplerType &s : bl.samp) {
      const auto a = ant_name(c, s.ant_id);
      const auto b = band_name(c, s.band);
      o.put("  %.*s %.*s", width(a), a.data(), width(b), b.data());
    }
    o.put("\n");
  }
  o.put("} Baseline\n*   \n");
  return o.length();
}

int selection(const CorrType *c, Out &o) {
  const int samplers = clamp_count(c->daspar.samplers, MAX_SAMPS);
  std::array<int16_t, MAX_SAMPS> dpc{};
  for (int i = 0; i < samplers; ++i) dpc[i] = c->sampler[i].dpc;

  o.put("{ Corrsel.def \n");
  o.put("%-8.8s= %hx \n", CorrVarName[Mode], static_cast<unsigned short>(c->daspar.mode));
  o.put("%-8.8s= %d \n", CorrVarName[Avf], c->daspar.avf);

  std::string list;
  const std::size_t len = static_cast<std::size_t>(print_range(list, dpc.data(), samplers));
  if (len <= LIST_MAX) {
    o.put("%-8.8s= %s\n", CorrVarName[Samp_num], list.c_str());
  } else {
    // Split at blanks over SAMP_NUM and SMP_NUM0 to SMP_NUM9; each chunk after
    // the first begins with the blank it was split at.
    std::size_t s = 0;
    for (int m = 0; m < 11; ++m) {
      char name[16];
      if (m == 0)
        std::snprintf(name, sizeof name, "%s", CorrVarName[Samp_num]);
      else
        std::snprintf(name, sizeof name, "SMP_NUM%1d", m - 1);
      std::size_t e = s + LIST_MAX;
      if (e > len) {
        o.put("%-8.8s= %s\n", name, list.c_str() + s);
        break;
      }
      while (e > s && list[e] != ' ') --e; // list[len] is the NUL
      o.put("%-8.8s= %.*s\n", name, static_cast<int>(e - s), list.data() + s);
      s = e;
    }
  }

  const int channels = clamp_count(c->daspar.channels, MAX_CHANS);
  print_range(list, c->daspar.chan_num, channels);
  if (list.size() > LIST_MAX) {
    list.resize(LIST_MAX);
    std::fputs("WARNING:print_range 80 chars exceeded!\n", stderr);
    std::fputs("WARNING:dumpvis may be unable to read this file\n", stderr);
  }
  o.put("%-8.8s= %s\n", CorrVarName[Chan_num], list.c_str());
  o.put("} Corrsel\n*  \n");
  return o.length();
}

using Section = int (*)(const CorrType *, Out &);

int render(Section f, int cap, const CorrType *c, char *buf) {
  Out o(buf, cap);
  if (!c) return 0;
  return f(c, o);
}

} // namespace

int print_range(std::string &out, const int16_t *val, int n) {
  out.clear();
  if (!val || n <= 0) return 0;

  // Consecutive runs.
  int i = 0;
  while (i < n - 2) {
    const int d = val[i + 1] - val[i];
    int j = i + 2;
    while (j < n && val[j] - val[j - 1] == d) ++j;
    if (j > i + 2) {
      put_run(out, val[i], val[j - 1], d);
      i = j;
    } else {
      put_one(out, val[i]);
      ++i;
    }
  }
  for (; i < n; ++i) put_one(out, val[i]);
  if (out.size() <= LIST_MAX) return static_cast<int>(out.size());

  // No interleaved rendering ("all even positions, then all odd ones"): a
  // reader expands the items in the order written, so such a text would read
  // back as a different list, and the header would misnumber the channels.
  // A list that no run compresses is written plainly.
  // Plain list.
  out.clear();
  for (i = 0; i < n; ++i) put_one(out, val[i]);
  return static_cast<int>(out.size());
}

int put_syspar(const CorrType *corr, char *buf) { return render(syspar, SYSPAR_CAP, corr, buf); }
int put_antpar(const CorrType *corr, char *buf) { return render(antpar, ANTPAR_CAP, corr, buf); }
int put_bandnames(const CorrType *corr, char *buf) {
  return render(bandnames, BANDNAMES_CAP, corr, buf);
}
int put_samppar(const CorrType *corr, char *buf) { return render(samppar, SAMPPAR_CAP, corr, buf); }
int put_baselinepar(const CorrType *corr, char *buf) {
  return render(baselinepar, BASELINEPAR_CAP, corr, buf);
}
int put_selection(const CorrType *corr, char *buf) {
  return render(selection, SELECTION_CAP, corr, buf);
}

int corrgen(const CorrType *corr, char *buf) {
  if (buf) buf[0] = '\0';
  if (!corr || !buf) return 0;
  int n = 0;
  n += put_syspar(corr, buf + n);
  n += put_antpar(corr, buf + n);
  n += put_bandnames(corr, buf + n);
  n += put_samppar(corr, buf + n);
  n += put_baselinepar(corr, buf + n);
  n += put_selection(corr, buf + n);
  Out end(buf + n, END_CAP);
  end.put("END_OF_HEADER   \n");
  return n + end.length();
}

int put_scanpar(int subarray, int /*seq*/, const ScanInfoType *scan, char *buf) {
  Out o(buf, SCANPAR_CAP);
  if (!scan) return 0;
  const ProjectType &p = scan->proj;
  const SourceParType &s = scan->source;
  const auto title = field(p.title);
  const auto code = field(p.code);
  const auto object = field(s.object);
  o.put("{ SubArray%1d.def \n", subarray);
  o.put("%-8.8s= %08x\n", CorrVarName[Antmask], p.antmask);
  o.put("%-8.8s= %04x\n", CorrVarName[Bandmask], static_cast<unsigned>(p.bandmask));
  o.put("%-8.8s= %d\n", CorrVarName[Seq], static_cast<int>(p.seq));
  o.put("%-8.8s= %.*s \n", CorrVarName[Project], width(title), title.data());
  o.put("%-8.8s= %.*s \n", CorrVarName[Code], width(code), code.data());
  o.put("%-8.8s= %.*s \n", CorrVarName[Object], width(object), object.data());
  o.put("%-8.8s= %f\n", CorrVarName[Ra_date], s.ra_mean / RAD);
  o.put("%-8.8s= %f\n", CorrVarName[Dec_date], s.dec_mean / RAD);
  o.put("%-8.8s= %f\n", CorrVarName[MJD], s.mjd0);
  o.put("%-8.8s= %f \n", CorrVarName[Dra], s.dra / RAD);
  o.put("%-8.8s= %f \n", CorrVarName[Ddec], s.ddec / RAD);
  o.put("%-8.8s= %f \n", CorrVarName[F_step], s.ch_width);
  o.put("%-8.8s= %d  %d \n", CorrVarName[Rf], trunc_int(s.freq[0]), trunc_int(s.freq[1]));
  o.put("%-8.8s= %d %d\n", CorrVarName[First_lo], trunc_int(s.first_lo[0]),
        trunc_int(s.first_lo[1]));
  o.put("%-8.8s= %d %d\n", CorrVarName[Bb_lo], trunc_int(s.bb_lo[0]), trunc_int(s.bb_lo[1]));
  o.put("%-8.8s= %d %d %d %d\n", CorrVarName[Net_sign], s.net_sign[0], s.net_sign[1],
        s.net_sign[2], s.net_sign[3]);
  o.put("} SubArray%1d  \n", subarray);
  return o.length();
}
