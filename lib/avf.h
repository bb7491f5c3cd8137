// File model of an AVF file: the parsed global and scan headers, the
// visibility description, the scan table and the description of an open file,
// with the keyword machinery that parses the ASCII headers.
//
// An AVF file is a sequence of records of RECL bytes: the global header (text
// records, then the binary correlator record), then for each scan a scan
// header (text records, then the binary scan record) and the scan's data
// records. Header text is cut into 80-byte lines.
#ifndef AVF_AVF_H
#define AVF_AVF_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "newcorr.h"

enum {
  MAX_KEYS = 128, // capacity of a keyword table
  VALOFF = 10,    // column of a keyword line's value
  VALLEN = 80,    // length of a header line and of the text fields below
};

// Number of descriptors in the global and scan keyword tables.
inline constexpr int AVF_KEYS = 36;
inline constexpr int SCAN_KEYS = 20;

struct KeyType {
  char key[11];  // eight characters as in columns 0 to 7 of the line, and a NUL
  char type;     // conversion letter: S s c d f i x
  void *value;   // target; its type follows from `type`
  int found;     // 1 once the keyword has been found
};

struct CorrLite {
  char version[VALLEN];
  char old_version[VALLEN];
  double clock;
  int sta;
  int statime;
  double t_unit;
  int ants;
  int f_enable;
  int x_enable;
  int chan_max;
  int pols;
  char clock_unit[VALLEN];
  char sta_unit[VALLEN];
  char statime_unit[VALLEN];
  char t_unit_unit[VALLEN];
};

struct SampInfo {
  char ant[VALLEN];
  char band[VALLEN];
  int fft_id;
};

struct BaselineType {
  int ant[2];
  int band[2];
  int samp[2];
  char antname[2][VALLEN];
  char bandname[2][VALLEN];
};

struct VisInfo {
  int antennas;
  int samplers;
  int baselines;
  int channels;
  CorrLite corrlite;
  AntennaParType antenna[MAX_ANTS];
  char band_names[MAX_BANDS][VALLEN];
  SampInfo samp[MAX_SAMPS];
  BaselineType base[MAX_BASE];
  int mode;
  int avf;
  int16_t chan_num[MAX_CHANS];
  int16_t samp_num[MAX_SAMPS];
  int16_t samp_rev_num[MAX_SAMPS];
  int16_t s_base_num[MAX_SAMPS];
  int16_t x_base_num[MAX_SAMPS][MAX_SAMPS];
};

struct AvfHdr {
  int recl;
  int recs;
  char rec_form[VALLEN];
  char obs_mode[VALLEN];
  char version[VALLEN];
  char old_version[VALLEN];
  char d_type[VALLEN];
  char d_size[VALLEN];
  char d_align[VALLEN];
  char int_rep[VALLEN];
  char fl_rep[VALLEN];
  char byte_seq[VALLEN];
  int flg_off, flg_rec_off, flg_ant_off, flg_smp_off, flg_bas_off, flg_dat_off;
  int flg_size, flg_rec_size, flg_ant_size, flg_smp_size, flg_bas_size, flg_dat_size;
  int time_off, wt_off, par_off, data_off;
  int time_size, wt_size, par_size, data_size;
  char data_fmt[VALLEN];
  VisInfo vinfo;
};

struct ScanHdr {
  int recs;
  uint32_t antmask;
  uint32_t bandmask;
  int seq;
  char project[VALLEN + 1];
  char code[VALLEN + 1];
  char object[VALLEN + 1];
  double ra_date, dec_date;
  double mjd_src;
  double dra, ddec;
  double f_step;
  double rf[2];
  double first_lo[2];
  double bb_lo[2];
  int net_sign[MAX_BANDS];
  float integ;
  double mjd_ref;
  char date_obs[VALLEN + 1];
  int year;
  int day;
  int month; // 0 for January
  double ist; // seconds of the day
};

// Text holders for the scan keywords that carry several numbers.
struct XScanPar {
  char rf[VALLEN];
  char first_lo[VALLEN];
  char bb_lo[VALLEN];
  char net_sign[VALLEN];
};

struct ScanHdrTab {
  ScanHdr shdr;
  ScanInfoType scan;  // reference version, local byte order
  uint32_t start_rec; // record number of the first record of the scan header
  uint32_t recs;      // data records of the scan
};

