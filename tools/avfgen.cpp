// avfgen: writes synthetic AVF files for demonstrations, benchmarks and tests.
//
// The layout (antennas, samplers, baselines, channels) fixes the record
// length by the format's layout rule. Headers are written by the library's
// header writer; a big-endian file is produced by reversing, after the
// writer, everything that the writer stored in this host's order, and by
// stating the order in the BYTE_SEQ line. Damage is applied while the file
// is streamed out, so files of any size need no more memory than a record.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "avf.h"
#include "opt/opt.h"
#include "toolio.h"

namespace {

// ---- Options ----
char *OutFile = nullptr;
int Antennas = 4;
int SamplerCount = 0;  // 0: two per antenna
int Baselines = 0; // 0: every pair of samplers, self-pairs included
int Channels = 16;
int Scans = 3;
int *Records = nullptr; // data records per scan; the last value repeats
int NRecords = 0;
int BigEndianOut = 0;
int RecVersion = 4; // 2, 3, 4, or 0 for the reference layout
int ScanVersion1 = 0;
double MjdRef = 60000.0;
double RecordSeconds = 0.0; // seconds per record; 0: from the correlator settings
int Seed = 1;
char **Garbage = nullptr; // "S:R" or "S:h": overwrite that record with garbage
int NGarbage = 0;
char **Insert = nullptr; // insert a garbage record before it
int NInsert = 0;
char **Lose = nullptr; // "S:R:B": drop B bytes at the end of that record
int NLose = 0;
char **Pad = nullptr; // "S:R:B": B garbage bytes before that record
int NPad = 0;
int *BadScan = nullptr; // scans whose header signature is damaged
int NBadScan = 0;
int *BadKeys = nullptr; // scans whose header loses its DATE-OBS keyword
int NBadKeys = 0;
int Cut = 0; // bytes cut from the end of the file

constexpr int HEADER = -1; // record index of a scan header's first record

// ---- Layout ----
struct Layout {
  int ants, samps, bases, chans;
  bool params;
  int flg_rec, flg_ant, flg_smp, flg_bas, flg_dat, flg_size;
  int time_off, wt_off, par_off, par_size, data_off, data_size, recl;

  Layout(int a, int s, int b, int c, bool with_params) : ants(a), samps(s), bases(b), chans(c), params(with_params) {
    flg_rec = 4;
    flg_ant = 4 * ((a + 31) / 32);
    flg_smp = 4 * ((s + 31) / 32);
    flg_bas = 4 * ((b + 31) / 32);
    flg_dat = static_cast<int>(4 * ((4LL * b * c + 31) / 32));
    flg_size = flg_rec + flg_ant + flg_smp + flg_bas + flg_dat;
    time_off = 80 + flg_size;
    wt_off = time_off + 8;
    par_off = wt_off + 8;
    par_size = params ? 16 * s : 0;
    data_off = par_off + par_size;
    data_size = 8 * b * c;
    recl = data_off + data_size;
  }
};

struct Damage {
  int scan, rec, bytes;
};

bool parse_place(const char *text, bool with_bytes, Damage &d) {
  char r[32] = "";
  int n = with_bytes ? std::sscanf(text, "%d:%31[^:]:%d", &d.scan, r, &d.bytes)
                     : std::sscanf(text, "%d:%31s", &d.scan, r);
  if (n != (with_bytes ? 3 : 2)) return false;
  if (std::strcmp(r, "h") == 0) {
    d.rec = HEADER;
    return true;
  }
  char *end = nullptr;
  d.rec = static_cast<int>(std::strtol(r, &end, 10));
  return end != r && *end == '\0' && d.rec >= 0;
}

bool parse_places(char **texts, int n, bool with_bytes, std::vector<Damage> &out, const char *what) {
  for (int i = 0; i < n; ++i) {
    Damage d{0, 0, 0};
    if (!texts[i] || !parse_place(texts[i], with_bytes, d)) {
      std::fprintf(stderr, "avfgen: bad %s place \"%s\" (want SCAN:REC%s, REC a number or h)\n", what,
                   texts[i] ? texts[i] : "", with_bytes ? ":BYTES" : "");
      return false;
    }
    out.push_back(d);
  }
  return true;
}

const Damage *find(const std::vector<Damage> &v, int scan, int rec) {
  for (const Damage &d : v)
    if (d.scan == scan && d.rec == rec) return &d;
  return nullptr;
}

// ---- Deterministic content ----
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 0x1234567) {}
  uint64_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
};

