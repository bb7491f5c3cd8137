// avfmend: copies a damaged AVF file into "avfmend_out.avf".
//
// The input is walked forwards record by record. Scan headers are rewritten,
// data records are brought to the local byte order and given fresh
// signatures. Where the structure is broken the walk loses sync and searches
// forward, byte by byte through whole records, for the next "DATA" or "SCAN"
// signature, realigns on it and carries on; data found this way continues the
// scan before it.
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
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

char *AvfFile = nullptr;
int MaxScan = 64;
int EatRec = 0;
int Verbose = 0;
std::string Usage;

constexpr const char *OUT_NAME = "avfmend_out.avf";
constexpr int CARRY = 3; // bytes kept from the previous record: a signature may straddle two

enum class Found { Data, Scan, End };

class Mender {
public:
  Mender(std::FILE *in, std::FILE *out, AvfInfo *info, long long in_size)
      : in_(in), out_(out), info_(info), writer_(out), progress_("avfmend", in_size) {}

  // The walk; records still waiting are written whatever way it ends.
  int run() {
    int r = walk();
    progress_.clear();
    if (!writer_.flush() && r == 0) return write_error();
    return r;
  }

private:
  int walk();
  // The input's own header record counts: the input is positioned and its
  // scan headers are read with these, whatever the headers we write need.
  void use_input_counts() {
    info_->lrecs = in_lrecs_;
    info_->srecs = in_srecs_;
    info_->sbrecs = in_sbrecs_;
  }
  bool read_scan_header(int nscan);
  Found search(off_t from, off_t failed);
  bool put_record(bool renumbered, bool write);
  void summary(int recs) {
    progress_.clear();
    std::printf("SCAN %03d: %-12s [%4d recs]\n", scannum_, object_, recs);
  }
  // The next record of the input, in the window; false at the end of the
  // input. Records waiting to be written are sent out first when the window
  // has to move.
  bool read_record() {
    if (sparse_) {
      rec_ = win_->parts(pos_, reclen_, {{0, SIGNATURE_LEN}});
      if (!rec_) return false;
    } else {
      if (!win_->holds(pos_, reclen_) && !writer_.flush_memory()) write_failed_ = true;
      rec_ = win_->at(pos_, reclen_);
      if (!rec_) return false;
      if (pos_ < changed_end_ && !reread_changed()) return false;
    }
    pos_ += recl_;
    progress_.update(pos_);
    return true;
  }
  // A record realigned onto the last bytes of the data record before it
  // (a signature found across a record boundary): those bytes were changed
  // in the window with that record (signature, byte order). That record goes
  // out first, then the bytes are read again from the file.
  bool reread_changed() {
    if (!writer_.flush()) write_failed_ = true;
    const std::size_t n = std::min(reclen_, static_cast<std::size_t>(changed_end_ - pos_));
    changed_end_ = pos_;
    return pread(fileno(in_), rec_, n, pos_) == static_cast<ssize_t>(n);
  }
  bool record_is(const char *tag) const { return std::memcmp(rec_, tag, 4) == 0; }
  void echo() const {
    if (Verbose) toolio::echo_record(rec_, reclen_);
  }
  int write_error() {
    progress_.clear();
    std::fprintf(stderr, "Error writing %s\n", OUT_NAME);
    return 1;
  }
  int end_of_input();
  bool record_across_end() const;

  std::FILE *in_, *out_;
  AvfInfo *info_;
  int recl_ = 0;
  int in_lrecs_ = 0, in_srecs_ = 0, in_sbrecs_ = 0;
  bool change_endian_ = false;
  // Records long enough that reading them whole costs more than a read of
  // their signature each: in the input's byte order only the signature is
  // read, and the system copies the record.
  bool sparse_ = false;
  std::size_t reclen_ = 0;
  std::unique_ptr<toolio::RecordWindow> win_;
  toolio::RunWriter writer_;
  toolio::Progress progress_;
  unsigned char *rec_ = nullptr; // the current record, in the window
  off_t pos_ = 0;                // where the next record is read
  off_t changed_end_ = 0;        // end of the last record changed in the window
  bool write_failed_ = false;
  int scannum_ = 0, recnum_ = 0;
  bool found_scan_ = false, found_data_ = false, sync_lost_ = false;
  bool header_written_ = false; // a scan header has gone to the output
  int unwritten_ = 0;           // data records found before any readable scan header
  char object_[12] = "";
};

bool Mender::read_scan_header(int nscan) {
  progress_.clear(); // the reader may have something to say
  use_input_counts();
  const bool ok = fseeko(in_, pos_, SEEK_SET) == 0 && get_scan_hdr(in_, info_, nscan) == 0;
  pos_ = ftello(in_);
  return ok;
}