// One per open file. Create it value-initialised (std::make_unique<AvfInfo>())
// so that every field starts at zero; it owns its scan table.
struct AvfInfo {
  int recl;
  int lrecs;  // total global header records
  int srecs;  // total scan header records
  int lbrecs; // binary global header records
  int sbrecs; // binary scan header records
  AvfHdr lhdr;
  CorrType corr; // reference layout, local byte order
  std::unique_ptr<ScanHdrTab[]> stab; // the scan table, owned here
  int scans;
  int local_byte_order;
  int data_byte_order;
  int keep_version;
};

// Keyword tables. Each fills `keys` (MAX_KEYS entries) with descriptors that
// point into the given records and returns their number (36 and 20).
int set_avf_keys(AvfHdr *hdr, KeyType *keys);
int set_scan_keys(ScanHdr *shdr, KeyType *keys, XScanPar *xpar);

// Parses the keyword lines of a header text of `len` bytes into the first
// `nkey` descriptors of `keys`. The text is header records as read: it need
// not be terminated, and nothing past `len` bytes is ever looked at.
// `start` (or null) names the line after which keywords are taken, `end`
// (or null) the line at which parsing stops; "END_OF_HEADER" always stops it.
// Returns the number of descriptors found, or -1 on error.
int parse_ascii_hdr(int nkey, KeyType *keys, const char *buf, std::size_t len,
                    const char *start, const char *end);

// Correlator description sections of a global header text of `len` bytes.
// Each reader scans its own section from the start of the text and stops at
// the section's closing line, at "END_OF_HEADER" or at `len`.
// Results: 0 read; -1 section or content wrong (after a message); get_corr_lite
// also 1 when its keyword table is full.
int get_corr_lite(const char *text, std::size_t len, CorrLite *cl);
int get_ant_info(const char *text, std::size_t len, AntennaParType *ant);
int get_samp_info(const char *text, std::size_t len, VisInfo *vi);
int get_base_info(const char *text, std::size_t len, BaselineType *base);
// Reads MODE, AVF and CHAN_NUM, then builds the sampler and baseline lookup
// tables from samp_num, base and the counts samplers and baselines.
int get_corrsel(const char *text, std::size_t len, VisInfo *vi);

// Range lists such as "0:31:1 512:543:1". next_val tokenises (a non-null
// argument starts a new text; the cursor is process-wide); get_range expands
// a list into at most `max` values below `max` and returns their number.
char *next_val(char *s);
int get_range(char *str, int16_t *arr, int max);

// Record versions of the stored correlator record. The reading conversions
// rebuild the reference layout in place from a stored block at the start of
// info->corr (either byte order) and set lhdr.version; the writing
// conversions fill corr1 with the stored block from info->corr (local byte
// order), stamping lhdr.vinfo.corrlite.old_version as its version text.
int corr2_to_corr_ref(AvfInfo *info);
int corr3_to_corr_ref(AvfInfo *info);
int corr4_to_corr_ref(AvfInfo *info);
int corr_ref_to_corr2(AvfInfo *info, CorrType *corr1);
int corr_ref_to_corr3(AvfInfo *info, CorrType *corr1);
int corr_ref_to_corr4(AvfInfo *info, CorrType *corr1);

// The version to read, from the Init VERSION text: 2, 3, 4, or 0 for a block
// already in the reference layout.
int corr_read_version(const char *version);
// The version to write: 2, 3, 4, or 0 for the reference layout.
int corr_write_version(const AvfInfo *info);
// Stored block size of a version (0: the reference record).
std::size_t corr_block_size(int version);
// Dispatch on a version number as returned above.
int corr_stored_to_ref(AvfInfo *info, int version);
int corr_ref_to_stored(AvfInfo *info, int version, CorrType *corr1);

// Record stream.
inline constexpr int SIGNATURE_LEN = 17; // "DATA", scan, ".", record, blanks
// Moves the stream by nrec records (negative: backwards) in seeks of at most
// 2^30 bytes. 0, or 1 when a seek failed.
int avfseek(std::FILE *fp, int nrec, int recl);
// Offset of the first whole occurrence of the needle in the haystack, or -1.
long locate(const void *needle, long nl, const void *haystack, long hl);
// Stamps "DATA%04d.%05d" and three blanks over the first 17 bytes. Numbers
// too large for their fields keep their low digits.
void update_signature(void *dbuf, int scanno, int recno);
// Whether the record already bears the signature update_signature would stamp.
bool signature_is(const void *dbuf, int scanno, int recno);
// Reverses the numbers of a data record of len bytes (data words, weight,
// time) in place; an area that does not lie within the record is skipped.
void flipData(void *dbuf, std::size_t len, const AvfHdr *lh);
// Builds linfo->stab from the end of the file: 0, or -1 after a message.
int make_scantab(std::FILE *fp, AvfInfo *linfo);