void fill_garbage(unsigned char *p, std::size_t n, uint64_t seed) {
  Rng r(seed ^ 0xBADBADull);
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(r.next());
    p[i] = c == 'D' || c == 'S' ? 'g' : c; // never a signature
  }
}

// Calendar date of a modified Julian date, as DATE-OBS writes it.
std::string date_obs(double mjd) {
  static const char *const WD[] = {"Wed", "Thu", "Fri", "Sat", "Sun", "Mon", "Tue"}; // MJD 0 was a Wednesday
  static const char *const MON[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  long days = static_cast<long>(mjd);
  double secs = (mjd - static_cast<double>(days)) * 86400.0;
  // Civil date from days since 1970-01-01 (MJD 40587).
  long z = days - 40587 + 719468;
  long era = (z >= 0 ? z : z - 146096) / 146097;
  long doe = z - era * 146097;
  long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long y = yoe + era * 400;
  long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long mp = (5 * doy + 2) / 153;
  long d = doy - (153 * mp + 2) / 5 + 1;
  long m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  int hh = static_cast<int>(secs / 3600), mm = static_cast<int>((secs - hh * 3600) / 60);
  int ss = static_cast<int>(secs - hh * 3600 - mm * 60);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %s %02ld %02d:%02d:%02d %ld", WD[((days % 7) + 7) % 7], MON[m - 1], d, hh,
                mm, ss, y);
  return buf;
}

const char *version_text() {
  // Without "AVF" in the version text, scans before 15 September 2001 carry
  // the first scan record version.
  switch (RecVersion) {
  case 2: return ScanVersion1 ? "CORR30 DAS1.00" : "CORR30 AVF1.00 DAS1.00";
  case 3: return ScanVersion1 ? "COR30x2 DAS2.01 HST00" : "COR30x2 AVF1.10 DAS2.01 HST00";
  case 4: return ScanVersion1 ? "COR30x2 DAS2.01 HST03" : "COR30x2 AVF1.10 DAS2.01 HST03";
  default: return ScanVersion1 ? "CORR DAS2.01 HST03" : "AVF1.10 DAS2.01 HST03";
  }
}

