// Command-line processing: the token processor with its command characters and reserved long
// names, `opt`, `getopts`, option lines and their word splitter, and the library's settings.
#include "opt/opt.h"
#include "opt/opt_lib.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

char *opt_program_name = nullptr;
char *opt_filename = nullptr;
char *opt_titlestring = nullptr;
char *opt_usagestring = nullptr;
char *opt_pkg_version = nullptr;
char *opt_defaultfile = nullptr;
char *opt_defstring = nullptr;
char *opt_envstring = nullptr;
OPT_PFI_ARG opt_main_fcn = nullptr;
OPT_PFI opt_run_fcn = nullptr;
OPT_PFI opt_quit_fcn = nullptr;
OPT_PFI opt_additional_usage_fcn = nullptr;
int opt_menu_enabled = 1;
int opt_menuflag = 0;
int opt_fileflag = 0;
int opt_jump_set = 0;

namespace {

// ---------------------------------------------------------------- the command seam
//
// Every command served by the usage/help, options-file, menu and interface-description
// modules is reached through opt_command and nowhere else.
enum class OptCommand {
    usage,       // --help: the long usage text
    xml,         // --xml-opt-interface: the interface description on standard output
    help,        // '?': help on `text` (null or empty: the command summary)
    read_file,   // '@' and the default options file: read options file `text`; 1 if opened
    write_file,  // '%': write options file `text`; 1 on success
    menu,        // "--menu" and '$': run the menu until it is left
};

int opt_command(OptCommand cmd, const char *text)
{
    switch (cmd) {
    case OptCommand::usage:
        long_usage();
        return 0;
    case OptCommand::xml:
        opt_write_xml_file(stdout);
        return 0;
    case OptCommand::help:
        opt_help(text);
        return 0;
    case OptCommand::menu:
        opt_menu();
        return 0;
    case OptCommand::read_file:
        return opt_fromfname(text);
    case OptCommand::write_file:
        return opt_tofname(text);
    }
    return 0;
}

// ---------------------------------------------------------------- token processing

struct AgFree {
    void operator()(ARGVECTOR *ag) const noexcept { ag_free(ag); }
};
using Cursor = std::unique_ptr<ARGVECTOR, AgFree>;

enum class Step { go_on, stop };

// The last vector `opt` handed back, remembered but never released here: a program that keeps
// its vector to the end, as a program's argv usually is, does not leak it; one that frees it may.
char **volatile handed_back = nullptr;

// A bare word: the token is made whole again and offered to the positional options.
Step bare_word(ARGVECTOR *ag)
{
    ag_backspace(ag);
    return opt_parse_positional(ag) ? Step::go_on : Step::stop;
}

// After a reserved name that ends the program outside the menu.
void end_after_reserved(Cursor &ag)
{
    if (opt_menuflag)
        return;
    ag.reset();
    optAbortRun();
}

Step long_option(Cursor &ag)
{
    const char *s = ag_s(ag.get());
    const std::string rest = s ? s : "";
    if (rest == "help") {
        opt_command(OptCommand::usage, nullptr);
        end_after_reserved(ag);
        return Step::go_on;
    }
    if (rest == "xml-opt-interface") {
        opt_command(OptCommand::xml, nullptr);
        end_after_reserved(ag);
        return Step::go_on;
    }
    if (rest == "optVersion") {
        std::printf("OPT Version %s\n", OPT_VERSION);
        end_after_reserved(ag);
        return Step::go_on;
    }
    if (rest == "version" && opt_pkg_version && *opt_pkg_version) {
        std::printf("%s: Version %s\n", optgetTitle(), opt_pkg_version);
        end_after_reserved(ag);
        return Step::go_on;
    }
    if (rest == "menu") {
        if (!opt_menu_enabled) {
            opt_warning("menu not available for this application");
            while (!ag_eow(ag.get()))
                ag_c_advance(ag.get());
        } else {
            if (!opt_menuflag)
                ag_w_advance(ag.get());
            opt_command(OptCommand::menu, nullptr);
        }
        return Step::go_on;
    }
    opt_parse_longdelim(ag.get());
    return Step::go_on;
}

Step dash(Cursor &ag)
{
    ARGVECTOR *a = ag.get();
    if (ag_eow(a))
        return bare_word(a);  // a lone "-"
    if (ag_c(a) == '-') {
        ag_c_advance(a);
        if (ag_eow(a)) {  // "--": the words after it are left alone
            ag_w_advance(a);
            return Step::stop;
        }
        return long_option(ag);
    }
    const int w = ag_w_number(a);
    while (ag_w_number(a) == w && !ag_eow(a))
        opt_parse_delim(a);
    return Step::go_on;
}

void read_options_file(const char *name)
{
    // The name reported is the one tried: the current options file for "@@" or no name.
    const std::string tried = (name[0] == '@' || name[0] == '\0')
                                  ? std::string(opt_filename ? opt_filename : "")
                                  : std::string(name);
    if (!opt_command(OptCommand::read_file, name))
        optlib::warningf("Cannot open options file [%s]\n", tried.c_str());
}

void run_command(ARGVECTOR *ag)
{
    int result;
    bool main_fcn = false;
    if (opt_main_fcn) {
        // The word holding the '=' plays the program name; the words after it are arguments.
        const int argc = ag_argc(ag);
        char **argv = ag_argv(ag);
        ag_clear(ag);
        main_fcn = true;
        result = optBeginMain(opt_main_fcn, argc, argv);
    } else if (opt_run_fcn) {
        result = optBeginRun(opt_run_fcn);
    } else {
        if (opt_menuflag) {
            opt_menuflag = 0;
            ag_clear(ag);
        } else {
            opt_warning("No Run Function has been registered");
        }
        return;
    }
    switch (result) {
    case 2:
        if (main_fcn)
            optAbortMain();
        else
            optAbortRun();
        break;
    case 3:
        opt_quit();
    case 4:
        std::exit(opt_exit_number);
    default:
        break;
    }
}

Step token(Cursor &ag, char c)
{
    ARGVECTOR *a = ag.get();
    switch (c) {
    case '\0': case ' ': case '\t':
        return Step::go_on;
    case '-':
        return dash(ag);
    case ';':
        ag_clear(a);
        return Step::go_on;
    case '@':
        read_options_file(argnext(a));
        return Step::go_on;
    case '%':
        opt_command(OptCommand::write_file, argnext(a));
        if (!opt_menuflag)
            opt_quit();
        return Step::go_on;
    case '?':
        if (!opt_fileflag)
            opt_command(OptCommand::help, argnext(a));
        return Step::go_on;
    case '=':
        if (!opt_menuflag && !opt_fileflag)
            return bare_word(a);
        run_command(a);
        return Step::go_on;
    case '$':
        if (opt_menuflag) {
            opt_menuflag = 0;
            ag_clear(a);
        } else if (!opt_menu_enabled) {
            opt_warning("menu not available for this application");
        } else {
            opt_command(OptCommand::menu, nullptr);
        }
        return Step::go_on;
    case '!':
        if (!opt_menuflag)
            return bare_word(a);
        optlib::warningf("Shell to system invalid unless '%c' is the first character in the line\n",
                         '!');
        return Step::go_on;
    case '.':
        if (!opt_menuflag)
            return bare_word(a);
        opt_quit();
    default:
        return bare_word(a);
    }
}

// ---------------------------------------------------------------- option lines

// Splits a line into words: white space separates words; a double quote ends the word it stands
// in and opens a quoted stretch, which the next quote closes (or the end of the line) and which
// is one word, even an empty one. Quotes are not part of any word.
std::vector<std::string> l2a(const char *line)
{
    std::vector<std::string> words;
    const char *s = line;
    while (*s) {
        if (optlib::is_ws(*s)) {
            ++s;
        } else if (*s == '"') {
            const char *start = ++s;
            while (*s && *s != '"')
                ++s;
            words.emplace_back(start, s);
            if (*s == '"')
                ++s;
        } else {
            const char *start = s;
            while (*s && !optlib::is_ws(*s) && *s != '"')
                ++s;
            words.emplace_back(start, s);
        }
    }
    return words;
}

// Steps 1 to 4 of `opt` and `getopts`: program name, options file name, option line sources.
void begin(int argc, char **argv, bool with_default_file)
{
    if (!opt_program_name && argc > 0 && argv)
        opt_program_name = short_progname(argv[0]);
    const std::string file = std::string(opt_program_name ? opt_program_name : "") + ".opt";
    opt_setstring(&opt_filename, file.c_str());
    opt_readline_init(opt_program_name);
    if (opt_defstring) {
        const std::string line = opt_defstring;  // the line may reset the setting
        opt_lineprocess(line.c_str());
    }
    if (with_default_file && opt_defaultfile && *opt_defaultfile) {
        const std::string name = opt_defaultfile;
        opt_command(OptCommand::read_file, name.c_str());
    }
    if (opt_envstring) {
        if (const char *value = std::getenv(opt_envstring)) {
            const std::string line = value;
            opt_lineprocess(line.c_str());
        }
    }
}

}  // namespace