// Reads whole records from `from` on and looks for a signature in each, taken
// together with the last bytes before it, so that a signature straddling two
// records is found; a "DATA" signature is preferred to a "SCAN" signature in
// the same record. A "SCAN" signature at `failed` (a header that could not be
// read) is passed over. The input is left at the start of the signature found.
Found Mender::search(off_t from, off_t failed) {
  progress_.clear();
  std::vector<unsigned char> win(CARRY + reclen_);
  int carry = 0;
  if (from >= CARRY && fseeko(in_, from - CARRY, SEEK_SET) == 0 &&
      toolio::read_whole(in_, win.data(), CARRY))
    carry = CARRY;
  if (fseeko(in_, from, SEEK_SET) != 0) return Found::End;
  for (off_t at = from;; at += recl_) {
    const std::size_t got = std::fread(win.data() + CARRY, 1, reclen_, in_);
    long len = static_cast<long>(got) + carry;
    if (got < reclen_) {
      // The input ends inside this record: all that is left to find is a
      // whole record whose signature begins in the carried bytes.
      len -= static_cast<long>(reclen_) - 4;
      if (len < 4) return Found::End;
    } else if (Verbose) {
      toolio::echo_record(win.data() + CARRY, reclen_);
    }
    const unsigned char *hay = win.data() + CARRY - carry;
    const off_t base = at - carry; // file position of hay[0]
    Found kind = Found::Data;
    long q = locate("DATA", 4, hay, len);
    if (q < 0) {
      kind = Found::Scan;
      q = locate("SCAN", 4, hay, len);
      if (q >= 0 && base + q == failed) {
        long next = locate("SCAN", 4, hay + q + 1, len - q - 1);
        q = next < 0 ? -1 : q + 1 + next;
      }
    }
    if (q >= 0) {
      pos_ = base + q;
      return fseeko(in_, pos_, SEEK_SET) == 0 ? kind : Found::End;
    }
    if (got < reclen_) return Found::End;
    std::memmove(win.data(), win.data() + reclen_, CARRY);
    carry = CARRY;
  }
}

// The current record, with its new signature when it was renumbered, in the
// local byte order; `write` when it is not eaten. In the input's byte order
// it is copied from the input file by the system, the signature written over
// the copy; otherwise it goes out from the window. False when writing failed.
bool Mender::put_record(bool renumbered, bool write) {
  auto stamp = [&] {
    if (renumbered) update_signature(rec_, scannum_, recnum_ - EatRec);
  };
  if (write && !header_written_) { // no scan header yet: such records have no place in the output
    ++unwritten_;
    write = false;
  }
  if (!write) {
    if (change_endian_) flipData(rec_, reclen_, &info_->lhdr);
    stamp();
    return true;
  }
  if (change_endian_) return toolio::write_flipped(writer_, rec_, reclen_, info_->lhdr, stamp);
  stamp();
  const std::size_t sig = renumbered ? static_cast<std::size_t>(SIGNATURE_LEN) : 0;
  return writer_.add_copy(fileno(in_), pos_ - recl_, reclen_, rec_, {{0, sig}});
}

// Where no whole record could be read at pos_: whether a whole record of
// the input begins in the CARRY bytes before it, a signature across the
// boundary of the input's last record (after a loss of one to three bytes).
bool Mender::record_across_end() const {
  struct stat st;
  if (pos_ < CARRY || fstat(fileno(in_), &st) != 0) return false;
  unsigned char b[2 * CARRY + 1];
  if (pread(fileno(in_), b, sizeof b, pos_ - CARRY) != static_cast<ssize_t>(sizeof b)) return false;
  for (off_t i = 0; i < CARRY; ++i)
    if ((std::memcmp(b + i, "DATA", 4) == 0 || std::memcmp(b + i, "SCAN", 4) == 0) &&
        pos_ - CARRY + i + recl_ <= st.st_size)
      return true;
  return false;
}

int Mender::end_of_input() {
  progress_.clear();
  if (!writer_.flush() || write_failed_) return write_error();
  if (unwritten_ > 0 && !header_written_)
    std::fprintf(stderr, "%d data records before the first readable scan header were not written\n",
                 unwritten_);
  return 0;
}