// Compares two files' correlator configurations letter by letter of chkstr
// (a antmask, b bandmask, c channels, s samplers, S sampler count,
// B baselines, p baseline count): 0, or -1 at the first difference.
int cmp_global_hdr(const AvfInfo *linfo, const AvfInfo *linfo1, const char *chkstr);

// Byte order of the running machine: LittleEndian or BigEndian.
int host_byte_order();

// Header readers. get_avf_hdr rewinds the stream and reads the global header
// and the first record of the first scan header: 0, 1 (structure, file too
// short) or -1 (keywords, correlator sections). get_scan_hdr reads the scan
// header at the stream's position into linfo->stab[nscan]: 0, 1, or -1 for a
// bad date. Every count read from the file is checked against the file's
// length before anything is allocated from it.
int get_avf_hdr(std::FILE *fp, AvfInfo *linfo);
int get_scan_hdr(std::FILE *fp, AvfInfo *linfo, int nscan);
// Year, month (0 for January), day and time of day from DATE-OBS.
int decompose_date(ScanHdr *shdr);
// Scan record versions: version 1 (304 bytes, no ra_mean/dec_mean) is read
// when the version text lacks "AVF" and the scan is dated before 15 Sep 2001.
int scan1_to_scan2(ScanHdrTab *entry, const char *version);
int scan2_to_scan1(const ScanInfoType *scan, ScanInfoType *scan1);

// ---------------------------------------------------------------------------
// Header writer (hdrsubs.cpp).

// Every header text line is LineLen bytes: text, blanks to column 78 and a
// newline in column 79. KEYLEN: a keyword field of 8 characters and its NUL.
inline constexpr int LineLen = 80;
inline constexpr int KEYLEN = 9;

// Index of the base data types described in the Init section.
enum BaseDataType { Char = 0, Short = 1, Int = 2, Long = 3, Float = 4, Double = 5, BaseTypes = 6 };

// The host's data representation, found by probing (GetMachineSpec).
struct MachineSpecType {
  int32_t type_size[BaseTypes];  // sizes of char, short, int, long, float, double
  int32_t type_align[BaseTypes]; // offset of each type after a single char in a structure
  int32_t twos_comp;             // 1: two's complement integers
  int32_t float_ieee;            // 0 not IEEE, 1 IEEE, 2 partly IEEE
  int32_t big_endian;            // 1 big-endian, 0 little-endian
};
// Refilled by every write_hdr.
extern MachineSpecType MachineSpec;

void GetMachineSpec(MachineSpecType *host);

// Writes the global header of linfo at the stream's position in one write of
// whole records and sets lrecs and lbrecs to the counts written. Writes the
// scan header of scan number scanno (its number's low four digits; 0 when
// negative) for scan record r with DATE-OBS date, and sets srecs and sbrecs.
// `unused` is accepted and ignored. Both return 0 on success and 1 after a
// message when recl is not positive or the write fails (the caller still
// checks fflush/fclose of the stream). When the work buffer cannot be
// allocated they print "Malloc Failure\n" and end the process with status -1.
int write_hdr(AvfInfo *linfo, std::FILE *fp);
int write_scan(const ScanInfoType *r, int unused, AvfInfo *linfo, int scanno, const char *date,
               std::FILE *fp);

// Completes the NUL-terminated text at `line` (LineLen writable bytes; text
// beyond them is ignored) to a header line: newlines become blanks, blanks
// follow up to column 78, a newline stands in column 79, so text of 80 or
// more characters keeps 79. Returns the start of the next line.
char *fill_line(char *line);
// Copies the line at text (up to the newline, without it, and never past
// end) into line, cut to cap - 1 characters and NUL-terminated. Returns the
// position after the newline, or null when no newline comes before end.
const char *getln(char *line, std::size_t cap, const char *text, const char *end);
// Copies the lines of [start, end) to *out as header lines, advancing *out:
// a line starting with "{" or "}" gets a leading "*", a line starting with
// white space is dropped. Stops before a line that would pass out_end.
void copy_text_ln(const char *start, const char *end, char **out, const char *out_end);
// ---------------------------------------------------------------------------

#endif
