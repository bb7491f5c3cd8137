// Byte-level builder of AVF file pieces for reader tests.
//
// Everything here is written from the file format's own description: record
// offsets are literal numbers and header lines are assembled column by column.
// It deliberately shares no code with the library (no structures, no writers),
// so a reader test cannot pass because reader and writer agree on a mistake.
#ifndef AVF_TESTS_FIXTURE_H
#define AVF_TESTS_FIXTURE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fixture {

using Bytes = std::vector<unsigned char>;

enum class Order { Little, Big };

// Numbers at a byte offset in the given byte order. The buffer grows as needed.
void put_u8(Bytes &b, std::size_t off, std::uint8_t v);
void put_u16(Bytes &b, std::size_t off, std::uint16_t v, Order o);
void put_u32(Bytes &b, std::size_t off, std::uint32_t v, Order o);
void put_u64(Bytes &b, std::size_t off, std::uint64_t v, Order o);
void put_f32(Bytes &b, std::size_t off, float v, Order o);
void put_f64(Bytes &b, std::size_t off, double v, Order o);
void put_text(Bytes &b, std::size_t off, std::string_view s, std::size_t field);

std::uint16_t get_u16(const Bytes &b, std::size_t off, Order o);
std::uint32_t get_u32(const Bytes &b, std::size_t off, Order o);
std::uint64_t get_u64(const Bytes &b, std::size_t off, Order o);
double get_f64(const Bytes &b, std::size_t off, Order o);
float get_f32(const Bytes &b, std::size_t off, Order o);

// ---------------------------------------------------------------------------
// Header text.

// An 80-byte header line: the text (cut to 79), blanks up to column 78 and a
// newline in column 79.
std::string line(std::string_view text);
// A keyword line: keyword in columns 0-7, "=" in column 8, blank, value from 10.
std::string key_line(std::string_view key, std::string_view value);
std::string key_line(std::string_view key, long long value);
// "HDR " with RECL, total and binary header records.
std::string hdr_line(int recl, int lrecs, int lbrecs);
// "SCAN" with the four-digit scan number and the same two counts.
std::string scan_line(int scan, int srecs, int sbrecs);

// Text records: the text, NUL bytes to the end of its last record, and a
// newline as the last byte of that record.
Bytes text_records(std::string_view text, int recl);
// A binary block padded with zero bytes to whole records.
Bytes binary_records(const Bytes &block, int recl);
int records_for(std::size_t bytes, int recl);

// ---------------------------------------------------------------------------
// Data records.

// Record layout by the format's layout rule for A antennas, S samplers,
// B baselines and C channels.
struct Layout {
  int antennas = 4, samplers = 8, baselines = 36, channels = 16;
  bool no_params = false; // correlator record version 4 carries no parameters

  int flg_off() const { return 80; }
  int flg_rec_size() const { return 4; }
  int flg_ant_size() const { return 4 * ((antennas + 31) / 32); }
  int flg_smp_size() const { return 4 * ((samplers + 31) / 32); }
  int flg_bas_size() const { return 4 * ((baselines + 31) / 32); }
  int flg_dat_size() const { return 4 * ((4 * baselines * channels + 31) / 32); }
  int flg_size() const {
    return flg_rec_size() + flg_ant_size() + flg_smp_size() + flg_bas_size() + flg_dat_size();
  }
  int time_off() const { return flg_off() + flg_size(); }
  int wt_off() const { return time_off() + 8; }
  int par_off() const { return wt_off() + 8; }
  int par_size() const { return no_params ? 0 : 16 * samplers; }
  int data_off() const { return par_off() + par_size(); }
  int data_size() const { return 8 * baselines * channels; }
  int recl() const { return data_off() + data_size(); }
};

// The 17-byte signature "DATA%04d.%05d" and three blanks.
std::string signature(int scan, int rec);
// A data record of the layout: signature, a deterministic payload, and the
// time at TIME_OFF in the given byte order.
Bytes data_record(const Layout &l, int scan, int rec, double time, Order o);

// ---------------------------------------------------------------------------
// Global header text: the Init and AddCorr sections with all 36 keywords.
struct GlobalKeys {
  Layout layout;
  int recl = 0; // 0: the layout's record length
  int hdr_recs = 0;
  std::string version = "COR30x2 AVF1.10 DAS2.01 HST03";
  std::string byte_seq = "Little Endian";
  bool with_datafmt = true;
};
std::string init_section(const GlobalKeys &k);
std::string addcorr_section(const GlobalKeys &k);

// ---------------------------------------------------------------------------
// Binary records, written field by field at their stored offsets.

struct AntennaValues {
  std::string name;
  std::array<std::uint8_t, 4> samp_id{0x78, 0x78, 0x78, 0x78};
  double bx = 0, by = 0, bz = 0;
  std::array<double, 4> d0{}, p0{};
};
struct SamplerValues {
  std::uint8_t ant_id = 0, band = 0, fft_id = 0, dpc = 0x78;
};
struct BaselineValues {
  SamplerValues samp[2];
  std::uint8_t card = 0, chip = 0, pol = 0, word_incr = 0;
};

