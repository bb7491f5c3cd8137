// Correlator model: the correlator configuration record CorrType and the scan
// record ScanInfoType, with their constants, enumerations and byte-order
// conversion.
//
// The stored layouts are those of a 32-bit x86 host, where 8-byte fields are
// aligned to 4 bytes. The structures below are packed to 4 so that this host
// holds them at exactly the stored offsets; every offset is checked at compile
// time at the end of this header.
#ifndef AVF_NEWCORR_H
#define AVF_NEWCORR_H

#include <cstddef>
#include <cstdint>

enum {
  MAX_ANTS = 32,   // antenna slots in the record
  MAX_SAMPS = 120, // sampler slots
  MAX_FFTS = 120,  // FFT inputs
  MAC_CARDS = 33,  // multiplier-accumulator cards
  MAX_BASE = 2112, // baseline slots
  MAX_CHANS = 1024,
  POLS = 4,
  NAMELEN = 32,
  DATELEN = 32,
};

enum { LittleEndian = 1, BigEndian = 0 };

// Band index; MAX_BANDS as a band value means "no band".
enum BandType { USB_130 = 0, USB_175 = 1, LSB_130 = 2, LSB_175 = 3, MAX_BANDS = 4 };

// Multiplier-accumulator mode.
enum MacModeType { RRLL = 0, RRRL = 1, RR__ = 2, MACMODES = 3 };

enum DasCardType { DAS_CARD0 = 0, DAS_CARD1 = 1, DAS_CARDS = 2, BEDAS_CARDS = 3 };

// Observing (DPC multiplexer) mode.
enum DpcMuxType {
  NativePolar = 0,
  UsbPolar = 1,
  LsbPolar = 2,
  UsbCopy = 3,
  LsbCopy = 4,
  AllU130 = 5,
  AllU175 = 6,
  AllL130 = 7,
  AllL175 = 8,
  arar_arar = 9,
  alal_alal = 10,
  brbr_brbr = 11,
  blbl_blbl = 12,
  aral_brbl = 13,
  aral_alar = 14,
  brbl_blbr = 15,
  arbr_albl = 16,
  DpcMuxVals = 17,
};

// Byte value of a dpc byte (or samp_id) that marks an unused slot: 'x'.
inline constexpr unsigned char UNUSED_SLOT = 0x78;

extern const char *const DefaultBandName[MAX_BANDS];
extern const char *const MacModeName[MACMODES];
extern const char *const DpcMuxName[DpcMuxVals];

#pragma pack(push, 4)

struct AntennaParType {
  char name[4];
  unsigned char samp_id[MAX_BANDS];
  double bx, by, bz;
  double d0[MAX_BANDS];
  double p0[MAX_BANDS];
};

struct SamplerType {
  unsigned char ant_id;
  unsigned char band;
  unsigned char fft_id;
  unsigned char dpc;
};

struct BaseParType {
  SamplerType samp[2];
  unsigned char card;
  unsigned char chip;
  unsigned char pol;
  unsigned char word_incr;
};

struct CorrParType {
  int32_t macs, channels, pols, sta, cntrl, statime;
  int32_t iabeam, pabeam1, pabeam2;
  float iabeam_res, pabeam1_res, pabeam2_res;
  float f_step, clock;
  unsigned char dpcmux, clksel, fftmode, macmode;
};

struct DasParType {
  int32_t antmask, samplers, baselines, channels;
  int32_t avf;
  int32_t prx_maxchan, prx_fstop;
  int16_t bandmask, mode, prx_stokes;
  int16_t chan_num[MAX_CHANS];
  unsigned char pad[2]; // alignment padding of the stored layout; carried unchanged
  double mjd_ref, t_unit;
  double prx_acq_bw, prx_final_bw;
  double dut1;
};

struct CorrType {
  unsigned char endian;
  unsigned char dummy[7];
  char version[NAMELEN];
  char bandname[MAX_BANDS][8];
  AntennaParType antenna[MAX_ANTS];
  SamplerType sampler[MAX_SAMPS];
  BaseParType baseline[MAX_BASE];
  CorrParType corrpar;
  DasParType daspar;
};

struct ProjectType {
  char code[8];
  char observer[NAMELEN];
  char title[NAMELEN];
  uint32_t antmask;
  uint16_t bandmask;
  uint16_t seq;
};

struct FluxType {
  float i, q, u, v;
};

struct SourceParType {
  char object[NAMELEN];
  FluxType flux;
  double mjd0;
  double ra_app, dec_app;
  double ra_mean, dec_mean;
  double dra, ddec;
  double freq[2], first_lo[2], bb_lo[2];
  double rest_freq[2], lsrvel[2];
  double ch_width;
  int32_t id;
  int32_t net_sign[MAX_BANDS];
  int32_t mode;
  int32_t dum1;
  uint32_t antmask;
  uint16_t bandmask;
  uint16_t dum2;
  int16_t calcode;
  int16_t qual;
};

struct ScanInfoType {
  int32_t status;
  float t;
  ProjectType proj;
  SourceParType source;
};

#pragma pack(pop)

