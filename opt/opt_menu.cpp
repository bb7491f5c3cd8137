// The interactive menu: pages of option lines with their current values, and a prompt that
// takes option settings, command characters, a shell command and paging requests line by line.
#include "opt/opt.h"
#include "opt/opt_lib.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define MENUPROMPT "-> "

namespace {

constexpr int max_response = 280;  // longest menu response; the rest of a typed line is dropped

int page_size = 20;  // kept from one start of the menu to the next

bool is_flag(opt_TYPE t)
{
    return t == OPT_TOGGLE || t == OPT_BOOL || t == OPT_NEGTOGGLE || t == OPT_NEGBOOL;
}

std::string menu_value(int i)
{
    const Option_t &o = optlist[i];
    if (o.type == OPT_INTLEVEL && o.value) {
        const int level = *static_cast<const int *>(o.value);
        if (level == 0)
            return "OFF";
        if (level == 1)
            return "ON";
        return "ON:" + std::to_string(level);
    }
    if (o.type == OPT_CHAR && o.value) {
        switch (*static_cast<const char *>(o.value)) {
        case '\0': return "'\\0'";
        case '\t': return "'\\t'";
        case '\n': return "'\\n'";
        case ' ': return "'  '";
        default: return std::string(1, *static_cast<const char *>(o.value));
        }
    }
    const std::string r = optstrval(i);
    if (is_flag(o.type)) {
        if (r == "+" || r == "1")
            return "TRUE";
        if (r == "-" || r == "0")
            return "FALSE";
    }
    return r;
}

// Leading decimal digits as an int (0 when there are none), held at INT_MAX.
int leading_number(const char *s)
{
    long long v = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        v = v * 10 + (*s - '0');
        if (v > INT_MAX)
            return INT_MAX;
    }
    return static_cast<int>(v);
}

int page_end(int first)
{
    const long long end = static_cast<long long>(first) + page_size;
    return end < opt_nreg ? static_cast<int>(end) : opt_nreg;
}

}  // namespace

char *opt_mstring(int i)
{
    if (i < 0 || i >= opt_nreg)
        return nullptr;
    const Option_t &o = optlist[i];
    const bool has_long = o.longname && *o.longname;
    if ((!o.name && !has_long) || o.mode == OPT_POSITIONAL)
        return nullptr;
    const std::string value = menu_value(i);
    const std::string descript = optlib::justify(o.descript, 40, 35, 0, nullptr);
    std::string line;
    long pad;
    if (o.name) {
        line = std::string("-") + o.name + " " + value;
        pad = 32 - static_cast<long>(value.size());
    } else {
        line = std::string("--") + o.longname + "=" + value;
        pad = 32 - static_cast<long>(std::strlen(o.longname)) - static_cast<long>(value.size());
    }
    // As a printf field width: a negative width pads by its magnitude as well.
    line.append(static_cast<std::size_t>(pad < 0 ? -pad : pad), ' ');
    line += descript;
    return optlib::heap_copy(line, "unable to allocate memory for menu text strings");
}

void write_the_menu(int iopfrom, int iopto)
{
    if (iopfrom < 0)
        iopfrom = 0;
    if (iopto > opt_nreg)
        iopto = opt_nreg;
    const bool whole = iopfrom == 0 && iopto == opt_nreg;
    if (!whole)
        std::printf("menu: %d->%d [%d]\n", iopfrom, iopto, opt_nreg);
    for (int i = iopfrom; i < iopto; ++i) {
        if (char *s = opt_mstring(i)) {
            std::printf("%s\n", s);
            std::free(s);
        }
    }
    if (!whole)
        std::printf("%c Additional options\n", '+');
    std::printf("(Type %c for Help)\n", '?');
}

int opt_menu_getline(const char *prompt, char *respond, int maxlen)
{
    if (prompt)
        std::fputs(prompt, stdout);
    std::fflush(stdout);
    if (maxlen < 0)
        maxlen = 0;
    int n = 0;
    bool any = false;
    int c;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (n < maxlen)
            respond[n++] = static_cast<char>(c);
    }
    respond[n] = '\0';
    return any ? n : -1;
}

void opt_menu()
{
    opt_menuflag = 1;
    int first = 0;
    int end = page_end(first);
    std::printf("%s\n", optgetTitle());
    write_the_menu(first, end);

    char respond[max_response + 1];
    while (opt_menuflag) {
        if (opt_menu_getline(MENUPROMPT, respond, max_response) < 0)
            opt_quit();  // the end of input quits, as '.' does
        const std::string line = respond;
        const char c = line.empty() ? '\0' : line[0];
        if (c == '\0') {
            write_the_menu(first, end);
        } else if (c == '+' && (line.size() == 1 || line[1] == ' ')) {
            const long long next = static_cast<long long>(first) + page_size;
            first = next >= opt_nreg ? 0 : static_cast<int>(next);
            end = page_end(first);
            write_the_menu(first, end);
        } else if (c == '+') {
            page_size = leading_number(line.c_str() + 1);
            if (page_size < 1)
                page_size = opt_nreg;
            std::printf("Scroll %d options\n", page_size);
            first = 0;
            end = page_end(first);
            write_the_menu(first, end);
        } else if (c == '!') {
            std::fflush(nullptr);
            const int status = std::system(line.c_str() + 1);
            (void)status;
        } else if (c == '$') {
            opt_menuflag = 0;
        } else if (c == '.' && (line.size() == 1 || line[1] == ' ')) {
            opt_quit();
        } else if (c == '.') {
            std::printf("Invalid line: [%s]\n", line.c_str());
        } else if (c == '~') {
            std::printf("Option Information: To be implemented.\n");
            std::printf("\n   Name:        ");
            std::printf("\n   Type:        ");
            std::printf("\n   Reason:      ");
        } else if (c != '-' && opt_char_number(c) >= 0) {
            opt_lineprocess(("-" + line).c_str());
        } else {
            opt_lineprocess(line.c_str());
        }
    }
}
