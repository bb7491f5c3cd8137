#include "fixture.h"

#include <bit>
#include <cstdio>
#include <algorithm>
#include <cstring>

namespace fixture {

namespace {

void ensure(Bytes &b, std::size_t end) {
  if (b.size() < end) b.resize(end, 0);
}

void put_uint(Bytes &b, std::size_t off, std::uint64_t v, int width, Order o) {
  ensure(b, off + width);
  for (int i = 0; i < width; ++i) {
    unsigned char byte = static_cast<unsigned char>(v >> (8 * i));
    std::size_t at = o == Order::Little ? off + i : off + width - 1 - i;
    b[at] = byte;
  }
}

std::uint64_t get_uint(const Bytes &b, std::size_t off, int width, Order o) {
  std::uint64_t v = 0;
  for (int i = 0; i < width; ++i) {
    std::size_t at = o == Order::Little ? off + i : off + width - 1 - i;
    v |= static_cast<std::uint64_t>(b.at(at)) << (8 * i);
  }
  return v;
}

std::string format(const char *fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

} // namespace

void put_u8(Bytes &b, std::size_t off, std::uint8_t v) { put_uint(b, off, v, 1, Order::Little); }
void put_u16(Bytes &b, std::size_t off, std::uint16_t v, Order o) { put_uint(b, off, v, 2, o); }
void put_u32(Bytes &b, std::size_t off, std::uint32_t v, Order o) { put_uint(b, off, v, 4, o); }
void put_u64(Bytes &b, std::size_t off, std::uint64_t v, Order o) { put_uint(b, off, v, 8, o); }
void put_f32(Bytes &b, std::size_t off, float v, Order o) {
  put_u32(b, off, std::bit_cast<std::uint32_t>(v), o);
}
void put_f64(Bytes &b, std::size_t off, double v, Order o) {
  put_u64(b, off, std::bit_cast<std::uint64_t>(v), o);
}
void put_text(Bytes &b, std::size_t off, std::string_view s, std::size_t field) {
  ensure(b, off + field);
  for (std::size_t i = 0; i < field; ++i) b[off + i] = i < s.size() ? s[i] : 0;
}

std::uint16_t get_u16(const Bytes &b, std::size_t off, Order o) {
  return static_cast<std::uint16_t>(get_uint(b, off, 2, o));
}
std::uint32_t get_u32(const Bytes &b, std::size_t off, Order o) {
  return static_cast<std::uint32_t>(get_uint(b, off, 4, o));
}
std::uint64_t get_u64(const Bytes &b, std::size_t off, Order o) { return get_uint(b, off, 8, o); }
double get_f64(const Bytes &b, std::size_t off, Order o) {
  return std::bit_cast<double>(get_u64(b, off, o));
}
float get_f32(const Bytes &b, std::size_t off, Order o) {
  return std::bit_cast<float>(get_u32(b, off, o));
}

// ---------------------------------------------------------------------------

std::string line(std::string_view text) {
  std::string l(80, ' ');
  l.replace(0, std::min<std::size_t>(text.size(), 79), text.substr(0, 79));
  l[79] = '\n';
  return l;
}

std::string key_line(std::string_view key, std::string_view value) {
  std::string t(key);
  t.resize(8, ' ');
  t += "= ";
  t += value;
  return line(t);
}

std::string key_line(std::string_view key, long long value) {
  return key_line(key, std::to_string(value));
}

std::string hdr_line(int recl, int lrecs, int lbrecs) {
  return line(format("HDR %-12d %-7d %-7d", recl, lrecs, lbrecs));
}

std::string scan_line(int scan, int srecs, int sbrecs) {
  std::string t = format("SCAN%04d", scan);
  t.resize(17, ' ');
  t += format("%-7d %-7d", srecs, sbrecs);
  return line(t);
}

int records_for(std::size_t bytes, int recl) {
  return static_cast<int>((bytes + recl - 1) / recl);
}

Bytes text_records(std::string_view text, int recl) {
  std::size_t n = static_cast<std::size_t>(records_for(text.size(), recl)) * recl;
  Bytes b(text.begin(), text.end());
  b.resize(n, 0);
  b[n - 1] = '\n';
  return b;
}

Bytes binary_records(const Bytes &block, int recl) {
  Bytes b = block;
  b.resize(static_cast<std::size_t>(records_for(block.size(), recl)) * recl, 0);
  return b;
}

// ---------------------------------------------------------------------------

std::string signature(int scan, int rec) { return format("DATA%04d.%05d   ", scan, rec); }

Bytes data_record(const Layout &l, int scan, int rec, double time, Order o) {
  Bytes b(static_cast<std::size_t>(l.recl()));
  for (std::size_t i = 0; i < b.size(); ++i)
    b[i] = static_cast<unsigned char>((i * 7 + scan * 13 + rec * 31) & 0xff);
  std::string sig = signature(scan, rec);
  std::memcpy(b.data(), sig.data(), sig.size());
  put_f64(b, l.time_off(), time, o);
  return b;
}

// ---------------------------------------------------------------------------

std::string init_section(const GlobalKeys &k) {
  int recl = k.recl ? k.recl : k.layout.recl();
  std::string t;
  t += line("*{ Init.def");
  t += key_line("RECL", recl);
  t += key_line("HDR_RECS", k.hdr_recs);
  t += key_line("REC_FORM", "FIXED");
  t += key_line("OBS_MODE", "CORR");
  t += key_line("VERSION", k.version);
  t += key_line("D_TYPE", " char short int long float double");
  t += key_line("D_SIZE", " 1 2 4 4 4 8");
  t += key_line("D_ALIGN", " 1 2 4 4 4 4");
  t += key_line("INT_REP", " Twos Comp");
  t += key_line("FL_REP", " IEEE");
  t += key_line("BYTE_SEQ", " " + k.byte_seq);
  t += line("*} Init");
  return t;
}

std::string addcorr_section(const GlobalKeys &k) {
  const Layout &l = k.layout;
  int off = l.flg_off();
  const int rec_off = off, ant_off = rec_off + l.flg_rec_size(), smp_off = ant_off + l.flg_ant_size(),
            bas_off = smp_off + l.flg_smp_size(), dat_off = bas_off + l.flg_bas_size();
  std::string t;
  t += line("*{ AddCorr.def");
  t += key_line("ANTENNAS", l.antennas);
  t += key_line("SAMPLERS", l.samplers);
  t += key_line("BASELINE", l.baselines);
  t += key_line("CHANNELS", l.channels);
  t += key_line("FLG_OFF", off);
  t += key_line("FLG_SIZE", l.flg_size());
  t += key_line("FLGRECOF", rec_off);
  t += key_line("FLGRECSZ", l.flg_rec_size());
  t += key_line("FLGANTOF", ant_off);
  t += key_line("FLGANTSZ", l.flg_ant_size());
  t += key_line("FLGSMPOF", smp_off);
  t += key_line("FLGSMPSZ", l.flg_smp_size());
  t += key_line("FLGBASOF", bas_off);
  t += key_line("FLGBASSZ", l.flg_bas_size());
  t += key_line("FLGDATOF", dat_off);
  t += key_line("FLGDATSZ", l.flg_dat_size());
  t += key_line("TIME_OFF", l.time_off());
  t += key_line("TIMESIZE", 8);
  t += key_line("WT_OFF", l.wt_off());
  t += key_line("WT_SIZE", 8);
  t += key_line("PAR_OFF", l.par_off());
  t += key_line("PAR_SIZE", l.par_size());
  t += key_line("DATA_OFF", l.data_off());
  t += key_line("DATASIZE", l.data_size());
  if (k.with_datafmt) t += key_line("DATAFMT", "IEEE_FLOAT");
  t += line("*} AddCorr");
  return t;
}

// ---------------------------------------------------------------------------
// Stored offsets of the correlator record.
namespace corr_off {
constexpr std::size_t endian = 0, dummy = 1, version = 8, bandname = 40, antenna = 72,
                      sampler = 3144, baseline = 3624, corrpar = 28968, daspar = 29028;
constexpr std::size_t ant_size = 96, samp_size = 4, base_size = 12;
} // namespace corr_off

namespace {
void put_sampler(Bytes &b, std::size_t off, const SamplerValues &s) {
  put_u8(b, off + 0, s.ant_id);
  put_u8(b, off + 1, s.band);
  put_u8(b, off + 2, s.fft_id);
  put_u8(b, off + 3, s.dpc);
}
} // namespace

namespace {
// Stored arrangements: 0 is the reference record, then versions 2, 3 and 4.
struct StoredLayout {
  std::size_t size, ants, samps, bases, ant_off, samp_off, base_off, corrpar, daspar;
  bool short_pars;
  std::size_t chans;
  bool dut1;
};
StoredLayout stored_layout(int version) {
  switch (version) {
  case 2: return {16192, 30, 60, 1056, 72, 2952, 3192, 15864, 15896, true, 128, false};
  case 3: return {29368, 30, 120, 2112, 72, 2952, 3432, 28776, 28808, true, 256, true};
  case 4: return {31152, 32, 64, 2112, 72, 3144, 3400, 28744, 28804, false, 1024, true};
  default: return {31152, 32, 120, 2112, 72, 3144, 3624, 28968, 29028, false, 1024, true};
  }
}
} // namespace

Bytes corr_block(const CorrValues &v, Order o, int version) {
  using namespace corr_off;
  const StoredLayout L = stored_layout(version);
  Bytes b(L.size, 0);
  put_u8(b, endian, o == Order::Little ? 1 : 0);
  for (std::size_t i = 0; i < 7; ++i) put_u8(b, dummy + i, v.dummy[i]);
  put_text(b, corr_off::version, v.version, 32);
  for (std::size_t i = 0; i < 4; ++i) put_text(b, bandname + 8 * i, v.bandname[i], 8);

  for (std::size_t i = 0; i < v.antennas.size() && i < L.ants; ++i) {
    const AntennaValues &a = v.antennas[i];
    std::size_t at = L.ant_off + ant_size * i;
    put_text(b, at, a.name, 4);
    for (std::size_t k = 0; k < 4; ++k) put_u8(b, at + 4 + k, a.samp_id[k]);
    put_f64(b, at + 8, a.bx, o);
    put_f64(b, at + 16, a.by, o);
    put_f64(b, at + 24, a.bz, o);
    for (std::size_t k = 0; k < 4; ++k) put_f64(b, at + 32 + 8 * k, a.d0[k], o);
    for (std::size_t k = 0; k < 4; ++k) put_f64(b, at + 64 + 8 * k, a.p0[k], o);
  }
  for (std::size_t i = 0; i < L.samps; ++i)
    put_sampler(b, L.samp_off + samp_size * i, i < v.samplers.size() ? v.samplers[i] : SamplerValues{});
  for (std::size_t i = 0; i < L.bases; ++i) {
    BaselineValues bl = i < v.baselines.size() ? v.baselines[i] : BaselineValues{};
    if (i >= v.baselines.size()) bl.samp[1].dpc = 0x78;
    std::size_t at = L.base_off + base_size * i;
    put_sampler(b, at, bl.samp[0]);
    put_sampler(b, at + 4, bl.samp[1]);
    put_u8(b, at + 8, bl.card);
    put_u8(b, at + 9, bl.chip);
    put_u8(b, at + 10, bl.pol);
    put_u8(b, at + 11, bl.word_incr);
  }

  const std::size_t c = L.corrpar;
  if (L.short_pars) {
    const std::int32_t ints[] = {v.macs, v.channels, v.pols, v.sta, v.statime};
    for (std::size_t i = 0; i < 5; ++i) put_u32(b, c + 4 * i, static_cast<std::uint32_t>(ints[i]), o);
    put_f32(b, c + 20, v.f_step, o);
    put_f32(b, c + 24, v.clock, o);
    put_u8(b, c + 28, v.dpcmux);
    put_u8(b, c + 29, v.clksel);
    put_u8(b, c + 30, v.fftmode);
    put_u8(b, c + 31, v.macmode);
  } else {
    const std::int32_t ints[] = {v.macs, v.channels, v.pols, v.sta, v.cntrl, v.statime,
                                 v.iabeam, v.pabeam1, v.pabeam2};
    for (std::size_t i = 0; i < 9; ++i) put_u32(b, c + 4 * i, static_cast<std::uint32_t>(ints[i]), o);
    const float floats[] = {v.iabeam_res, v.pabeam1_res, v.pabeam2_res, v.f_step, v.clock};
    for (std::size_t i = 0; i < 5; ++i) put_f32(b, c + 36 + 4 * i, floats[i], o);
    put_u8(b, c + 56, v.dpcmux);
    put_u8(b, c + 57, v.clksel);
    put_u8(b, c + 58, v.fftmode);
    put_u8(b, c + 59, v.macmode);
  }

  const std::size_t d = L.daspar;
  const std::int32_t counts[] = {v.antmask, static_cast<std::int32_t>(v.samplers.size()),
                                 static_cast<std::int32_t>(v.baselines.size()),
                                 static_cast<std::int32_t>(v.chan_num.size()), v.avf};
  for (std::size_t i = 0; i < 5; ++i) put_u32(b, d + 4 * i, static_cast<std::uint32_t>(counts[i]), o);
  if (L.short_pars) {
    put_u16(b, d + 20, static_cast<std::uint16_t>(v.bandmask), o);
    put_u16(b, d + 22, static_cast<std::uint16_t>(v.mode), o);
    for (std::size_t i = 0; i < v.chan_num.size() && i < L.chans; ++i)
      put_u16(b, d + 24 + 2 * i, static_cast<std::uint16_t>(v.chan_num[i]), o);
    std::size_t after = d + 24 + 2 * L.chans;
    put_f64(b, after, v.mjd_ref, o);
    put_f64(b, after + 8, v.t_unit, o);
    if (L.dut1) put_f64(b, after + 16, v.dut1, o);
    return b;
  }
  put_u32(b, d + 20, static_cast<std::uint32_t>(v.prx_maxchan), o);
  put_u32(b, d + 24, static_cast<std::uint32_t>(v.prx_fstop), o);
  put_u16(b, d + 28, static_cast<std::uint16_t>(v.bandmask), o);
  put_u16(b, d + 30, static_cast<std::uint16_t>(v.mode), o);
  put_u16(b, d + 32, static_cast<std::uint16_t>(v.prx_stokes), o);
  for (std::size_t i = 0; i < v.chan_num.size() && i < 1024; ++i)
    put_u16(b, d + 34 + 2 * i, static_cast<std::uint16_t>(v.chan_num[i]), o);
  put_u8(b, d + 2082, v.pad[0]);
  put_u8(b, d + 2083, v.pad[1]);
  const double dbl[] = {v.mjd_ref, v.t_unit, v.prx_acq_bw, v.prx_final_bw, v.dut1};
  for (std::size_t i = 0; i < 5; ++i) put_f64(b, d + 2084 + 8 * i, dbl[i], o);
  return b;
}

CorrValues sample_corr() {
  CorrValues v;
  v.dummy = {1, 2, 3, 4, 5, 6, 7};
  const char *names[] = {"C00", "C01", "E02", "W01"};
  for (int a = 0; a < 4; ++a) {
    AntennaValues ant;
    ant.name = names[a];
    ant.samp_id = {static_cast<std::uint8_t>(2 * a), static_cast<std::uint8_t>(2 * a + 1), 0x78, 0x78};
    ant.bx = 100.25 * (a + 1);
    ant.by = -200.5 * (a + 1);
    ant.bz = 3.125e3 + a;
    for (int k = 0; k < 4; ++k) {
      ant.d0[k] = 1.5e-9 * (k + 1) + a;
      ant.p0[k] = -0.25 * (k + 1) - a;
    }
    v.antennas.push_back(ant);
  }
  for (int s = 0; s < 8; ++s)
    v.samplers.push_back({static_cast<std::uint8_t>(s / 2), static_cast<std::uint8_t>(s % 2),
                          static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(s)});
  for (int i = 0; i < 8; ++i)
    for (int j = i; j < 8; ++j) {
      BaselineValues bl;
      bl.samp[0] = v.samplers[i];
      bl.samp[1] = v.samplers[j];
      bl.card = static_cast<std::uint8_t>(i);
      bl.chip = static_cast<std::uint8_t>(j);
      bl.pol = static_cast<std::uint8_t>((i + j) % 4);
      bl.word_incr = 1;
      v.baselines.push_back(bl);
    }
  v.macs = 36;
  v.channels = 256;
  v.pols = 2;
  v.sta = 65536;
  v.cntrl = 0x01020304;
  v.statime = 131072;
  v.iabeam = 7;
  v.pabeam1 = -8;
  v.pabeam2 = 9;
  v.iabeam_res = 0.5f;
  v.pabeam1_res = -1.75f;
  v.pabeam2_res = 3.0e-3f;
  v.f_step = 125.0e3f;
  v.clock = 33.333e6f;
  v.dpcmux = 228;
  v.clksel = 1;
  v.fftmode = 2;
  v.macmode = 1; // RRRL
  v.antmask = 0x0000000f;
  v.avf = 16;
  v.prx_maxchan = 255;
  v.prx_fstop = -3;
  v.bandmask = 3;
  v.mode = -1;
  v.prx_stokes = 0x1234;
  for (int c = 0; c < 16; ++c) v.chan_num.push_back(static_cast<std::int16_t>(c * 16 + 1));
  v.pad = {0xAB, 0xCD};
  v.mjd_ref = 60000.5;
  v.t_unit = 1.0e-6;
  v.prx_acq_bw = 32.0e6;
  v.prx_final_bw = 16.0e6;
  v.dut1 = -0.2;
  return v;
}

// ---------------------------------------------------------------------------

Bytes scan_block(const ScanValues &v, Order o) {
  Bytes b(SCAN_SIZE, 0);
  put_u32(b, 0, static_cast<std::uint32_t>(v.status), o);
  put_f32(b, 4, v.t, o);
  put_text(b, 8, v.code, 8);
  put_text(b, 16, v.observer, 32);
  put_text(b, 48, v.title, 32);
  put_u32(b, 80, v.proj_antmask, o);
  put_u16(b, 84, v.proj_bandmask, o);
  put_u16(b, 86, v.seq, o);
  const std::size_t s = 88;
  put_text(b, s, v.object, 32);
  for (std::size_t i = 0; i < 4; ++i) put_f32(b, s + 32 + 4 * i, v.flux[i], o);
  const double d[] = {v.mjd0,         v.ra_app,       v.dec_app,   v.ra_mean,   v.dec_mean,
                      v.dra,          v.ddec,         v.freq[0],   v.freq[1],   v.first_lo[0],
                      v.first_lo[1],  v.bb_lo[0],     v.bb_lo[1],  v.rest_freq[0],
                      v.rest_freq[1], v.lsrvel[0],    v.lsrvel[1], v.ch_width};
  for (std::size_t i = 0; i < 18; ++i) put_f64(b, s + 48 + 8 * i, d[i], o);
  put_u32(b, s + 192, static_cast<std::uint32_t>(v.id), o);
  for (std::size_t i = 0; i < 4; ++i)
    put_u32(b, s + 196 + 4 * i, static_cast<std::uint32_t>(v.net_sign[i]), o);
  put_u32(b, s + 212, static_cast<std::uint32_t>(v.mode), o);
  put_u32(b, s + 216, static_cast<std::uint32_t>(v.dum1), o);
  put_u32(b, s + 220, v.src_antmask, o);
  put_u16(b, s + 224, v.src_bandmask, o);
  put_u16(b, s + 226, v.dum2, o);
  put_u16(b, s + 228, static_cast<std::uint16_t>(v.calcode), o);
  put_u16(b, s + 230, static_cast<std::uint16_t>(v.qual), o);
  return b;
}

ScanValues sample_scan() {
  ScanValues v;
  v.status = 5;
  v.t = 1.0f;
  v.code = "31_042";
  v.observer = "observer";
  v.title = "pulsar timing";
  v.proj_antmask = 0x0000ffff;
  v.proj_bandmask = 0x3;
  v.seq = 42;
  v.object = "3C286";
  v.flux = {14.9f, 0.1f, -0.2f, 0.0f};
  v.mjd0 = 51544.5;
  v.ra_app = 3.5392;
  v.dec_app = 0.5324;
  v.ra_mean = 3.5393;
  v.dec_mean = 0.5325;
  v.dra = 1.0e-7;
  v.ddec = -2.0e-7;
  v.freq = {325.9e6, 327.1e6};
  v.first_lo = {305.0e6, 306.0e6};
  v.bb_lo = {70.0e6, 71.0e6};
  v.rest_freq = {1420.4e6, 0};
  v.lsrvel = {12.5, -3.25};
  v.ch_width = 62.5e3;
  v.id = 17;
  v.net_sign = {1, -1, 1, -1};
  v.mode = 3;
  v.dum1 = -4;
  v.src_antmask = 0xdeadbeef;
  v.src_bandmask = 0xbeef;
  v.dum2 = 0x0102;
  v.calcode = -2;
  v.qual = 9;
  return v;
}

// ---------------------------------------------------------------------------

std::string corr_text(const CorrValues &v, std::string_view chan_list) {
  auto ant_name = [&](int id) -> std::string {
    return id < static_cast<int>(v.antennas.size()) ? v.antennas[id].name : "";
  };
  std::string t;
  t += line("*{ Corrsys.def");
  t += key_line("VERSION", v.version);
  t += key_line("CLOCK", format("%f Hz", v.clock));
  t += key_line("STA", format("%d Cycles", v.sta));
  t += key_line("STATIME", format("%d usec", v.statime));
  t += key_line("T_UNIT", format("%f  sec", v.t_unit));
  t += key_line("ANTS", 32);
  t += key_line("F_ENABLE", static_cast<long long>(v.samplers.size()));
  t += key_line("X_ENABLE", v.macs);
  t += key_line("CHAN_MAX", v.channels);
  t += key_line("POLS", v.pols);
  t += line("*} Corrsys");
  t += line("*");

  t += line("*{ Antenna.def");
  t += line("*AntId  = Ant      bx        by        bz      delay0    delay1");
  for (int a = 0; a < v.text_antennas; ++a) {
    AntennaValues ant = a < static_cast<int>(v.antennas.size()) ? v.antennas[a] : AntennaValues{};
    t += line(format("ANT%02d   = %3.3s %9.2f %9.2f %9.2f %9.2f %9.2f", a, ant.name.c_str(), ant.bx,
                     ant.by, ant.bz, ant.d0[0], ant.d0[1]));
  }
  t += line("*} Antenna");
  t += line("*");

  t += line("*{ Bandnames.def");
  for (int b = 0; b < 4; ++b) t += line(format("BAND%02d  = %s", b, v.bandname[b].c_str()));
  t += line("*} Bandnames");
  t += line("*");

  t += line("*{ Sampler.def");
  t += line("*SampId = Ant BandId FftId");
  int top = -1;
  for (const SamplerValues &s : v.samplers) top = std::max(top, static_cast<int>(s.dpc));
  for (int dpc = 0; dpc <= top; ++dpc) {
    std::string l = format("SMP%03d  = ", dpc);
    const SamplerValues *found = nullptr;
    for (const SamplerValues &s : v.samplers)
      if (s.dpc == dpc) {
        found = &s;
        break;
      }
    if (found)
      l += format("%s %s %03d", ant_name(found->ant_id).c_str(), v.bandname[found->band].c_str(), found->fft_id);
    else
      l += "None";
    t += line(l);
  }
  t += line("*} Sampler");
  t += line("*");

  t += line("*{ Baseline.def");
  t += line("*BaseId = A0 B0 A1 B1 SMP0 SMP1 Ant0   Band0 Ant1   Band1");
  for (std::size_t i = 0; i < v.baselines.size(); ++i) {
    const BaselineValues &b = v.baselines[i];
    t += line(format("BAS%04d = %02d %02d %02d %02d  %03d  %03d  %s %s  %s %s", static_cast<int>(i),
                     b.samp[0].ant_id, b.samp[0].band, b.samp[1].ant_id, b.samp[1].band, b.samp[0].dpc,
                     b.samp[1].dpc, ant_name(b.samp[0].ant_id).c_str(), v.bandname[b.samp[0].band].c_str(),
                     ant_name(b.samp[1].ant_id).c_str(), v.bandname[b.samp[1].band].c_str()));
  }
  t += line("*} Baseline");
  t += line("*");

  t += line("*{ Corrsel.def");
  t += key_line("MODE", format("%hx", static_cast<unsigned short>(v.mode)));
  t += key_line("AVF", v.avf);
  std::string samp;
  for (const SamplerValues &s : v.samplers) samp += format(" %d", s.dpc);
  t += key_line("SAMP_NUM", samp.substr(0, 69));
  std::string chans(chan_list);
  if (chans.empty())
    for (std::int16_t c : v.chan_num) chans += format(" %d", c);
  t += key_line("CHAN_NUM", chans);
  t += line("*} Corrsel");
  return t;
}

// ---------------------------------------------------------------------------

void append(Bytes &to, const Bytes &more) { to.insert(to.end(), more.begin(), more.end()); }

namespace {
std::size_t stored_size(int version) { return stored_layout(version).size; }

std::string global_text_body(const GlobalSpec &g, int recl, int h) {
  GlobalKeys k = g.keys;
  k.recl = recl;
  k.hdr_recs = h;
  return init_section(k) + addcorr_section(k) + corr_text(g.corr, g.chan_list) + line("END_OF_HEADER");
}
} // namespace

int GlobalSpec::text_recs() const {
  int r = recl ? recl : keys.layout.recl();
  return records_for(80 + global_text_body(*this, r, 0).size(), r);
}
int GlobalSpec::bin_recs() const {
  return records_for(stored_size(corr_version), recl ? recl : keys.layout.recl());
}

Bytes global_header(const GlobalSpec &g) {
  const int r = g.recl ? g.recl : g.keys.layout.recl();
  const int t = g.text_recs(), b = g.bin_recs();
  Bytes out = text_records(hdr_line(r, t + b, b) + global_text_body(g, r, t + b), r);
  append(out, binary_records(corr_block(g.corr, g.order, g.corr_version), r));
  return out;
}

namespace {
std::string scan_text(const ScanSpec &s, int srecs, int sbrecs) {
  const ScanValues &v = s.scan;
  std::string t = scan_line(s.number, srecs, sbrecs) + key_line("HDR_RECS", srecs);
  t += line("*{ SubArray0.def");
  t += key_line("ANTMASK", format("%08x", v.proj_antmask));
  t += key_line("BANDMASK", format("%04x", v.proj_bandmask));
  t += key_line("SEQ", v.seq);
  t += key_line("PROJECT", v.title + " ");
  t += key_line("CODE", v.code + " ");
  if (!s.omit_object) t += key_line("OBJECT", v.object + " ");
  const double deg = 0.017453292519943295;
  t += key_line("RA-DATE", format("%f", v.ra_mean / deg));
  t += key_line("DEC-DATE", format("%f", v.dec_mean / deg));
  t += key_line("MJD_SRC", format("%f", v.mjd0));
  t += key_line("DRA/DT", format("%f ", v.dra / deg));
  t += key_line("DDEC/DT", format("%f ", v.ddec / deg));
  t += key_line("F_STEP", format("%f ", v.ch_width));
  t += key_line("RF", format("%d  %d ", static_cast<int>(v.freq[0]), static_cast<int>(v.freq[1])));
  t += key_line("FIRST_LO", format("%d %d", static_cast<int>(v.first_lo[0]), static_cast<int>(v.first_lo[1])));
  t += key_line("BB_LO", format("%d %d", static_cast<int>(v.bb_lo[0]), static_cast<int>(v.bb_lo[1])));
  if (s.with_net_sign)
    t += key_line("NET_SIGN", format("%d %d %d %d", v.net_sign[0], v.net_sign[1], v.net_sign[2], v.net_sign[3]));
  t += line("*} SubArray0");
  t += line("*{ ExtraScan.def");
  t += key_line("INTEG", format("%f", s.integ));
  t += key_line("DATE-OBS", s.date_obs);
  t += key_line("MJD_REF", format("%f", s.mjd_ref));
  for (const char *k : {"BAD_RECS", "BAD_ANTS", "BAD_SAMP", "BAD_BASE", "BAD_CHAN"}) t += key_line(k, "");
  t += line("*} ExtraScan");
  t += line("END_OF_HEADER");
  return t;
}

Bytes scan_block_stored(const ScanSpec &s, Order o) {
  Bytes b = scan_block(s.scan, o);
  if (!s.version1) return b;
  // First version: no ra_mean and dec_mean; the fields from dra on move up 16 bytes.
  Bytes v1(b.begin(), b.begin() + 88 + 72);
  v1.insert(v1.end(), b.begin() + 88 + 88, b.end());
  return v1;
}
} // namespace

int scan_header_recs(const ScanSpec &s, int recl) {
  if (s.srecs) return s.srecs;
  int t = records_for(scan_text(s, 0, 0).size(), recl);
  return t + records_for(s.version1 ? 304 : 320, recl);
}

Bytes scan_header(const ScanSpec &s, Order o, int recl) {
  const int sbrecs = records_for(s.version1 ? 304 : 320, recl);
  const int srecs = scan_header_recs(s, recl);
  Bytes out = text_records(scan_text(s, srecs, sbrecs), recl);
  out.resize(static_cast<std::size_t>(srecs - sbrecs) * recl, 0);
  out.back() = '\n';
  append(out, binary_records(scan_block_stored(s, o), recl));
  return out;
}

} // namespace fixture
