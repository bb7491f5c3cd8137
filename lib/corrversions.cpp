// The stored arrangements of the correlator record (record versions 2, 3 and
// 4) and their conversion to and from the reference layout held in memory.
//
// Every move is a byte copy between stored and reference offsets, so the
// reading conversions work in either byte order; the writing conversions read
// counts and dpc bytes and therefore need the record in local byte order.
#include <cstring>
#include <memory>

#include "avf.h"

namespace {

// Where the members of one stored arrangement lie.
struct Arrangement {
  int antennas, samplers, baselines;
  std::size_t ant_off, samp_off, base_off, corrpar_off, daspar_off;
  bool short_corrpar; // the 32-byte system parameters of versions 2 and 3
  int chans;          // channel numbers stored
  bool has_dut1;      // version-3 daspar ends with dut1
  std::size_t size;   // stored block size
};

constexpr Arrangement V2 = {30, 60, 1056, 72, 2952, 3192, 15864, 15896, true, 128, false, 16192};
constexpr Arrangement V3 = {30, 120, 2112, 72, 2952, 3432, 28776, 28808, true, 256, true, 29368};
constexpr Arrangement V4 = {32, 64, 2112, 72, 3144, 3400, 28744, 28804, false, 1024, true, 31152};

// Reference offsets.
constexpr std::size_t REF_ANT = offsetof(CorrType, antenna);
constexpr std::size_t REF_SAMP = offsetof(CorrType, sampler);
constexpr std::size_t REF_BASE = offsetof(CorrType, baseline);
constexpr std::size_t REF_CORRPAR = offsetof(CorrType, corrpar);
constexpr std::size_t REF_DASPAR = offsetof(CorrType, daspar);
constexpr std::size_t ANT = sizeof(AntennaParType), SAMP = sizeof(SamplerType), BASE = sizeof(BaseParType);

// Short system parameters: pairs of (stored offset, reference offset, bytes).
struct Move {
  std::size_t stored, ref, bytes;
};
constexpr Move SHORT_CORRPAR[] = {
    {0, offsetof(CorrParType, macs), 16},    // macs, channels, pols, sta
    {16, offsetof(CorrParType, statime), 4}, //
    {20, offsetof(CorrParType, f_step), 8},  // f_step, clock
    {28, offsetof(CorrParType, dpcmux), 4},  // dpcmux, clksel, fftmode, macmode
};

// Version-2/3 acquisition parameters; channel numbers and the doubles follow.
constexpr Move OLD_DASPAR_HEAD[] = {
    {0, offsetof(DasParType, antmask), 20},   // antmask .. avf
    {20, offsetof(DasParType, bandmask), 2},  //
    {22, offsetof(DasParType, mode), 2},      //
};
constexpr std::size_t OLD_CHAN_OFF = 24;

using Byte = unsigned char;
Byte *bytes(CorrType *c) { return reinterpret_cast<Byte *>(c); }
const Byte *bytes(const CorrType *c) { return reinterpret_cast<const Byte *>(c); }

void old_daspar_moves(const Arrangement &a, Move *out, int &n) {
  n = 0;
  for (const Move &m : OLD_DASPAR_HEAD) out[n++] = m;
  std::size_t after = OLD_CHAN_OFF + 2 * static_cast<std::size_t>(a.chans);
  out[n++] = {OLD_CHAN_OFF, offsetof(DasParType, chan_num), 2 * static_cast<std::size_t>(a.chans)};
  out[n++] = {after, offsetof(DasParType, mjd_ref), 16}; // mjd_ref, t_unit
  if (a.has_dut1) out[n++] = {after + 16, offsetof(DasParType, dut1), 8};
}

// Marks sampler slots [from, to) of an area unused.
void mark_samplers_unused(Byte *area, int from, int to) {
  for (int i = from; i < to; ++i) area[i * SAMP + offsetof(SamplerType, dpc)] = UNUSED_SLOT;
}
void mark_baselines_unused(Byte *area, int from, int to) {
  for (int i = from; i < to; ++i) {
    area[i * BASE + offsetof(BaseParType, samp) + offsetof(SamplerType, dpc)] = UNUSED_SLOT;
    area[i * BASE + offsetof(BaseParType, samp) + SAMP + offsetof(SamplerType, dpc)] = UNUSED_SLOT;
  }
}

void stored_to_reference(AvfInfo *info, const Arrangement &a, const char *tag) {
  CorrType *rec = &info->corr;
  const Byte *img = bytes(rec);
  auto ref = std::make_unique<CorrType>();
  Byte *r = bytes(ref.get());
  // The common beginning; members this version lacks read as zero, and
  // sampler and baseline slots it lacks as unused.
  std::memcpy(r, img, REF_ANT);

  std::memcpy(r + REF_ANT, img + a.ant_off, a.antennas * ANT);
  std::memcpy(r + REF_SAMP, img + a.samp_off, a.samplers * SAMP);
  mark_samplers_unused(r + REF_SAMP, a.samplers, MAX_SAMPS);
  std::memcpy(r + REF_BASE, img + a.base_off, a.baselines * BASE);
  mark_baselines_unused(r + REF_BASE, a.baselines, MAX_BASE);

  if (a.short_corrpar) {
    for (const Move &m : SHORT_CORRPAR)
      std::memcpy(r + REF_CORRPAR + m.ref, img + a.corrpar_off + m.stored, m.bytes);
    Move moves[8];
    int n = 0;
    old_daspar_moves(a, moves, n);
    for (int i = 0; i < n; ++i)
      std::memcpy(r + REF_DASPAR + moves[i].ref, img + a.daspar_off + moves[i].stored, moves[i].bytes);
  } else {
    std::memcpy(r + REF_CORRPAR, img + a.corrpar_off, sizeof(CorrParType));
    std::memcpy(r + REF_DASPAR, img + a.daspar_off, sizeof(DasParType));
  }
  std::memcpy(rec, ref.get(), sizeof(CorrType));

  std::memcpy(rec->version, tag, 8);
  std::size_t n = strnlen(rec->version, sizeof rec->version);
  std::size_t cap = sizeof info->lhdr.version - 1;
  std::memcpy(info->lhdr.version, rec->version, n < cap ? n : cap);
  info->lhdr.version[n < cap ? n : cap] = '\0';
}

int clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void reference_to_stored(const AvfInfo *info, CorrType *corr1, const Arrangement &a) {
  const CorrType *ref = &info->corr;
  const Byte *r = bytes(ref);
  Byte *out = bytes(corr1);
  std::memcpy(out, r, sizeof(CorrType));

  if (a.antennas < MAX_ANTS) std::memcpy(out + a.ant_off, r + REF_ANT, a.antennas * ANT);

  // Samplers in use, slot for slot; the rest of the area marked unused. A
  // free slot keeps the other bytes of the record's own slot of that number,
  // so that a record read and written back is stored as it was.
  const int samplers = clamp(ref->daspar.samplers, 0, a.samplers);
  std::memcpy(out + a.samp_off, r + REF_SAMP, a.samplers * SAMP);
  mark_samplers_unused(out + a.samp_off, samplers, a.samplers);

  // Baselines packed: entries with an unused sampler are left out.
  const int baselines = clamp(ref->daspar.baselines, 0, MAX_BASE);
  int slot = 0;
  for (int i = 0; i < baselines && slot < a.baselines; ++i) {
    const BaseParType &b = ref->baseline[i];
    if (b.samp[0].dpc == UNUSED_SLOT || b.samp[1].dpc == UNUSED_SLOT) continue;
    std::memcpy(out + a.base_off + slot * BASE, &b, BASE);
    ++slot;
  }
  std::memcpy(out + a.base_off + slot * BASE, r + REF_BASE + slot * BASE, (a.baselines - slot) * BASE);
  mark_baselines_unused(out + a.base_off, slot, a.baselines);

  if (a.short_corrpar) {
    for (const Move &m : SHORT_CORRPAR)
      std::memcpy(out + a.corrpar_off + m.stored, r + REF_CORRPAR + m.ref, m.bytes);
    Move moves[8];
    int n = 0;
    old_daspar_moves(a, moves, n);
    for (int i = 0; i < n; ++i)
      std::memcpy(out + a.daspar_off + moves[i].stored, r + REF_DASPAR + moves[i].ref, moves[i].bytes);
  } else {
    std::memcpy(out + a.corrpar_off, r + REF_CORRPAR, sizeof(CorrParType));
    std::memcpy(out + a.daspar_off, r + REF_DASPAR, sizeof(DasParType));
  }

  // The version text as read from the header's Corrsys section.
  const char *v = info->lhdr.vinfo.corrlite.old_version;
  std::size_t n = strnlen(v, sizeof info->lhdr.vinfo.corrlite.old_version);
  if (n > sizeof corr1->version - 1) n = sizeof corr1->version - 1;
  std::memcpy(corr1->version, v, n);
  corr1->version[n] = '\0';
}

} // namespace