// Byte-reversal primitives. They work on the bytes in place, whatever the
// host's byte order, need no alignment, and do nothing when n <= 0.
void swap_bytes(uint16_t *p, int n); // reverse each of n 16-bit items
void swap_short(uint32_t *p, int n); // exchange the 16-bit halves of n 32-bit items
void swap_long(void *p, int n);      // reverse each of n 32-bit items
void swap_d(double *p, int n);       // reverse each of n 64-bit items

// Record converters: reverse every multi-byte numeric field of the record and
// leave byte, character, reserved and padding bytes as they are. Floating-point
// fields are moved as bytes, so every bit pattern survives.
void flipAnt(AntennaParType *a);
void flipCorrPar(CorrParType *c);
void flipDasPar(DasParType *d);
void flipSourcePar(SourceParType *s);
void flipProject(ProjectType *p);
void flipScanInfo(ScanInfoType *s);
void flipCorr(CorrType *c); // also toggles bit 0 of endian

// ---------------------------------------------------------------------------
// Correlator description text writer.
#include <string>

// The keyword names of the correlator description text. Index 4 is spelled
// "F_ENABLE" and index 5 "X_ENABLE".
enum CorrVarType {
  Version, Ants, Chan_max, Pols, Samplers, Macs, F_step, Clock, Sta, StaTime,
  T_unit, Rf, First_lo, Bb_lo, Antmask, Bandmask, Mode, Seq, Object, Observer,
  Project, Code, Dra, Ddec, Ra_app, Dec_app, Ra_mean, Dec_mean, Ra_date, Dec_date,
  MJD, Date_obs, Avf, Samp_num, Chan_num, Mac_num, Integ, Mac_mode, Fft_mode, Dpc_mux,
  Clk_sel, Net_sign,
  Vars // = 42, the count
};
extern const char *const CorrVarName[Vars];

// Room the caller provides at buf: CORRGEN_MAX characters for corrgen or any one
// of the section writers, SCANPAR_MAX for put_scanpar (terminating NUL
// included). These hold the longest text any record can produce, damaged
// numbers and unterminated names included; a writer never goes beyond them.
inline constexpr int CORRGEN_MAX = 200000;
inline constexpr int SCANPAR_MAX = 4096;

// Each writer renders into buf from its start, leaves the text NUL-terminated
// and returns the number of characters written (NUL not counted). Nothing is
// kept between calls. Counts taken from the record are cut to the record's
// capacity (samplers 0..120, baselines 0..2112, channels 0..1024); an ant_id or
// band outside its range renders as an empty name; name fields are read up to
// their size even without a NUL. A null record or buffer writes nothing.
int corrgen(const CorrType *corr, char *buf); // all six sections and END_OF_HEADER
int put_syspar(const CorrType *corr, char *buf);      // Corrsys
int put_antpar(const CorrType *corr, char *buf);      // Antenna
int put_bandnames(const CorrType *corr, char *buf);   // Bandnames
int put_samppar(const CorrType *corr, char *buf);     // Sampler
int put_baselinepar(const CorrType *corr, char *buf); // Baseline
int put_selection(const CorrType *corr, char *buf);   // Corrsel
// Sub-array section of a scan header; seq is accepted and not used.
int put_scanpar(int subarray, int seq, const ScanInfoType *scan, char *buf);

// Compressed rendering of n values into out (replaced): items " v" and runs
// " first:last:step" (a descending run has a negative step). The first of
// consecutive runs, interleaved runs (even positions, then odd ones; only when
// each value is covered once) that has at most 69 characters, else the plain
// list, however long. Returns out's length; n <= 0 gives the empty text.
int print_range(std::string &out, const int16_t *val, int n);

// ---------------------------------------------------------------------------
// The stored layouts, checked field by field.
static_assert(sizeof(AntennaParType) == 96);
static_assert(offsetof(AntennaParType, name) == 0);
static_assert(offsetof(AntennaParType, samp_id) == 4);
static_assert(offsetof(AntennaParType, bx) == 8);
static_assert(offsetof(AntennaParType, by) == 16);
static_assert(offsetof(AntennaParType, bz) == 24);
static_assert(offsetof(AntennaParType, d0) == 32);
static_assert(offsetof(AntennaParType, p0) == 64);

static_assert(sizeof(SamplerType) == 4);
static_assert(offsetof(SamplerType, ant_id) == 0);
static_assert(offsetof(SamplerType, band) == 1);
static_assert(offsetof(SamplerType, fft_id) == 2);
static_assert(offsetof(SamplerType, dpc) == 3);

static_assert(sizeof(BaseParType) == 12);
static_assert(offsetof(BaseParType, samp) == 0);
static_assert(offsetof(BaseParType, card) == 8);
static_assert(offsetof(BaseParType, chip) == 9);
static_assert(offsetof(BaseParType, pol) == 10);
static_assert(offsetof(BaseParType, word_incr) == 11);