void build_header(AvfInfo &info, const Layout &l) {
  AvfHdr &h = info.lhdr;
  info.recl = l.recl;
  info.keep_version = 1;
  std::snprintf(h.rec_form, sizeof h.rec_form, "FIXED");
  std::snprintf(h.obs_mode, sizeof h.obs_mode, "CORR");
  std::snprintf(h.version, sizeof h.version, "%s", version_text());
  std::snprintf(h.old_version, sizeof h.old_version, "%s", version_text());
  std::snprintf(h.vinfo.corrlite.old_version, sizeof h.vinfo.corrlite.old_version, "%s", version_text());
  std::snprintf(h.data_fmt, sizeof h.data_fmt, "IEEE_FLOAT");
  h.recl = l.recl;
  h.vinfo.antennas = l.ants;
  h.vinfo.samplers = l.samps;
  h.vinfo.baselines = l.bases;
  h.vinfo.channels = l.chans;
  h.flg_off = 80;
  h.flg_size = l.flg_size;
  h.flg_rec_off = 80;
  h.flg_rec_size = l.flg_rec;
  h.flg_ant_off = h.flg_rec_off + l.flg_rec;
  h.flg_ant_size = l.flg_ant;
  h.flg_smp_off = h.flg_ant_off + l.flg_ant;
  h.flg_smp_size = l.flg_smp;
  h.flg_bas_off = h.flg_smp_off + l.flg_smp;
  h.flg_bas_size = l.flg_bas;
  h.flg_dat_off = h.flg_bas_off + l.flg_bas;
  h.flg_dat_size = l.flg_dat;
  h.time_off = l.time_off;
  h.time_size = 8;
  h.wt_off = l.wt_off;
  h.wt_size = 8;
  h.par_off = l.par_off;
  h.par_size = l.par_size;
  h.data_off = l.data_off;
  h.data_size = l.data_size;

  CorrType &c = info.corr;
  c.endian = static_cast<unsigned char>(host_byte_order());
  std::snprintf(c.version, sizeof c.version, "%s", version_text());
  const char *bands[] = {"USB-130", "USB-175", "LSB-130", "LSB-175"};
  for (int b = 0; b < MAX_BANDS; ++b) std::snprintf(c.bandname[b], sizeof c.bandname[b], "%s", bands[b]);
  // Record versions 2 and 3 hold 30 antenna slots: the other two read as zero.
  const int slots = RecVersion == 2 || RecVersion == 3 ? 30 : MAX_ANTS;
  for (int a = 0; a < slots; ++a) {
    AntennaParType &ant = c.antenna[a];
    std::snprintf(ant.name, sizeof ant.name, "A%02d", a % 100);
    std::memset(ant.samp_id, UNUSED_SLOT, sizeof ant.samp_id);
    ant.bx = 125.5 * a;
    ant.by = -310.25 * a;
    ant.bz = 12.0 + a;
    for (int b = 0; b < MAX_BANDS; ++b) {
      ant.d0[b] = 0.5 * b + a;
      ant.p0[b] = -0.125 * b;
    }
  }
  for (int s = 0; s < MAX_SAMPS; ++s) c.sampler[s] = {0, 0, 0, UNUSED_SLOT};
  for (int s = 0; s < l.samps; ++s) {
    SamplerType &sp = c.sampler[s];
    sp.ant_id = static_cast<unsigned char>((s / 2) % l.ants);
    sp.band = static_cast<unsigned char>(s % 2);
    sp.fft_id = static_cast<unsigned char>(s);
    sp.dpc = static_cast<unsigned char>(s);
    if (s / 2 < l.ants) c.antenna[s / 2].samp_id[s % 2] = static_cast<unsigned char>(s);
  }
  for (int i = 0; i < MAX_BASE; ++i) {
    c.baseline[i] = BaseParType{};
    c.baseline[i].samp[0].dpc = c.baseline[i].samp[1].dpc = UNUSED_SLOT;
  }
  int k = 0;
  for (int i = 0; i < l.samps && k < l.bases; ++i)
    for (int j = i; j < l.samps && k < l.bases; ++j, ++k) {
      BaseParType &b = c.baseline[k];
      b.samp[0] = c.sampler[i];
      b.samp[1] = c.sampler[j];
      b.card = static_cast<unsigned char>(k / 64);
      b.chip = static_cast<unsigned char>(k % 64);
      b.pol = static_cast<unsigned char>((i + j) % 2);
    }
  c.corrpar.macs = l.bases;
  c.corrpar.channels = l.chans;
  c.corrpar.pols = 2;
  c.corrpar.sta = 4096;
  c.corrpar.statime = 131072;
  c.corrpar.f_step = 62500.0f;
  c.corrpar.clock = 32.0e6f;
  c.corrpar.dpcmux = 228;
  c.corrpar.macmode = RRLL;
  DasParType &d = c.daspar;
  d.antmask = l.ants >= 32 ? -1 : static_cast<int32_t>((1u << l.ants) - 1);
  d.samplers = l.samps;
  d.baselines = l.bases;
  d.channels = l.chans;
  d.avf = 1;
  d.bandmask = 3;
  d.mode = 0x11;
  for (int i = 0; i < l.chans; ++i) d.chan_num[i] = static_cast<int16_t>(i);
  d.mjd_ref = MjdRef;
  d.t_unit = 1.0e-6;
  d.dut1 = 0.1;
}

