// avfmerge: concatenates AVF files of one correlator configuration into
// "avfmerge_out.avf".
//
// Every input is indexed from its end (scan table), checked against the first
// input, and copied scan by scan; later inputs' times are shifted to the first
// input's reference epoch and all data records are renumbered with one
// running scan number.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "avf.h"
#include "flipout.h"
#include "opt/opt.h"
#include "progress.h"
#include "toolio.h"

namespace {

char **AvfFile = nullptr;
int NFiles = 0;
std::string Usage;

constexpr const char *OUT_NAME = "avfmerge_out.avf";

// What later inputs are measured against: the first input's header.
struct Reference {
  std::string name;
  int recl = 0;
  AvfHdr lhdr;
  CorrType corr;
};

int write_error() {
  std::fprintf(stderr, "Error writing %s\n", OUT_NAME);
  return 1;
}

// Records of a later input must fit the output's header: same length and the
// same data record layout. Returns false after naming the first difference.
bool same_layout(const Reference &ref, const AvfInfo &in, const char *name) {
  const AvfHdr &a = ref.lhdr, &b = in.lhdr;
  const struct {
    const char *key;
    int first, here;
  } fields[] = {
      {"RECL", ref.recl, in.recl},
      {"FLG_OFF", a.flg_off, b.flg_off},           {"FLG_SIZE", a.flg_size, b.flg_size},
      {"FLGRECOF", a.flg_rec_off, b.flg_rec_off},  {"FLGRECSZ", a.flg_rec_size, b.flg_rec_size},
      {"FLGANTOF", a.flg_ant_off, b.flg_ant_off},  {"FLGANTSZ", a.flg_ant_size, b.flg_ant_size},
      {"FLGSMPOF", a.flg_smp_off, b.flg_smp_off},  {"FLGSMPSZ", a.flg_smp_size, b.flg_smp_size},
      {"FLGBASOF", a.flg_bas_off, b.flg_bas_off},  {"FLGBASSZ", a.flg_bas_size, b.flg_bas_size},
      {"FLGDATOF", a.flg_dat_off, b.flg_dat_off},  {"FLGDATSZ", a.flg_dat_size, b.flg_dat_size},
      {"TIME_OFF", a.time_off, b.time_off},        {"TIMESIZE", a.time_size, b.time_size},
      {"WT_OFF", a.wt_off, b.wt_off},              {"WT_SIZE", a.wt_size, b.wt_size},
      {"PAR_OFF", a.par_off, b.par_off},           {"PAR_SIZE", a.par_size, b.par_size},
      {"DATA_OFF", a.data_off, b.data_off},        {"DATASIZE", a.data_size, b.data_size},
  };
  for (const auto &f : fields)
    if (f.first != f.here) {
      std::fprintf(stderr, "Record layout of %s differs from %s: %s is %d, not %d\n", name,
                   ref.name.c_str(), f.key, f.here, f.first);
      return false;
    }
  return true;
}

// Adds dt seconds to the record time, a double at time_off.
void shift_time(unsigned char *rec, std::size_t len, int time_off, double dt) {
  if (dt == 0.0 || time_off < 0 || static_cast<std::size_t>(time_off) + sizeof(double) > len) return;
  double t;
  std::memcpy(&t, rec + time_off, sizeof t);
  t += dt;
  std::memcpy(rec + time_off, &t, sizeof t);
}

class Merger {
public:
  Merger(std::FILE *out, long long total) : out_(out), writer_(out), progress_("avfmerge", total) {}
  int merge_input(const char *name, bool first);
  // Erases the progress line before anything else is printed.
  void quiet() { progress_.clear(); }
  int fail_write() {
    progress_.clear();
    return write_error();
  }

private:
  int copy_scan(AvfInfo &info, int j, const char *name);