static_assert(sizeof(CorrParType) == 60);
static_assert(offsetof(CorrParType, macs) == 0);
static_assert(offsetof(CorrParType, channels) == 4);
static_assert(offsetof(CorrParType, pols) == 8);
static_assert(offsetof(CorrParType, sta) == 12);
static_assert(offsetof(CorrParType, cntrl) == 16);
static_assert(offsetof(CorrParType, statime) == 20);
static_assert(offsetof(CorrParType, iabeam) == 24);
static_assert(offsetof(CorrParType, pabeam1) == 28);
static_assert(offsetof(CorrParType, pabeam2) == 32);
static_assert(offsetof(CorrParType, iabeam_res) == 36);
static_assert(offsetof(CorrParType, pabeam1_res) == 40);
static_assert(offsetof(CorrParType, pabeam2_res) == 44);
static_assert(offsetof(CorrParType, f_step) == 48);
static_assert(offsetof(CorrParType, clock) == 52);
static_assert(offsetof(CorrParType, dpcmux) == 56);
static_assert(offsetof(CorrParType, clksel) == 57);
static_assert(offsetof(CorrParType, fftmode) == 58);
static_assert(offsetof(CorrParType, macmode) == 59);

static_assert(sizeof(DasParType) == 2124);
static_assert(offsetof(DasParType, antmask) == 0);
static_assert(offsetof(DasParType, samplers) == 4);
static_assert(offsetof(DasParType, baselines) == 8);
static_assert(offsetof(DasParType, channels) == 12);
static_assert(offsetof(DasParType, avf) == 16);
static_assert(offsetof(DasParType, prx_maxchan) == 20);
static_assert(offsetof(DasParType, prx_fstop) == 24);
static_assert(offsetof(DasParType, bandmask) == 28);
static_assert(offsetof(DasParType, mode) == 30);
static_assert(offsetof(DasParType, prx_stokes) == 32);
static_assert(offsetof(DasParType, chan_num) == 34);
static_assert(offsetof(DasParType, pad) == 2082);
static_assert(offsetof(DasParType, mjd_ref) == 2084);
static_assert(offsetof(DasParType, t_unit) == 2092);
static_assert(offsetof(DasParType, prx_acq_bw) == 2100);
static_assert(offsetof(DasParType, prx_final_bw) == 2108);
static_assert(offsetof(DasParType, dut1) == 2116);

static_assert(sizeof(CorrType) == 31152);
static_assert(offsetof(CorrType, endian) == 0);
static_assert(offsetof(CorrType, dummy) == 1);
static_assert(offsetof(CorrType, version) == 8);
static_assert(offsetof(CorrType, bandname) == 40);
static_assert(offsetof(CorrType, antenna) == 72);
static_assert(offsetof(CorrType, sampler) == 3144);
static_assert(offsetof(CorrType, baseline) == 3624);
static_assert(offsetof(CorrType, corrpar) == 28968);
static_assert(offsetof(CorrType, daspar) == 29028);

static_assert(sizeof(ProjectType) == 80);
static_assert(offsetof(ProjectType, code) == 0);
static_assert(offsetof(ProjectType, observer) == 8);
static_assert(offsetof(ProjectType, title) == 40);
static_assert(offsetof(ProjectType, antmask) == 72);
static_assert(offsetof(ProjectType, bandmask) == 76);
static_assert(offsetof(ProjectType, seq) == 78);

static_assert(sizeof(FluxType) == 16);
static_assert(sizeof(SourceParType) == 232);
static_assert(offsetof(SourceParType, object) == 0);
static_assert(offsetof(SourceParType, flux) == 32);
static_assert(offsetof(SourceParType, mjd0) == 48);
static_assert(offsetof(SourceParType, ra_app) == 56);
static_assert(offsetof(SourceParType, dec_app) == 64);
static_assert(offsetof(SourceParType, ra_mean) == 72);
static_assert(offsetof(SourceParType, dec_mean) == 80);
static_assert(offsetof(SourceParType, dra) == 88);
static_assert(offsetof(SourceParType, ddec) == 96);
static_assert(offsetof(SourceParType, freq) == 104);
static_assert(offsetof(SourceParType, first_lo) == 120);
static_assert(offsetof(SourceParType, bb_lo) == 136);
static_assert(offsetof(SourceParType, rest_freq) == 152);
static_assert(offsetof(SourceParType, lsrvel) == 168);
static_assert(offsetof(SourceParType, ch_width) == 184);
static_assert(offsetof(SourceParType, id) == 192);
static_assert(offsetof(SourceParType, net_sign) == 196);
static_assert(offsetof(SourceParType, mode) == 212);
static_assert(offsetof(SourceParType, dum1) == 216);
static_assert(offsetof(SourceParType, antmask) == 220);
static_assert(offsetof(SourceParType, bandmask) == 224);
static_assert(offsetof(SourceParType, dum2) == 226);
static_assert(offsetof(SourceParType, calcode) == 228);
static_assert(offsetof(SourceParType, qual) == 230);

static_assert(sizeof(ScanInfoType) == 320);
static_assert(offsetof(ScanInfoType, status) == 0);
static_assert(offsetof(ScanInfoType, t) == 4);
static_assert(offsetof(ScanInfoType, proj) == 8);
static_assert(offsetof(ScanInfoType, source) == 88);

#endif