int Mender::walk() {
  recl_ = info_->recl;
  in_lrecs_ = info_->lrecs;
  in_srecs_ = info_->srecs;
  in_sbrecs_ = info_->sbrecs;
  change_endian_ = info_->data_byte_order != info_->local_byte_order;
  reclen_ = static_cast<std::size_t>(recl_);
  sparse_ = !change_endian_ && reclen_ >= toolio::SPARSE_RECORD;
  win_ = std::make_unique<toolio::RecordWindow>(fileno(in_), reclen_);
  if (!win_->ok()) {
    std::fprintf(stderr, "MallocError\n");
    return 1;
  }

  if (write_hdr(info_, out_) != 0) return write_error();
  use_input_counts();
  pos_ = static_cast<off_t>(in_lrecs_) * recl_;

  if (MaxScan < 1) {
    std::fprintf(stderr, "MaxScan [%d] reached!\n", MaxScan);
    std::fprintf(stderr, "Please try again with a larger MaxScan\n");
    return -1;
  }
  // Left uninitialised: only the entry of the scan at hand is used, and it is
  // cleared before its header is read, so a large -m costs no memory.
  info_->stab.reset(new (std::nothrow) ScanHdrTab[static_cast<std::size_t>(MaxScan)]);
  if (!info_->stab) {
    std::fprintf(stderr, "Malloc Failure\n");
    return -1;
  }
  info_->scans = MaxScan;

  scannum_ = recnum_ = 0;
  sync_lost_ = false;
  for (;;) {
    ScanHdrTab &e = info_->stab[scannum_];
    std::memset(static_cast<void *>(&e), 0, sizeof e);
    found_scan_ = true;
    off_t header_at = pos_;
    while (!read_scan_header(scannum_)) {
      sync_lost_ = true;
      found_scan_ = found_data_ = false;
      std::fprintf(stderr, "Sync lost, resyncing...\n");
      // The failed read may have swallowed data records, and a record that
      // lost bytes leaves the next signature just before it: search from the
      // failed read's first record on, passing over its own "SCAN".
      Found f = search(header_at, header_at);
      if (f == Found::End) {
        std::fprintf(stderr, "File Read Error\n");
        return 1;
      }
      if (f == Found::Data) {
        found_data_ = true;
        break;
      }
      found_scan_ = true;
      header_at = pos_;
    }

    if (found_scan_) {
      if (!writer_.flush() || write_failed_) return write_error();
      if (write_scan(&e.scan, 1, info_, scannum_, e.shdr.date_obs, out_) != 0) return write_error();
      header_written_ = true;
      std::snprintf(object_, sizeof object_, "%.11s", e.shdr.object);
    }
    if (sync_lost_ && found_data_)
      --scannum_; // the records found continue the previous scan
    else
      recnum_ = 0;

    // No whole record left is the end of the input, unless a whole record
    // begins just before it: then the walk goes on as after a record that is
    // no data record, and the search finds it.
    bool more = read_record();
    if (!more && !record_across_end()) return end_of_input();
    if (more) echo();
    while (more && record_is("DATA")) {
      const bool renumbered = !signature_is(rec_, scannum_, recnum_ - EatRec);
      if (change_endian_ || renumbered) changed_end_ = pos_;
      if (!put_record(renumbered, recnum_ >= EatRec)) return write_error();
      echo();
      if (!read_record()) {
        if (!record_across_end()) {
          summary(recnum_ + 1);
          return end_of_input();
        }
        more = false;
      }
      ++recnum_;
    }
    progress_.clear();
    if (sync_lost_ && found_data_) std::printf(" RECOVERED:");
    summary(recnum_);
    if (!header_written_ && unwritten_ > 0) {
      std::fprintf(stderr, "%d data records before the first readable scan header were not written\n",
                   unwritten_);
      unwritten_ = 0;
    }
    if (more) pos_ -= recl_; // read it again as the next scan header
    ++scannum_;
    sync_lost_ = false;
    if (scannum_ >= MaxScan) {
      std::fprintf(stderr, "MaxScan [%d] reached!\n", MaxScan);
      std::fprintf(stderr, "Please try again with a larger MaxScan\n");
      return -1;
    }
  }
}

int avfmend(int, char **) {
  const bool named = AvfFile && *AvfFile;
  if (named && toolio::same_file(AvfFile, OUT_NAME)) {
    std::fprintf(stderr, "Input %s is the output file %s: not overwriting it\n", AvfFile, OUT_NAME);
    return 1;
  }
  toolio::File out = toolio::open_stream(OUT_NAME, "wb", false);
  if (!out) {
    std::fprintf(stderr, "cannot open %s\n", OUT_NAME);
    return 1;
  }
  auto info = std::make_unique<AvfInfo>();
  info->local_byte_order = host_byte_order();
  if (!named) {
    std::fputs(Usage.c_str(), stderr);
    return 1;
  }
  toolio::File in = toolio::open_stream(AvfFile, "rb");
  if (!in) {
    std::fprintf(stderr, "Cannot open %s\n", AvfFile);
    return 1;
  }
  if (get_avf_hdr(in.get(), info.get()) != 0) {
    std::fprintf(stderr, "Error reading %s\n", AvfFile);
    return 1;
  }
  struct stat st;
  const long long in_size = fstat(fileno(in.get()), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
  Mender m(in.get(), out.get(), info.get(), in_size);
  int result = m.run();
  std::fflush(stdout);
  if (!toolio::close_output(out) && result == 0) {
    std::fprintf(stderr, "Error writing %s\n", OUT_NAME);
    return 1;
  }
  return result;
}

} // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress lines interleave with messages in logs
  optrega(&AvfFile, OPT_STRING, 'i', "in", "Input AVF File");
  optrega(&MaxScan, OPT_INT, 'm', "maxscans", "Max no of scans");
  optrega(&EatRec, OPT_INT, 'e', "eat", "Records to eat");
  optrega(&Verbose, OPT_INT, 'v', "verbose", "verbose");
  Usage = std::string("Usage: ") + (argc > 0 ? argv[0] : "avfmend") +
          " -i InputAvfFile [-m (maxscans)][-e (eat)][-v (verbose)]\n";
  optUsage(Usage.c_str());
  optTitle("\"Cleans\" up format errors AVF Files\n");
  optMain(avfmend);
  opt(&argc, &argv);
  return avfmend(argc, argv);
}