// The correlator record, 31152 bytes.
struct CorrValues {
  std::string version = "COR30x2 AVF1.10 DAS2.01 HST03";
  std::array<std::string, 4> bandname{"USB-130", "USB-175", "LSB-130", "LSB-175"};
  std::array<std::uint8_t, 7> dummy{};
  std::vector<AntennaValues> antennas;   // slots 0.. ; the rest stay zero
  std::vector<SamplerValues> samplers;   // slots 0.. ; the rest marked unused
  std::vector<BaselineValues> baselines; // slots 0.. ; the rest marked unused
  // corrpar
  std::int32_t macs = 0, channels = 0, pols = 0, sta = 0, cntrl = 0, statime = 0;
  std::int32_t iabeam = 0, pabeam1 = 0, pabeam2 = 0;
  float iabeam_res = 0, pabeam1_res = 0, pabeam2_res = 0, f_step = 0, clock = 0;
  std::uint8_t dpcmux = 228, clksel = 0, fftmode = 0, macmode = 0;
  // daspar
  std::int32_t antmask = 0, avf = 0, prx_maxchan = 0, prx_fstop = 0;
  std::int16_t bandmask = 0, mode = 0, prx_stokes = 0;
  std::vector<std::int16_t> chan_num;
  std::array<std::uint8_t, 2> pad{};
  double mjd_ref = 0, t_unit = 0, prx_acq_bw = 0, prx_final_bw = 0, dut1 = 0;
  int text_antennas = 32; // antenna lines in the header text: 32, or 30 in older files
};
inline constexpr std::size_t CORR_SIZE = 31152;
// `version` 0 is the reference layout (31152 bytes); 2, 3 and 4 the older
// stored arrangements (16192, 29368 and 31152 bytes).
Bytes corr_block(const CorrValues &v, Order o, int version = 0);
// A small, fully populated configuration (every field non-zero where it can be).
CorrValues sample_corr();

// The scan record, 320 bytes.
struct ScanValues {
  std::int32_t status = 0;
  float t = 0;
  std::string code, observer, title;
  std::uint32_t proj_antmask = 0;
  std::uint16_t proj_bandmask = 0, seq = 0;
  std::string object;
  std::array<float, 4> flux{};
  double mjd0 = 0, ra_app = 0, dec_app = 0, ra_mean = 0, dec_mean = 0, dra = 0, ddec = 0;
  std::array<double, 2> freq{}, first_lo{}, bb_lo{}, rest_freq{}, lsrvel{};
  double ch_width = 0;
  std::int32_t id = 0;
  std::array<std::int32_t, 4> net_sign{};
  std::int32_t mode = 0, dum1 = 0;
  std::uint32_t src_antmask = 0;
  std::uint16_t src_bandmask = 0, dum2 = 0;
  std::int16_t calcode = 0, qual = 0;
};
inline constexpr std::size_t SCAN_SIZE = 320;
Bytes scan_block(const ScanValues &v, Order o);
ScanValues sample_scan();

// The correlator description sections of a global header (Corrsys, Antenna,
// Bandnames, Sampler, Baseline, Corrsel) as a file holds them: "*{"/"*}"
// section lines, every line 80 bytes. `chan_list` is the CHAN_NUM value text;
// empty means every channel number written singly.
std::string corr_text(const CorrValues &v, std::string_view chan_list = "");

// ---------------------------------------------------------------------------
// Whole headers and files.

// A complete global header: HDR line, Init and AddCorr sections, the
// correlator description text, END_OF_HEADER, NUL filling, then the binary
// correlator record of the given stored version in whole records.
struct GlobalSpec {
  GlobalKeys keys;
  CorrValues corr = sample_corr();
  Order order = Order::Little;
  int corr_version = 4; // 0 reference, 2, 3, 4
  int recl = 0;         // 0: keys.layout.recl()
  std::string chan_list; // CHAN_NUM text; empty: plain list
  int text_recs() const;
  int bin_recs() const;
};
Bytes global_header(const GlobalSpec &g);

// The text of a scan header's keyword sections (after the SCAN and HDR_RECS
// lines) for a scan record, with its DATE-OBS.
struct ScanSpec {
  int number = 0;
  ScanValues scan = sample_scan();
  std::string date_obs = "Mon Sep 17 00:02:30.5 2001";
  float integ = 0.131072f;
  double mjd_ref = 60000.5;
  bool with_net_sign = true;
  bool omit_object = false;
  bool version1 = false; // store the 304-byte first-version scan record
  int srecs = 0;         // 0: as many as the text and block need
};
// A complete scan header of `recl`-byte records in the given byte order.
Bytes scan_header(const ScanSpec &s, Order o, int recl);
int scan_header_recs(const ScanSpec &s, int recl);

void append(Bytes &to, const Bytes &more);

} // namespace fixture

#endif
