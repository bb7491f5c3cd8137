// Options files (writing with a backup of the previous version, reading line by line) and the
// XML description of the registered options.
#include "opt/opt.h"
#include "opt/opt_lib.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

struct FileCloser {
    void operator()(FILE *f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

const char *or_empty(const char *s) { return s ? s : ""; }

// Options files may read further files; one that (directly or not) reads itself stops here.
constexpr int max_file_depth = 32;
int file_depth = 0;

// Value types written with the letter and the value run together ("-v+").
bool joined_value(opt_TYPE t)
{
    return t == OPT_TOGGLE || t == OPT_BOOL || t == OPT_NEGTOGGLE || t == OPT_NEGBOOL ||
           t == OPT_INTLEVEL || t == OPT_CHAR;
}

// The description after an option's value: on the same line when it has at most `room`
// characters, otherwise re-flowed on lines of its own. True when it stood on the same line.
bool write_description(FILE *fp, const char *descript, std::size_t room)
{
    const char *d = or_empty(descript);
    if (std::strlen(d) <= room) {
        std::fprintf(fp, "; %s\n", d);
        return true;
    }
    std::fprintf(fp, "\n%s\n", optlib::justify(d, 55, 20, 20, "; ").c_str());
    return false;
}

// Copies the old file into its backup; true when every byte was written and the backup closed.
bool copy_backup(FILE *from, const std::string &backup)
{
    File to{std::fopen(backup.c_str(), "w")};
    if (!to)
        return false;
    std::vector<char> buf(8192);
    std::size_t n;
    bool ok = true;
    while (ok && (n = std::fread(buf.data(), 1, buf.size(), from)) > 0)
        ok = std::fwrite(buf.data(), 1, n, to.get()) == n;
    ok = ok && !std::ferror(from);
    return std::fclose(to.release()) == 0 && ok;
}

}  // namespace

void opt_tofile(FILE *fp)
{
    char header[64];
    std::snprintf(header, sizeof header, "Options file created by: [%.30s]",
                  or_empty(opt_program_name));
    std::fprintf(fp, ";%s;\n", header);
    std::fprintf(fp, ";%s;\n", std::string(std::strlen(header), '-').c_str());

    for (int i = 0; i < opt_nreg; ++i) {
        const Option_t &o = optlist[i];
        if (!o.name || o.type == OPT_NUL || o.mode == OPT_POSITIONAL)
            continue;
        if (joined_value(o.type))
            std::fprintf(fp, "-%c%-33s  ", o.name, optstrval(i));
        else
            std::fprintf(fp, "-%c %-33s ", o.name, optstrval(i));
        const bool short_descript = write_description(fp, o.descript, 37);
        if (o.longname && *o.longname)
            std::fprintf(fp, short_descript ? "%-37s%c -%c == --%s\n" : "%-20s%c -%c == --%s\n",
                         "", ';', o.name, o.longname);
    }

    for (int i = 0; i < opt_nreg; ++i) {
        const Option_t &o = optlist[i];
        if (o.name || !o.longname || !*o.longname || o.mode == OPT_POSITIONAL ||
            o.type == OPT_NUL || o.hook)
            continue;
        long width = 34 - static_cast<long>(std::strlen(o.longname));
        if (width < 1)
            width = 1;
        const char *value = optstrval(i);
        std::fprintf(fp, "--%s=%-*s", o.longname, static_cast<int>(width), value);
        // A value that fills its field would run into the ';' of a description on the same
        // line and take it (and the words after it) into the option line when read back.
        if (static_cast<long>(std::strlen(value)) >= width &&
            std::strlen(or_empty(o.descript)) <= 35)
            std::fputc(' ', fp);
        write_description(fp, o.descript, 35);
    }
}

int opt_tofname(const char *fname)
{
    if (!fname)
        fname = "";
    if (fname[0] != '%') {
        const std::string name = fname;  // fname may be the current name itself
        opt_setstring(&opt_filename, name.c_str());
    }
    const std::string name = or_empty(opt_filename);

    // Keep the previous version. Only an ordinary file is copied: a device or a pipe of that
    // name would never end.
    if (File old{std::fopen(name.c_str(), "r")}) {
        struct stat st {};
        if (::fstat(::fileno(old.get()), &st) == 0 && S_ISREG(st.st_mode)) {
            const std::string backup = name + "~";
            if (copy_backup(old.get(), backup))
                std::printf("Options file [%s] has been overwritten\n", backup.c_str());
        }
    }

    File fp{std::fopen(name.c_str(), "w")};
    if (!fp) {
        std::printf("cant open opt file [%s] for writing\n", name.c_str());
        return 0;
    }
    opt_tofile(fp.get());
    const bool written = std::fflush(fp.get()) == 0 && !std::ferror(fp.get());
    if (std::fclose(fp.release()) != 0 || !written) {
        std::printf("error writing opt file [%s]\n", name.c_str());
        return 0;
    }
    return 1;
}

int opt_getline(char *line, FILE *fp)
{
    int n = 0;
    int c;
    while ((c = std::getc(fp)) != EOF && c != '\n') {
        if (n == OPT_MAXLINE) {
            opt_warning("Options line too long");
            std::ungetc(c, fp);  // the rest is the next line
            break;
        }
        line[n++] = static_cast<char>(c);
    }
    line[n] = '\0';
    line[n + 1] = '\0';
    return n;
}

int opt_fromfname(const char *fname)
{
    if (!fname || !*fname) {
        optlib::warningf("%cfile.opt fails to specify file.opt\n", '@');
        return 0;
    }
    const std::string name = fname[0] == '@' ? or_empty(opt_filename) : fname;
    if (file_depth >= max_file_depth) {
        opt_warning("Options files nested too deeply");
        return 0;
    }
    File fp{std::fopen(name.c_str(), "r")};
    if (!fp)
        return 0;

    const int saved_fileflag = opt_fileflag;
    opt_fileflag = 1;
    ++file_depth;
    std::vector<char> line(OPT_MAXLINE + 2);
    while (opt_getline(line.data(), fp.get()) > 0)
        opt_lineprocess(line.data());
    --file_depth;
    opt_fileflag = saved_fileflag;
    return 1;
}

void opt_write_xml_file(FILE *fp)
{
    std::fprintf(fp, "<opt-interface program=\"%s\">\n", or_empty(opt_program_name));
    for (int i = 0; i < opt_nreg; ++i) {
        const Option_t &o = optlist[i];
        std::string type = optstrtyp(i);
        for (char &c : type)
            if (c == '<' || c == '>')
                c = '"';
        std::fprintf(fp, "  <option type=%s", type.c_str());
        if (o.mode == OPT_POSITIONAL)
            std::fprintf(fp, " mode=\"POSITIONAL\"");
        else if (o.mode == OPT_FLEXIBLE)
            std::fprintf(fp, " mode=\"FLEXIBLE\"");
        std::fprintf(fp, ">\n");
        if (o.name)
            std::fprintf(fp, "    <short>%c</short>\n", o.name);
        if (o.longname)
            std::fprintf(fp, "    <long>%s</long>\n", o.longname);
        if (o.descript)
            std::fprintf(fp, "    <description>%s</description>\n", o.descript);
        if (o.help)
            std::fprintf(fp, "    <help>%s</help>\n", o.help);
        if (o.array)
            std::fprintf(fp, "    <array-delimiter>%c</array-delimiter>\n", o.array->delim);
        std::fprintf(fp, "  </option>\n");
    }
    std::fprintf(fp, "</opt-interface>\n");
}