ScanInfoType scan_record(int scan, double t) {
  ScanInfoType s{};
  s.t = static_cast<float>(t);
  std::snprintf(s.proj.code, sizeof s.proj.code, "GEN%02d", scan % 100);
  std::snprintf(s.proj.title, sizeof s.proj.title, "synthetic");
  s.proj.antmask = 0xffffu;
  s.proj.bandmask = 3;
  s.proj.seq = static_cast<uint16_t>(scan);
  std::snprintf(s.source.object, sizeof s.source.object, "SRC%04d", scan % 10000);
  s.source.mjd0 = MjdRef;
  s.source.ra_app = s.source.ra_mean = 0.1 * (scan % 60);
  s.source.dec_app = s.source.dec_mean = 0.5 - 0.01 * (scan % 90);
  s.source.freq[0] = s.source.freq[1] = 325.0e6;
  s.source.first_lo[0] = s.source.first_lo[1] = 300.0e6;
  s.source.bb_lo[0] = s.source.bb_lo[1] = 25.0e6;
  s.source.ch_width = 62500.0;
  for (int b = 0; b < MAX_BANDS; ++b) s.source.net_sign[b] = b % 2 ? -1 : 1;
  return s;
}

// ---- Reversal of what the header writer stored in this host's order ----

void flip_stored_corr(unsigned char *b, int version) {
  b[0] ^= 1;
  const int ants = version == 2 || version == 3 ? 30 : 32;
  for (int a = 0; a < ants; ++a) {
    AntennaParType ant;
    std::memcpy(&ant, b + 72 + 96 * a, sizeof ant);
    flipAnt(&ant);
    std::memcpy(b + 72 + 96 * a, &ant, sizeof ant);
  }
  if (version == 2 || version == 3) {
    const std::size_t cp = version == 2 ? 15864 : 28776, dp = version == 2 ? 15896 : 28808;
    const int chans = version == 2 ? 128 : 256;
    swap_long(b + cp, 7); // five int32, two float
    swap_long(b + dp, 5); // antmask .. avf
    for (int i = 0; i < 2 + chans; ++i) std::swap(b[dp + 20 + 2 * i], b[dp + 21 + 2 * i]);
    const std::size_t after = dp + 24 + 2 * static_cast<std::size_t>(chans);
    for (int i = 0; i < (version == 3 ? 3 : 2); ++i) {
      double v;
      std::memcpy(&v, b + after + 8 * i, 8);
      swap_d(&v, 1);
      std::memcpy(b + after + 8 * i, &v, 8);
    }
    return;
  }
  const std::size_t cp = version == 4 ? 28744 : offsetof(CorrType, corrpar);
  const std::size_t dp = version == 4 ? 28804 : offsetof(CorrType, daspar);
  CorrParType corrpar;
  std::memcpy(&corrpar, b + cp, sizeof corrpar);
  flipCorrPar(&corrpar);
  std::memcpy(b + cp, &corrpar, sizeof corrpar);
  auto daspar = std::make_unique<DasParType>();
  std::memcpy(daspar.get(), b + dp, sizeof(DasParType));
  flipDasPar(daspar.get());
  std::memcpy(b + dp, daspar.get(), sizeof(DasParType));
}

void flip_stored_scan(unsigned char *b, bool version1) {
  ScanInfoType s{};
  constexpr std::size_t SRC = offsetof(ScanInfoType, source);
  auto *p = reinterpret_cast<unsigned char *>(&s);
  if (!version1) {
    std::memcpy(p, b, sizeof s);
    flipScanInfo(&s);
    std::memcpy(b, p, sizeof s);
    return;
  }
  // First version: 88 bytes, source bytes 0..71, then source bytes 88..231.
  std::memcpy(p, b, SRC + 72);
  std::memcpy(p + SRC + 88, b + SRC + 72, 144);
  flipScanInfo(&s);
  std::memcpy(b, p, SRC + 72);
  std::memcpy(b + SRC + 72, p + SRC + 88, 144);
}

void state_big_endian(std::vector<unsigned char> &hdr, std::size_t text_bytes) {
  static const char KEY[] = "\nBYTE_SEQ=";
  for (std::size_t i = 0; i + sizeof KEY + 80 < text_bytes; ++i)
    if (std::memcmp(hdr.data() + i, KEY, sizeof KEY - 1) == 0) {
      char line[81];
      std::snprintf(line, sizeof line, "%-79s\n", "BYTE_SEQ=  Big Endian");
      std::memcpy(hdr.data() + i + 1, line, 80);
      return;
    }
}

