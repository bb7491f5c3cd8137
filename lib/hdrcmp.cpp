// Comparing the correlator configurations of two files before their data
// records may share one file.
#include <cstdio>

#include "avf.h"

namespace {

// Element counts come from a file: they index fixed arrays only within them.
int within(int n, int cap) { return n < 0 ? 0 : (n > cap ? cap : n); }

bool same_source(const SamplerType &a, const SamplerType &b) {
  return a.ant_id == b.ant_id && a.band == b.band;
}

int fail(const char *msg) {
  std::fputs(msg, stderr);
  return -1;
}

int check(char letter, const CorrType &c, const CorrType &c1) {
  const DasParType &d = c.daspar, &d1 = c1.daspar;
  switch (letter) {
  case 'a':
    return d.antmask == d1.antmask ? 0 : fail("antmask mismatch\n");
  case 'b':
    return d.bandmask == d1.bandmask ? 0 : fail("bandmask mismatch\n");
  case 'c':
    if (d.channels != d1.channels) return fail("channel number mismatch\n");
    for (int i = 0; i < within(d.channels, MAX_CHANS); ++i)
      if (d.chan_num[i] != d1.chan_num[i]) {
        std::fprintf(stderr, "channel %d mismatch\n", i);
        return -1;
      }
    return 0;
  case 's':
  case 'S':
    if (d.samplers != d1.samplers) return fail("sampler number mismatch\n");
    if (letter == 'S') return 0;
    for (int i = 0; i < within(d.samplers, MAX_SAMPS); ++i)
      if (!same_source(c.sampler[i], c1.sampler[i])) {
        std::fprintf(stderr, "sampler %d mismatch\n", i);
        return -1;
      }
    return 0;
  case 'B':
  case 'p':
    if (d.baselines != d1.baselines) return fail("baseline number mismatch\n");
    if (letter == 'p') return 0;
    for (int i = 0; i < within(d.baselines, MAX_BASE); ++i)
      if (!same_source(c.baseline[i].samp[0], c1.baseline[i].samp[0]) ||
          !same_source(c.baseline[i].samp[1], c1.baseline[i].samp[1])) {
        std::fprintf(stderr, "baseline %d mismatch\n", i);
        return -1;
      }
    return 0;
  default:
    std::fprintf(stderr, "Illegal Check Type %c\n", letter);
    return -1;
  }
}

} // namespace

int cmp_global_hdr(const AvfInfo *linfo, const AvfInfo *linfo1, const char *chkstr) {
  for (const char *p = chkstr; p && *p; ++p)
    if (check(*p, linfo->corr, linfo1->corr) != 0) return -1;
  return 0;
}
