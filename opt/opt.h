// The option library: a process-wide registry of typed program variables, filled from the
// command line, from option lines, from options files and from the interactive menu.
//
// Ownership at this interface:
//  - The program owns its variables and their initial values. The library never releases a
//    string or array block it did not allocate itself.
//  - Strings the library stores into OPT_STRING variables (and string array elements), array
//    blocks it builds for array options, long names, descriptions, help texts and settings
//    texts are library-owned heap copies. Programs must not free them.
//  - Cursors (ARGVECTOR) and the word arrays the ag_ operations allocate are malloc'd: release a
//    cursor with ag_free (cursor only) or ag_freeall (words, array and cursor).
//  - The vector `opt` hands back when words remain belongs to the caller (release with free());
//    it holds `count` entries followed by a terminating null entry.
//
// The library is single-threaded and not re-entrant.
#ifndef OPT_OPT_H
#define OPT_OPT_H

#include <cstdio>

#define OPT_VERSION "3.19"

// Value types. The numeric values are part of the interface.
enum opt_TYPE : int {
    OPT_NUL = 0,
    OPT_INT = 1,
    OPT_SHORT = 2,
    OPT_LONG = 3,
    OPT_CHAR = 4,
    OPT_UINT = 5,
    OPT_USHORT = 6,
    OPT_ULONG = 7,
    OPT_UCHAR = 8,
    OPT_FLOAT = 9,
    OPT_DOUBLE = 10,
    OPT_TOGGLE = 11,
    OPT_BOOL = 12,
    OPT_NEGTOGGLE = 13,
    OPT_NEGBOOL = 14,
    OPT_INTLEVEL = 15,
    OPT_STRING = 16,
    OPT_UNDELIM = 17,   // deprecated: registered as a positional OPT_STRING
    OPT_CSTRING = 18,   // deprecated: char array of at least 80 bytes
    OPT_UNDELIMC = 19,  // deprecated: registered as a positional OPT_CSTRING
};

// How an option may be set.
enum opt_MODE : int {
    OPT_POSITIONAL = 0,  // receives bare words
    OPT_DELIMITED = 1,   // only by its names
    OPT_FLEXIBLE = 2,    // both
};

using OPT_HOOK = int (*)(void *);
using OPT_PFI = int (*)();
using OPT_PFI_ARG = int (*)(int, char **);

// Array descriptor of an array option.
struct OptArray_t {
    void **value;        // address of the program's array pointer
    int *size;           // address of the program's element count
    char delim;          // element separator in the value text
    opt_TYPE base_type;  // element type
};

// One registry entry.
struct Option_t {
    void *value;        // the program's variable (array options: the library's string holder)
    opt_TYPE type;
    char name;          // one-letter name, NUL for none
    char *longname;     // library-owned copy, or null
    opt_MODE mode;
    char *descript;     // library-owned copy, or null
    char *help;         // library-owned copy, or null
    int invoked;        // times given so far
    OPT_HOOK hook;      // called after each assignment, or null
    OptArray_t *array;  // array descriptor, or null for a scalar option
};

// Argument cursor: the single source from which values are taken.
struct ARGVECTOR {
    char **v;  // the words
    int c;     // number of words
    int iw;    // index of the current word
    int ic;    // index of the current character within the current word
};

// ---- Registry state (process-wide) ----
extern Option_t *optlist;      // the registry, in registration order
extern int opt_nreg;           // number of entries
extern char opt_array_delim;   // separator for array options registered from now on
extern int opt_exit_number;    // exit status of every exit the library performs

// ---- Library settings (process-wide) ----
extern char *opt_program_name;   // points into the text it was taken from
extern char *opt_filename;
extern char *opt_titlestring;
extern char *opt_usagestring;
extern char *opt_pkg_version;
extern char *opt_defaultfile;
extern char *opt_defstring;
extern char *opt_envstring;
extern OPT_PFI_ARG opt_main_fcn;
extern OPT_PFI opt_run_fcn;
extern OPT_PFI opt_quit_fcn;
extern OPT_PFI opt_additional_usage_fcn;
extern int opt_menu_enabled;
extern int opt_menuflag;
extern int opt_fileflag;
extern int opt_jump_set;         // 1 while a run is in progress