ARGVECTOR *opt_process(int argc, char **argv)
{
    if (argc <= 0 || !argv)
        return nullptr;
    Cursor ag{ag_new(argc, argv)};
    if (!ag)
        opt_fatal("out of memory\n");
    while (!ag_end(ag.get())) {
        if (ag_eow(ag.get()))
            ag_w_advance(ag.get());
        const char c = ag_c_advance(ag.get());
        if (token(ag, c) == Step::stop)
            return ag.release();
    }
    return nullptr;
}

int opt_lineprocess(const char *line)
{
    if (!line || !*line)
        return 0;
    std::vector<std::string> words = l2a(line);
    std::vector<char *> argv(words.size() + 1, nullptr);
    for (std::size_t i = 0; i < words.size(); ++i)
        argv[i] = words[i].data();
    const int n = static_cast<int>(words.size());
    ag_free(opt_process(n, argv.data()));
    return n;
}

int opt(int *argcp, char ***argvp)
{
    if (!argcp || !argvp)
        return 0;
    begin(*argcp, *argvp, true);
    if (*argcp <= 0 || !*argvp)
        return *argcp;
    if (Cursor ag{opt_process(*argcp - 1, *argvp + 1)}) {
        ARGVECTOR *rest = ag_prepend_argv0(ag.get(), (*argvp)[0]);
        if (!rest)
            opt_fatal("out of memory\n");
        *argcp = rest->c;
        *argvp = rest->v;  // the caller's now
        handed_back = rest->v;
        ag_free(rest);
    } else {
        *argcp = 1;
    }
    optlib::pool_release(opt_filename);
    opt_filename = nullptr;
    return *argcp;
}