int corr2_to_corr_ref(AvfInfo *info) {
  stored_to_reference(info, V2, "CORR30  ");
  return 0;
}
int corr3_to_corr_ref(AvfInfo *info) {
  stored_to_reference(info, V3, "COR30x2 ");
  return 0;
}
int corr4_to_corr_ref(AvfInfo *info) {
  stored_to_reference(info, V4, "COR30x2 ");
  return 0;
}
int corr_ref_to_corr2(AvfInfo *info, CorrType *corr1) {
  reference_to_stored(info, corr1, V2);
  return 0;
}
int corr_ref_to_corr3(AvfInfo *info, CorrType *corr1) {
  reference_to_stored(info, corr1, V3);
  return 0;
}
int corr_ref_to_corr4(AvfInfo *info, CorrType *corr1) {
  reference_to_stored(info, corr1, V4);
  return 0;
}

int corr_read_version(const char *version) {
  bool cor = std::strstr(version, "COR30x2 ") != nullptr;
  bool hst = std::strstr(version, "HST03") != nullptr;
  if (!cor && !hst) return 2;
  if (cor && !hst) return 3;
  if (cor && hst) return 4;
  return 0;
}

int corr_write_version(const AvfInfo *info) {
  if (!info->keep_version) return 0;
  // The header written states old_version as its VERSION, and a reader picks
  // the stored arrangement from that text alone: store the block in the
  // arrangement that text names, so that what is written always reads back.
  // For a file whose texts agree this is the version it was read in; it
  // differs only where the texts disagree (a damaged VERSION line, or
  // "COR30x2" with no blank after it).
  return corr_read_version(info->lhdr.old_version);
}

std::size_t corr_block_size(int version) {
  switch (version) {
  case 2: return V2.size;
  case 3: return V3.size;
  default: return sizeof(CorrType);
  }
}

int corr_stored_to_ref(AvfInfo *info, int version) {
  switch (version) {
  case 2: return corr2_to_corr_ref(info);
  case 3: return corr3_to_corr_ref(info);
  case 4: return corr4_to_corr_ref(info);
  default: return 0;
  }
}

int corr_ref_to_stored(AvfInfo *info, int version, CorrType *corr1) {
  switch (version) {
  case 2: return corr_ref_to_corr2(info, corr1);
  case 3: return corr_ref_to_corr3(info, corr1);
  case 4: return corr_ref_to_corr4(info, corr1);
  default: std::memcpy(corr1, &info->corr, sizeof(CorrType)); return 0;
  }
}