  std::FILE *out_;
  toolio::RunWriter writer_;
  toolio::Progress progress_;
  long long done_ = 0; // input bytes of the inputs finished
  std::unique_ptr<toolio::RecordWindow> win_; // the current input's records
  int in_fd_ = -1;                             // and its file
  std::unique_ptr<Reference> ref_;
  int scanno_ = 0;
  double dt_ = 0.0;
  bool change_endian_ = false;
  int in_srecs_ = 0, in_sbrecs_ = 0;
};

int Merger::copy_scan(AvfInfo &info, int j, const char *name) {
  ScanHdrTab &e = info.stab[j];
  if (dt_ != 0.0) e.scan.t = static_cast<float>(static_cast<double>(e.scan.t) + dt_);
  if (!writer_.flush() || write_scan(&e.scan, 1, &info, j, e.shdr.date_obs, out_) != 0) return fail_write();
  // The input's own scan header length, not the one just written.
  info.srecs = in_srecs_;
  info.sbrecs = in_sbrecs_;
  const std::size_t recl = static_cast<std::size_t>(info.recl);
  long long pos = (static_cast<long long>(e.start_rec) + in_srecs_) * info.recl;
  // Long records in the input's byte order: only the bytes that change are
  // read, and the system copies the record.
  const bool sparse = !change_endian_ && recl >= toolio::SPARSE_RECORD;
  const bool time = dt_ != 0.0 && info.lhdr.time_off >= 0; // the time changes
  const std::size_t time_off = time ? static_cast<std::size_t>(info.lhdr.time_off) : 0;
  for (uint32_t k = 0; k < e.recs; ++k, pos += info.recl) {
    if (!win_->holds(pos, recl) && !writer_.flush_memory()) return fail_write();
    unsigned char *rec = sparse ? win_->parts(pos, recl, {{0, SIGNATURE_LEN}, {time_off, time ? sizeof(double) : 0}})
                                : win_->at(pos, recl);
    if (!rec) {
      progress_.clear();
      std::fprintf(stderr, "Cannot read record %u of scan %d in %s\n", k, j, name);
      return writer_.flush() ? 1 : fail_write();
    }
    if (change_endian_) {
      auto stamp = [&] {
        shift_time(rec, recl, info.lhdr.time_off, dt_);
        update_signature(rec, scanno_, static_cast<int>(k));
      };
      if (!toolio::write_flipped(writer_, rec, recl, info.lhdr, stamp)) return fail_write();
    } else {
      // In the input's byte order the record is copied from the file by the
      // system and only its changed bytes are written over the copy.
      // The time first and the signature last, as in the other byte order:
      // a time field over the signature (a damaged header) ends the same.
      const bool renumbered = !signature_is(rec, scanno_, static_cast<int>(k));
      shift_time(rec, recl, info.lhdr.time_off, dt_);
      update_signature(rec, scanno_, static_cast<int>(k));
      const std::size_t sig = renumbered ? static_cast<std::size_t>(SIGNATURE_LEN) : 0;
      if (!writer_.add_copy(in_fd_, pos, recl, rec, {{0, sig}, {time_off, time ? sizeof(double) : 0}}, !sparse))
        return fail_write();
    }
    progress_.update(done_ + pos + info.recl);
  }
  progress_.clear();
  std::printf("SCAN %-3d: %-12.11s %4u recs\n", scanno_, e.shdr.object, e.recs);
  ++scanno_;
  return 0;
}

int Merger::merge_input(const char *name, bool first) {
  progress_.clear();
  toolio::File in = toolio::open_stream(name, "rb");
  if (!in) {
    std::fprintf(stderr, "Cannot open %s\n", name);
    return 1;
  }
  std::printf("INPUT   : %-s\n", name);
  auto info = std::make_unique<AvfInfo>();
  info->local_byte_order = host_byte_order();
  if (get_avf_hdr(in.get(), info.get()) != 0 || make_scantab(in.get(), info.get()) != 0) return 1;
  in_srecs_ = info->srecs;
  in_sbrecs_ = info->sbrecs;

  if (first) {
    try {
      ref_ = std::make_unique<Reference>();
    } catch (const std::bad_alloc &) {
      std::fprintf(stderr, "malloc failure\n");
      return 1;
    }
    if (write_hdr(info.get(), out_) != 0) return fail_write();
    ref_->name = name;
    ref_->recl = info->recl;
    ref_->lhdr = info->lhdr;
    ref_->corr = info->corr;
  } else {
    auto ref_info = std::make_unique<AvfInfo>();
    ref_info->corr = ref_->corr;
    if (cmp_global_hdr(ref_info.get(), info.get(), "abcsB") != 0) {
      std::fprintf(stderr, "AVF file headers do not match\n");
      return 1;
    }
    if (!same_layout(*ref_, *info, name)) return 1;
    dt_ = (info->corr.daspar.mjd_ref - ref_->corr.daspar.mjd_ref) * 86400.0;
    std::printf("Change in REF_TIME = %12.4f (sec)\n", dt_);
    // Its times now count from the first input's epoch, and so does every
    // scan header written for it.
    info->corr.daspar.mjd_ref = ref_->corr.daspar.mjd_ref;
  }
  change_endian_ = info->data_byte_order != info->local_byte_order;
  if (!writer_.flush()) return fail_write(); // nothing may wait on the last input's buffer
  in_fd_ = fileno(in.get());
  win_ = std::make_unique<toolio::RecordWindow>(in_fd_, static_cast<std::size_t>(info->recl));
  if (!win_->ok()) {
    std::fprintf(stderr, "malloc failure\n");
    return 1;
  }
  for (int j = 0; j < info->scans; ++j)
    if (int r = copy_scan(*info, j, name); r != 0) return r;
  struct stat st;
  if (fstat(fileno(in.get()), &st) == 0) done_ += static_cast<long long>(st.st_size);
  return writer_.flush() ? 0 : fail_write();
}

int avfmerge(int, char **) {
  if (NFiles <= 0) {
    std::fputs(Usage.c_str(), stderr);
    return 1;
  }
  for (int i = 0; i < NFiles; ++i)
    if (AvfFile[i] && toolio::same_file(AvfFile[i], OUT_NAME)) {
      std::fprintf(stderr, "Input %s is the output file %s: not overwriting it\n", AvfFile[i], OUT_NAME);
      return 1;
    }
  toolio::File out = toolio::open_stream(OUT_NAME, "wb", false);
  if (!out) {
    std::fprintf(stderr, "Cannot open file %s\n", OUT_NAME);
    return 1;
  }
  long long total = 0;
  for (int i = 0; i < NFiles; ++i) {
    struct stat st;
    if (AvfFile[i] && stat(AvfFile[i], &st) == 0) total += static_cast<long long>(st.st_size);
  }
  Merger m(out.get(), total);
  for (int i = 0; i < NFiles; ++i) {
    int r = m.merge_input(AvfFile[i] ? AvfFile[i] : "", i == 0);
    if (r != 0) {
      std::fflush(stdout);
      toolio::close_output(out);
      return r;
    }
  }
  m.quiet();
  std::fflush(stdout);
  return toolio::close_output(out) ? 0 : write_error();
}

} // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress lines interleave with messages in logs
  optrega_array(&NFiles, &AvfFile, OPT_STRING, 'i', "in", "Input AVF Files");
  Usage = std::string("Usage: ") + (argc > 0 ? argv[0] : "avfmerge") +
          " -i InputAvfFile1[,File2[,File3...]\n";
  optUsage(Usage.c_str());
  optTitle("Combines AVF files\n");
  optMain(avfmerge);
  opt(&argc, &argv);
  return avfmerge(argc, argv);
}