// ---- Registration (each returns the new entry's option number) ----
int optrega(void *value, opt_TYPE type, char name, const char *longname, const char *descript);
int optreg(void *value, opt_TYPE type, char name, const char *descript);
int optregcb(void *value, opt_TYPE type, char name, const char *descript);
int optregc(void *value, opt_TYPE type, char name);
int optregs(void *value, opt_TYPE type, const char *longname);
int optregp(void *value, opt_TYPE type, const char *longname, const char *descript);
int optregf(void *value, opt_TYPE type, char name, const char *longname, const char *descript);
int optexec(const char *longname, OPT_HOOK hook, const char *descript);

// Array options: `value` is the address of the program's array pointer (e.g. char*** for an
// array of strings), `size` the address of its element count.
int optrega_array(int *size, void *value, opt_TYPE type, char name, const char *longname,
                  const char *descript);
int optreg_array(int *size, void *value, opt_TYPE type, char name, const char *descript);
int optregcb_array(int *size, void *value, opt_TYPE type, char name, const char *descript);
int optregc_array(int *size, void *value, opt_TYPE type, char name);
int optregs_array(int *size, void *value, opt_TYPE type, const char *longname);
int optregp_array(int *size, void *value, opt_TYPE type, const char *longname,
                  const char *descript);
int optregf_array(int *size, void *value, opt_TYPE type, char name, const char *longname,
                  const char *descript);

// ---- Setters and queries: by option number, and by variable address ----
void optchar_n(int i, char name);
void optchar(void *value, char name);
void optlongname_n(int i, const char *longname);
void optlongname(void *value, const char *longname);
void optdescript_n(int i, const char *descript);
void optdescript(void *value, const char *descript);
void opthelp_n(int i, const char *help);
void opthelp(void *value, const char *help);
void opthook_n(int i, OPT_HOOK hook);
void opthook(void *value, OPT_HOOK hook);
void optmode_n(int i, opt_MODE mode);
void optmode(void *value, opt_MODE mode);
int optinvoked_n(int i);
int optinvoked(void *value);
void optarraydelim_n(int i, char delim);
void optarraydelim(void *value, char delim);  // null value: the default and every option
void optExitNumber(int n);
void opt_free();

// ---- Lookups (option number or -1) ----
int opt_char_number(char name);
int opt_longname_number(const char *longname);
int opt_number(const void *value);

// ---- Values ----
int optsizeof(opt_TYPE type);
void opt_setvalue(void *value, opt_TYPE type, const char *text);
// Renderings live in a static 80-byte buffer that each call overwrites.
char *opt_getstrval(void *value, opt_TYPE type);
char *optstrval(int i);
char *optstrtyp(int i);  // its own static 80-byte buffer
// A new library-owned string (null for a count of 0 or less).
char *optarray_getstrval(int size, void *array, opt_TYPE type, char delim);
void optarray_action(OptArray_t *array, const char *text);
int opt_isvalidnumber(const char *text);
long opt_atoi(const char *text);
unsigned long opt_atou(const char *text);
double opt_atof(const char *text);
int opt_action(int i, ARGVECTOR *ag);