int getopts(int argc, char **argv)
{
    begin(argc, argv, false);
    if (argc <= 0 || !argv)
        return argc;
    int count = 1;
    if (Cursor ag{opt_process(argc - 1, argv + 1)})
        count = 1 + ag_argc(ag.get());
    optlib::pool_release(opt_filename);
    opt_filename = nullptr;
    return count;
}

// ---------------------------------------------------------------- settings

void opt_setstring(char **slot, const char *text)
{
    if (!slot)
        return;
    optlib::pool_release(*slot);
    *slot = optlib::pool_strdup(text);
}

void optTitle(const char *s) { opt_setstring(&opt_titlestring, s); }
void optUsage(const char *s) { opt_setstring(&opt_usagestring, s); }
void optVersion(const char *s)
{
    if (s && *s)
        opt_setstring(&opt_pkg_version, s);
}
void optDefaultFile(const char *s) { opt_setstring(&opt_defaultfile, s); }
void optDefaultString(const char *s) { opt_setstring(&opt_defstring, s); }
void optEnvVarName(const char *s) { opt_setstring(&opt_envstring, s); }
void optMain(OPT_PFI_ARG fcn) { opt_main_fcn = fcn; }
void optRun(OPT_PFI fcn) { opt_run_fcn = fcn; }
void optQuit(OPT_PFI fcn) { opt_quit_fcn = fcn; }
void optAdditionalUsage(OPT_PFI fcn) { opt_additional_usage_fcn = fcn; }
void optDisableMenu() { opt_menu_enabled = 0; }
void optProgName(char *s) { opt_program_name = short_progname(s); }

char *optgetTitle()
{
    static char none[1] = {'\0'};
    if (opt_titlestring && *opt_titlestring)
        return opt_titlestring;
    return opt_program_name ? opt_program_name : none;
}

void opt_freestrings()
{
    for (char **slot : {&opt_filename, &opt_defaultfile, &opt_titlestring, &opt_usagestring,
                        &opt_envstring, &opt_defstring, &opt_pkg_version}) {
        optlib::pool_release(*slot);
        *slot = nullptr;
    }
}

void opt_readline_init(const char *) {}