// ---- Output ----

class Generator {
public:
  Generator(std::FILE *out, const Layout &l) : out_(out), l_(l), rec_(static_cast<std::size_t>(l.recl)) {}
  bool run();

private:
  bool emit(const unsigned char *p, std::size_t n) { return toolio::write_whole(out_, p, n); }
  bool emit_record(std::vector<unsigned char> &rec, int scan, int r);
  bool capture(const std::function<int(std::FILE *)> &writer, std::vector<unsigned char> &bytes);
  void make_data(int scan, int r, double t);

  std::FILE *out_;
  Layout l_;
  std::vector<unsigned char> rec_;
  std::vector<Damage> garbage_, insert_, lose_, pad_;
  friend int avfgen(int, char **);
};

bool Generator::capture(const std::function<int(std::FILE *)> &writer, std::vector<unsigned char> &bytes) {
  char *buf = nullptr;
  std::size_t size = 0;
  std::FILE *mem = open_memstream(&buf, &size);
  if (!mem) return false;
  int r = writer(mem);
  std::fclose(mem);
  std::unique_ptr<char, decltype(&std::free)> owned(buf, &std::free);
  if (r != 0) return false;
  bytes.assign(buf, buf + size);
  return true;
}

void Generator::make_data(int scan, int r, double t) {
  Rng g(static_cast<uint64_t>(Seed) * 1000003u + static_cast<uint64_t>(scan) * 7919u + static_cast<uint64_t>(r));
  unsigned char *p = rec_.data();
  // Whole: a garbage record made in this buffer must leave nothing behind
  // (the weight's second word and any tail are never written below).
  std::memset(p, 0, static_cast<std::size_t>(l_.recl));
  for (int i = l_.par_off; i + 8 <= l_.recl; i += 8) {
    uint64_t v = g.next();
    std::memcpy(p + i, &v, 8);
  }
  update_signature(p, scan, r);
  std::memcpy(p + l_.time_off, &t, 8);
  const float weight = 1.0f;
  std::memcpy(p + l_.wt_off, &weight, 4);
}

bool Generator::emit_record(std::vector<unsigned char> &rec, int scan, int r) {
  if (const Damage *d = find(pad_, scan, r)) {
    std::vector<unsigned char> g(static_cast<std::size_t>(d->bytes));
    fill_garbage(g.data(), g.size(), static_cast<uint64_t>(scan * 131 + r));
    if (!emit(g.data(), g.size())) return false;
  }
  if (find(insert_, scan, r)) {
    std::vector<unsigned char> g(static_cast<std::size_t>(l_.recl));
    fill_garbage(g.data(), g.size(), static_cast<uint64_t>(scan * 977 + r));
    if (!emit(g.data(), g.size())) return false;
  }
  if (find(garbage_, scan, r)) fill_garbage(rec.data(), static_cast<std::size_t>(l_.recl), static_cast<uint64_t>(scan * 31 + r));
  std::size_t n = static_cast<std::size_t>(l_.recl);
  if (const Damage *d = find(lose_, scan, r)) n -= std::min<std::size_t>(n, static_cast<std::size_t>(d->bytes));
  return emit(rec.data(), n);
}