// ---- Argument cursor ----
ARGVECTOR *ag_new(int argc, char **argv);
void ag_free(ARGVECTOR *ag);
void ag_freeall(ARGVECTOR *ag);
ARGVECTOR *ag_prepend_argv0(ARGVECTOR *ag, char *argv0);
ARGVECTOR *ag_copy(ARGVECTOR *ag);
int ag_eow(ARGVECTOR *ag);
int ag_end(ARGVECTOR *ag);
char ag_c(ARGVECTOR *ag);
char ag_c_advance(ARGVECTOR *ag);
char ag_c_next(ARGVECTOR *ag);
char ag_cnn_next(ARGVECTOR *ag);
char ag_backspace(ARGVECTOR *ag);
char *ag_s(ARGVECTOR *ag);
char *ag_s_next(ARGVECTOR *ag);
char *ag_s_advance(ARGVECTOR *ag);
char *argnext(ARGVECTOR *ag);
int ag_w_number(ARGVECTOR *ag);
void ag_w_advance(ARGVECTOR *ag);
void ag_backword(ARGVECTOR *ag);
void ag_reset(ARGVECTOR *ag);
int ag_argc(ARGVECTOR *ag);
char **ag_argv(ARGVECTOR *ag);
void ag_clear(ARGVECTOR *ag);
void ag_fprint(FILE *fp, ARGVECTOR *ag);

// ---- Command-line processing ----
int opt(int *argcp, char ***argvp);   // returns the new count
int getopts(int argc, char **argv);  // returns the count of the first word plus those left
ARGVECTOR *opt_process(int argc, char **argv);  // release the result with ag_free
int opt_lineprocess(const char *line);
int opt_parse_delim(ARGVECTOR *ag);
int opt_parse_longdelim(ARGVECTOR *ag);
int opt_parse_positional(ARGVECTOR *ag);

// ---- Settings ----
void opt_setstring(char **slot, const char *text);
void optTitle(const char *s);
void optUsage(const char *s);
void optVersion(const char *s);
void optDefaultFile(const char *s);
void optDefaultString(const char *s);
void optEnvVarName(const char *s);
void optMain(OPT_PFI_ARG fcn);
void optRun(OPT_PFI fcn);
void optQuit(OPT_PFI fcn);
void optAdditionalUsage(OPT_PFI fcn);
void optDisableMenu();
void optProgName(char *s);       // shortens `s` in place; the name points into it
char *short_progname(char *s);   // idem
char *optgetTitle();
void opt_freestrings();
void opt_readline_init(const char *s);

// ---- Runs, quitting and messages ----
int optBeginMain(OPT_PFI_ARG fcn, int argc, char **argv);
int optBeginRun(OPT_PFI fcn);
void optAbortRun();    // ends a run in progress; outside a run: opt_quit
void optAbortMain();
[[noreturn]] void opt_quit();
void opt_message(const char *s);
void opt_warning(const char *s);
[[noreturn]] void opt_fatal(const char *s);
void catch_signal(int sig);

// ---- Usage and help text (standard output) ----
void short_usage();
void opt_usage();
void long_usage();
void optPrintUsage();
void opt_help(const char *s);   // null or empty: the summary of command characters
void opt_get_help(char c);
// A new heap string (release with free()): `s` re-flowed into lines of fewer than `width`
// characters, continuation lines starting with `indent` spaces and `prefix`.
char *opt_justify(const char *s, int width, int indent, int initial, const char *prefix);

// ---- Options files, menu and interface description ----
#define OPT_MAXLINE 2558  // longest options-file line; opt_getline's buffer holds OPT_MAXLINE+2
void opt_tofile(FILE *fp);
int opt_tofname(const char *fname);    // 1 when written, 0 otherwise
int opt_fromfname(const char *fname);  // 1 when the file was opened, 0 otherwise
int opt_getline(char *line, FILE *fp); // characters stored (0 for an empty line or the end)
void opt_menu();
void write_the_menu(int iopfrom, int iopto);
char *opt_mstring(int i);  // a new heap string (release with free()), or null
// Writes the prompt and reads one line of at most `maxlen` characters into `respond` (which
// holds maxlen+1); the rest of a longer line is discarded. Returns the number of characters
// stored, or -1 at the end of standard input.
int opt_menu_getline(const char *prompt, char *respond, int maxlen);
void opt_write_xml_file(FILE *fp);

#endif
