// Options files in-process: the written body, the backup of the previous version, write
// failures, reading back, line lengths, the end of reading and the current file name.
#include "opt_test_support.h"

#include <cstring>
#include <string>

using opttest::Capture;
using opttest::Mend;
using opttest::OptTest;
using opttest::TempDir;
using opttest::file_exists;
using opttest::read_file;
using opttest::write_file;

namespace {

class OptFile : public OptTest {};

std::string sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

const std::string long40 = "alongoptionnamethatrunsonandonandonfor40";

// A registry with every kind of line the writer knows.
struct Varied {
    int quiet = 1, level = 3, pos = 0, depth = 7, far = 0;
    char *name = nullptr;
    char progname[40] = "abcdefghijklmnopqrstuvwxyz0123456789";
    void reg()
    {
        optProgName(progname);
        optrega(&quiet, OPT_BOOL, 'q', "quiet", "Quiet mode: print nothing but errors.");
        optrega(&name, OPT_STRING, 'n', "name",
                "A description long enough to be re-flowed onto lines of their own below the "
                "value");
        optrega(&level, OPT_INTLEVEL, 'L', nullptr, "Level");
        optregp(&pos, OPT_INT, "pos", "Positional");
        optexec("go", [](void *) { return 0; }, "Goes");
        optrega(&depth, OPT_INT, '\0', "depth", "Depth of the search in whole levels.");
        optrega(&far, OPT_INT, '\0', long40.c_str(), "Long");
        opt_lineprocess("-n \"x y\"");
    }
};

TEST_F(OptFile, BodyListsEveryOptionWithItsValueAndDescription)
{
    Varied v;
    v.reg();
    TempDir dir;
    const std::string f = dir.file("v.opt");
    ASSERT_EQ(opt_tofname(f.c_str()), 1);
    EXPECT_EQ(read_file(f),
              ";Options file created by: [abcdefghijklmnopqrstuvwxyz0123];\n"
              ";" + std::string(57, '-') + ";\n" +
              "-q+" + sp(34) + "; Quiet mode: print nothing but errors.\n" +
              sp(37) + "; -q == --quiet\n" +
              "-n \"x y\"" + sp(29) + "\n" +
              sp(20) + "; A description long enough to be re-flowed onto lines\n" +
              sp(20) + "; of their own below the value\n" +
              sp(20) + "; -n == --name\n" +
              "-L3" + sp(34) + "; Level\n" +
              "--depth=7" + sp(28) + "\n" +
              sp(20) + "; Depth of the search in whole levels.\n" +
              "--" + long40 + "=0 ; Long\n");  // never "=0;": see the read-back test
    EXPECT_STREQ(opt_filename, f.c_str());
}

TEST_F(OptFile, WrittenFileReadsBackTheSameValues)
{
    Varied v;
    v.reg();
    TempDir dir;
    const std::string f = dir.file("v.opt");
    ASSERT_EQ(opt_tofname(f.c_str()), 1);
    opt_lineprocess("-q- -L0 -n other --depth 1");
    ASSERT_EQ(v.quiet, 0);
    Capture cap;
    EXPECT_EQ(opt_fromfname(f.c_str()), 1);
    // No description word reaches an option: the positional one stays untouched.
    EXPECT_EQ(cap.take().second, "");
    EXPECT_EQ(v.pos, 0);
    EXPECT_EQ(optinvoked(&v.pos), 0);
    EXPECT_EQ(v.quiet, 1);
    EXPECT_EQ(v.level, 3);
    EXPECT_STREQ(v.name, "x y");
    EXPECT_EQ(v.depth, 7);
    EXPECT_EQ(opt_fileflag, 0);
}

TEST_F(OptFile, RewritingKeepsThePreviousVersionAsBackup)
{
    Mend m;
    m.reg();
    TempDir dir;
    const std::string f = dir.file("avfmend.opt");
    opt_setstring(&opt_filename, f.c_str());
    {
        Capture cap;
        ASSERT_EQ(opt_tofname("%%"), 1);  // the current file name
        EXPECT_EQ(cap.take().first, "");
    }
    const std::string first = read_file(f);
    opt_lineprocess("-m 10");
    Capture cap;
    ASSERT_EQ(opt_tofname("%"), 1);
    EXPECT_EQ(cap.take().first, "Options file [" + f + "~] has been overwritten\n");
    EXPECT_EQ(read_file(f + "~"), first);
    EXPECT_NE(read_file(f).find("-m 10 "), std::string::npos);
}

TEST_F(OptFile, WriteFailuresAreReportedAndGiveZero)
{
    Mend m;
    m.reg();
    TempDir dir;
    struct Case {
        std::string name, out;
    } cases[] = {
        {"", "cant open opt file [] for writing\n"},
        {dir.file("none/x.opt"), "cant open opt file [" + dir.file("none/x.opt") +
                                     "] for writing\n"},
        // Opens, but no byte can be written; a device is never copied to a backup.
        {"/dev/full", "error writing opt file [/dev/full]\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Capture cap;
        EXPECT_EQ(opt_tofname(c.name.c_str()), 0);
        EXPECT_EQ(cap.take().first, c.out);
        EXPECT_EQ(opt_filename, c.name);  // the name tried becomes the current one
    }
    EXPECT_FALSE(file_exists("/dev/full~"));
}

TEST_F(OptFile, ReadingWithANameKeepsTheCurrentNameAndWritingWithANameChangesIt)
{
    Mend m;
    m.reg();
    TempDir dir;
    write_file(dir.file("other.opt"), "-m 7\n");
    opt_setstring(&opt_filename, dir.file("avfmend.opt").c_str());
    opt_lineprocess(("@" + dir.file("other.opt")).c_str());
    EXPECT_EQ(m.MaxScan, 7);
    EXPECT_EQ(opt_filename, dir.file("avfmend.opt"));

    opt_menuflag = 1;  // in the menu writing does not end the program
    Capture cap;
    opt_lineprocess(("%" + dir.file("mine.opt")).c_str());
    cap.take();
    EXPECT_EQ(opt_filename, dir.file("mine.opt"));
    EXPECT_TRUE(file_exists(dir.file("mine.opt")));
}

TEST_F(OptFile, ReadingStopsAtAnEmptyLineOrTheEnd)
{
    Mend m;
    m.reg();
    TempDir dir;
    write_file(dir.file("a.opt"), "; comment\n-m 5\n\n-e 2\n");
    Capture cap;
    EXPECT_EQ(opt_fromfname(dir.file("a.opt").c_str()), 1);
    EXPECT_EQ(m.MaxScan, 5);
    EXPECT_EQ(m.EatRec, 0);

    write_file(dir.file("b.opt"), "-e 2\n-v 1");  // no newline at the end
    EXPECT_EQ(opt_fromfname(dir.file("b.opt").c_str()), 1);
    EXPECT_EQ(m.EatRec, 2);
    EXPECT_EQ(m.Verbose, 1);
    EXPECT_EQ(cap.take().second, "");
}

TEST_F(OptFile, MissingOrUnnamedFiles)
{
    Mend m;
    m.reg();
    TempDir dir;
    opt_setstring(&opt_filename, dir.file("avfmend.opt").c_str());
    struct Case {
        const char *line;
        std::string err;
    } cases[] = {
        {"@@", "OPT Warning: Cannot open options file [" + dir.file("avfmend.opt") + "]\n\n"},
        {"@", "OPT Warning: @file.opt fails to specify file.opt\n\nOPT Warning: Cannot open "
              "options file [" + dir.file("avfmend.opt") + "]\n\n"},
        {"@nowhere.opt", "OPT Warning: Cannot open options file [nowhere.opt]\n\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        Capture cap;
        opt_lineprocess(c.line);
        EXPECT_EQ(cap.take().second, c.err);
    }
    Capture cap;
    EXPECT_EQ(opt_fromfname(nullptr), 0);
    EXPECT_EQ(opt_fromfname(dir.file("nowhere.opt").c_str()), 0);  // no message of its own
    EXPECT_EQ(cap.take().second, "OPT Warning: @file.opt fails to specify file.opt\n\n");
}

TEST_F(OptFile, LongLinesSplitAfter2558Characters)
{
    TempDir dir;
    const std::string head = "-e 1 -i " + std::string(2550, 'x');  // 2558 characters
    ASSERT_EQ(head.size(), 2558u);
    struct Case {
        std::string text;
        std::string in;
        int m;
        const char *err;
    } cases[] = {
        // 3000 characters: 2558, then 442 read as the next line.
        {head + "-m 9" + sp(438) + "\n-v 1\n", std::string(2550, 'x'), 9,
         "OPT Warning: Options line too long\n"},
        // Exactly 2558: read whole; its newline ends it and the next line is read too.
        {head + "\n-m 9\n", std::string(2550, 'x'), 9, ""},
        {head + "y\n-m 9\n", std::string(2550, 'x'), 9, "OPT Warning: Options line too long\n"},
    };
    for (const auto &c : cases) {
        reset();
        Mend mm;
        mm.reg();
        write_file(dir.file("long.opt"), c.text);
        Capture cap;
        EXPECT_EQ(opt_fromfname(dir.file("long.opt").c_str()), 1);
        EXPECT_EQ(cap.take().second, c.err);
        EXPECT_EQ(mm.in(), c.in);
        EXPECT_EQ(mm.EatRec, 1);
        EXPECT_EQ(mm.MaxScan, c.m);
    }
}

TEST_F(OptFile, GetlineStoresTwoTerminators)
{
    TempDir dir;
    write_file(dir.file("g.txt"), "ab\n\n" + std::string(2560, 'z'));
    FILE *f = std::fopen(dir.file("g.txt").c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[OPT_MAXLINE + 2];
    std::memset(line, 'q', sizeof line);
    EXPECT_EQ(opt_getline(line, f), 2);
    EXPECT_EQ(std::string(line, 4), std::string("ab\0\0", 4));
    EXPECT_EQ(opt_getline(line, f), 0);
    Capture cap;
    EXPECT_EQ(opt_getline(line, f), OPT_MAXLINE);
    EXPECT_EQ(line[OPT_MAXLINE], '\0');
    EXPECT_EQ(line[OPT_MAXLINE + 1], '\0');
    EXPECT_EQ(opt_getline(line, f), 2);
    EXPECT_EQ(opt_getline(line, f), 0);
    std::fclose(f);
    EXPECT_EQ(cap.take().second, "OPT Warning: Options line too long\n");
}

TEST_F(OptFile, AFileThatReadsItselfEnds)
{
    Mend m;
    m.reg();
    TempDir dir;
    const std::string f = dir.file("self.opt");
    write_file(f, "@" + f + "\n-m 5\n");
    Capture cap;
    EXPECT_EQ(opt_fromfname(f.c_str()), 1);
    EXPECT_EQ(cap.take().second, "OPT Warning: Options files nested too deeply\n"
                                 "OPT Warning: Cannot open options file [" + f + "]\n\n");
    EXPECT_EQ(m.MaxScan, 5);
    EXPECT_EQ(opt_fileflag, 0);
}

}  // namespace