bool Generator::run() {
  auto info = std::make_unique<AvfInfo>();
  info->local_byte_order = host_byte_order();
  build_header(*info, l_);
  const double integ = RecordSeconds > 0 ? RecordSeconds : info->corr.daspar.avf * info->corr.corrpar.statime / 1.0e6;
  const double mjd0 = MjdRef;

  std::vector<unsigned char> hdr;
  if (!capture([&](std::FILE *f) { return write_hdr(info.get(), f); }, hdr)) return false;
  const int version = corr_write_version(info.get());
  if (BigEndianOut) {
    std::size_t text = static_cast<std::size_t>(info->lrecs - info->lbrecs) * l_.recl;
    state_big_endian(hdr, text);
    flip_stored_corr(hdr.data() + text, version);
  }
  // The scan headers' record version follows the first scan's date.
  info->scans = 1;
  info->stab = std::make_unique<ScanHdrTab[]>(1);
  std::snprintf(info->stab[0].shdr.date_obs, sizeof info->stab[0].shdr.date_obs, "%s", date_obs(mjd0).c_str());
  decompose_date(&info->stab[0].shdr);
  std::vector<unsigned char> first(hdr.begin(), hdr.begin() + l_.recl);
  if (!emit_record(first, -1, HEADER) || !emit(hdr.data() + l_.recl, hdr.size() - l_.recl)) return false;

  double t = 0.0;
  for (int s = 0; s < Scans; ++s) {
    const int nrec = NRecords > 0 ? Records[s < NRecords ? s : NRecords - 1] : 5;
    ScanInfoType sr = scan_record(s, t);
    std::string date = date_obs(mjd0 + t / 86400.0);
    std::vector<unsigned char> sh;
    if (!capture([&](std::FILE *f) { return write_scan(&sr, 1, info.get(), s, date.c_str(), f); }, sh))
      return false;
    if (BigEndianOut) {
      const bool v1 = info->sbrecs > 0 && ScanVersion1;
      flip_stored_scan(sh.data() + static_cast<std::size_t>(info->srecs - info->sbrecs) * l_.recl, v1);
    }
    for (int i = 0; i < NBadScan; ++i)
      if (BadScan[i] == s) std::memcpy(sh.data(), "SCXN", 4);
    for (int i = 0; i < NBadKeys; ++i)
      if (BadKeys[i] == s) {
        // A header that still begins with "SCAN" but cannot be read.
        static const char KEY[] = "\nDATE-OBS=";
        for (std::size_t k = 0; k + sizeof KEY < sh.size(); ++k)
          if (std::memcmp(sh.data() + k, KEY, sizeof KEY - 1) == 0) {
            std::memcpy(sh.data() + k + 1, "DATE_OBS", 8);
            break;
          }
      }
    std::vector<unsigned char> firstrec(sh.begin(), sh.begin() + l_.recl);
    if (!emit_record(firstrec, s, HEADER) || !emit(sh.data() + l_.recl, sh.size() - l_.recl)) return false;
    for (int r = 0; r < nrec; ++r) {
      make_data(s, r, t + r * integ);
      if (BigEndianOut) flipData(rec_.data(), rec_.size(), &info->lhdr);
      if (!emit_record(rec_, s, r)) return false;
    }
    t += (nrec + 1) * integ;
  }
  return true;
}

