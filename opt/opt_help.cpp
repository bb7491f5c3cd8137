// Usage and help text: the usage synopsis, the table of arguments and options, the summary of
// command characters, the help line of one option, and the word-wrapping routine shared with
// the options file and the menu. Everything here writes to standard output.
#include "opt/opt.h"
#include "opt/opt_lib.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *or_empty(const char *s) { return s ? s : ""; }

bool is_gap(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Width and indent of the description column of the usage table.
constexpr int usage_width = 43;
constexpr int usage_indent = 38;

}  // namespace

namespace optlib {

std::string justify(const char *s, int width, int indent, int initial, const char *prefix)
{
    std::string out;
    if (!s || !*s)
        return out;
    out.append(static_cast<std::size_t>(initial > 0 ? initial : 0), ' ');
    if (prefix)
        out += prefix;
    long line = 0;  // characters of words and separating spaces on the current line
    const char *p = s;
    while (*p) {
        while (*p && is_gap(*p))
            ++p;
        if (!*p)
            break;
        const char *start = p;
        while (*p && !is_gap(*p))
            ++p;
        const long w = p - start;
        if (line + w + 1 < width) {
            if (line != 0) {
                out += ' ';
                ++line;
            }
        } else if (line != 0) {
            out += '\n';
            out.append(static_cast<std::size_t>(indent > 0 ? indent : 0), ' ');
            if (prefix)
                out += prefix;
            line = 0;
        }
        out.append(start, static_cast<std::size_t>(w));
        line += w;
    }
    return out;
}

char *heap_copy(const std::string &s, const char *failure)
{
    auto *p = static_cast<char *>(std::malloc(s.size() + 1));
    if (!p)
        opt_fatal(failure);
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

}  // namespace optlib

char *opt_justify(const char *s, int width, int indent, int initial, const char *prefix)
{
    return optlib::heap_copy(optlib::justify(s, width, indent, initial, prefix),
                             "unable to allocate memory for string processing");
}

void short_usage()
{
    if (opt_titlestring)
        std::fputs(opt_titlestring, stdout);
    std::printf("Usage: %s ", or_empty(opt_program_name));
    std::printf("%s\n", opt_usagestring ? opt_usagestring : "[options] ");
    if (opt_menu_enabled)
        std::printf("To invoke the menu, type:\n\t%s --menu\n", or_empty(opt_program_name));
}

void opt_usage()
{
    bool header = false;
    for (int i = 0; i < opt_nreg; ++i) {
        const Option_t &o = optlist[i];
        if (o.mode == OPT_DELIMITED)
            continue;
        if (!header) {
            std::printf("The arguments are:\n");
            header = true;
        }
        const std::string d = optlib::justify(o.descript, usage_width, usage_indent, 0, nullptr);
        if (o.descript && *o.descript)
            std::printf(" %-20s %-14s  %s\n", or_empty(o.longname), optstrtyp(i), d.c_str());
        else
            std::printf(" %-10s                              %s\n", optstrtyp(i), d.c_str());
    }

    header = false;
    for (int i = 0; i < opt_nreg; ++i) {
        const Option_t &o = optlist[i];
        const bool has_long = o.longname && *o.longname;
        if (o.mode == OPT_POSITIONAL || (!o.name && !has_long))
            continue;
        if (!header) {
            std::printf("The options are:\n");
            header = true;
        }
        const bool long_long = has_long && std::strlen(o.longname) > 14;
        std::string d;
        if (o.mode == OPT_FLEXIBLE)
            d = optlib::justify("(See argument description above)", usage_width, usage_indent, 0,
                                nullptr);
        else
            d = optlib::justify(o.descript, usage_width, usage_indent,
                                long_long ? usage_indent : 0, nullptr);
        const char *tag = optstrtyp(i);
        if (!has_long)
            std::printf(" -%c                   %-14s  %s\n", o.name, tag, d.c_str());
        else if (o.name)
            std::printf(" -%c, --%-14s %-14s  %s\n", o.name, o.longname, tag,
                        long_long ? "" : d.c_str());
        else
            std::printf("     --%-14s %-14s  %s\n", o.longname, tag, long_long ? "" : d.c_str());
        if (has_long && long_long)
            std::printf("%s\n", d.c_str());
    }

    if (opt_additional_usage_fcn) {
        std::printf(" --\n");
        opt_additional_usage_fcn();
    }
}

void long_usage()
{
    short_usage();
    opt_usage();
}

void optPrintUsage() { long_usage(); }

void opt_get_help(char c)
{
    const int i = opt_char_number(c);
    if (i >= 0 && optlist[i].help)
        std::printf("%c: %s\n", c, optlist[i].help);
    else
        std::printf("Help unavailable for '%c'\n", c);
}

void opt_help(const char *s)
{
    if (s && s[0] && !s[1]) {
        opt_get_help(s[0]);
        return;
    }
    if (s && s[0]) {
        std::printf("Help unavailable for: [%s]\n", s);
        return;
    }
    const char *file = or_empty(opt_filename);
    std::printf("\t%c %-20s\n", '-', "Options delimiter");
    std::printf("\t%c %-20s\n", '?', "Help");
    std::printf("\t%c %-20s\n", '=', "Run program and return to menu");
    std::printf("\t%c %-20s\n", '!', "Shell to Operating System");
    std::printf("\t%c %-20s\n", '$', opt_menuflag ? "Exit menu" : "Invoke menu");
    std::printf("\t%c %-20s\n", '+', "Additional options");
    std::printf("\t%c<filename> %-20s [%s]\n", '@', "Get options from file", file);
    std::printf("\t%c%c %-2s [%s]\n", '@', '@', "Get options from file", file);
    std::printf("\t%c<filename> %-20s\n", '%', "Put options in file");
    std::printf("\t%c%c %-2s [%s]\n", '%', '%', "Put options in file", file);
    std::printf("\t%c %-20s\n", '.', "Quit");
}