int avfgen(int, char **) {
  if (!OutFile || !*OutFile) {
    std::fprintf(stderr, "avfgen: name the output file with -o\n");
    return 1;
  }
  if (ScanVersion1) MjdRef = 52166.5; // 14 September 2001: before the second scan record version
  const int samps = SamplerCount > 0 ? SamplerCount : 2 * Antennas;
  const int bases = Baselines > 0 ? Baselines : samps * (samps + 1) / 2;
  struct Cap {
    int ants, samps, bases, chans;
  } cap = RecVersion == 2 ? Cap{30, 60, 1056, 128} : RecVersion == 3 ? Cap{30, 120, 2112, 256}
                          : RecVersion == 4 ? Cap{32, 64, 2112, 1024} : Cap{32, 120, 2112, 1024};
  if (RecVersion != 0 && (RecVersion < 2 || RecVersion > 4)) {
    std::fprintf(stderr, "avfgen: record version must be 2, 3, 4 or 0 (reference)\n");
    return 1;
  }
  if (Antennas < 1 || Antennas > cap.ants || samps < 1 || samps > cap.samps || bases < 1 || bases > cap.bases ||
      bases > samps * (samps + 1) / 2 || Channels < 1 || Channels > cap.chans || Scans < 0) {
    std::fprintf(stderr, "avfgen: layout outside what record version %d holds (%d antennas, %d samplers, "
                         "%d baselines, %d channels)\n",
                 RecVersion, cap.ants, cap.samps, cap.bases, cap.chans);
    return 1;
  }
  for (int i = 0; i < NRecords; ++i)
    if (Records[i] < 0 || Records[i] > 100000) {
      std::fprintf(stderr, "avfgen: records per scan must be 0 to 100000\n");
      return 1;
    }
  Layout l(Antennas, samps, bases, Channels, RecVersion != 4);
  toolio::File out = toolio::open_stream(OutFile, "wb");
  if (!out) {
    std::fprintf(stderr, "avfgen: cannot create %s\n", OutFile);
    return 1;
  }
  Generator g(out.get(), l);
  if (!parse_places(Garbage, NGarbage, false, g.garbage_, "garbage") ||
      !parse_places(Insert, NInsert, false, g.insert_, "insert") ||
      !parse_places(Lose, NLose, true, g.lose_, "lose") || !parse_places(Pad, NPad, true, g.pad_, "pad"))
    return 1;
  if (!g.run() || !toolio::close_output(out)) {
    std::fprintf(stderr, "avfgen: error writing %s\n", OutFile);
    return 1;
  }
  if (Cut > 0) {
    toolio::File f = toolio::open_stream(OutFile, "rb");
    if (f && fseeko(f.get(), 0, SEEK_END) == 0) {
      off_t size = ftello(f.get());
      if (truncate(OutFile, size > Cut ? size - Cut : 0) != 0) {
        std::fprintf(stderr, "avfgen: cannot cut %s\n", OutFile);
        return 1;
      }
    }
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  optrega(&OutFile, OPT_STRING, 'o', "out", "Output AVF file");
  optrega(&Antennas, OPT_INT, 'a', "antennas", "Antennas");
  optrega(&SamplerCount, OPT_INT, 's', "samplers", "SamplerCount (0: two per antenna)");
  optrega(&Baselines, OPT_INT, 'b', "baselines", "Baselines (0: every sampler pair)");
  optrega(&Channels, OPT_INT, 'c', "channels", "Channels");
  optrega(&Scans, OPT_INT, 'n', "scans", "Scans");
  optrega_array(&NRecords, &Records, OPT_INT, 'r', "records", "Data records per scan (last repeats)");
  optrega(&BigEndianOut, OPT_INT, 'B', "big", "Big-endian file (1)");
  optrega(&RecVersion, OPT_INT, 'V', "recversion", "Correlator record version 2, 3, 4 or 0");
  optrega(&ScanVersion1, OPT_INT, 'O', "scan1", "First scan record version, dated 2001 (1)");
  optrega(&MjdRef, OPT_DOUBLE, 'j', "mjdref", "Reference epoch (MJD)");
  optrega(&RecordSeconds, OPT_DOUBLE, 't', "integ", "Seconds per record (0: from the correlator)");
  optrega(&Seed, OPT_INT, 'S', "seed", "Payload seed");
  optrega_array(&NGarbage, &Garbage, OPT_STRING, 'g', "garbage", "Overwrite SCAN:REC (REC h: header)");
  optrega_array(&NInsert, &Insert, OPT_STRING, 'I', "insert", "Insert a garbage record before SCAN:REC");
  optrega_array(&NLose, &Lose, OPT_STRING, 'L', "lose", "Drop BYTES at the end of SCAN:REC:BYTES");
  optrega_array(&NPad, &Pad, OPT_STRING, 'P', "pad", "Insert BYTES garbage before SCAN:REC:BYTES");
  optrega_array(&NBadScan, &BadScan, OPT_INT, 'k', "badscan", "Damage these scans' header signatures");
  optrega_array(&NBadKeys, &BadKeys, OPT_INT, 'K', "badkeys", "Damage these scans' header keywords");
  optrega(&Cut, OPT_INT, 'x', "cut", "Bytes cut from the end of the file");
  optUsage("Usage: avfgen -o out.avf [options]\n");
  optTitle("Writes synthetic AVF files\n");
  optMain(avfgen);
  opt(&argc, &argv);
  return avfgen(argc, argv);
}
