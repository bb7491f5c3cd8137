// Command-line processing: opt and getopts with the two tools' registrations, option lines and
// their word splitter, and the command characters in their three contexts.
#include "opt_test_support.h"

#include <cstdlib>
#include <string>
#include <vector>

using opttest::Argv;
using opttest::Capture;
using opttest::Merge;
using opttest::Mend;
using opttest::OptTest;

namespace {

using Words = std::vector<std::string>;
using OptCommandLine = OptTest;

TEST_F(OptCommandLine, RepairToolCommandLines)
{
    struct Case {
        std::initializer_list<std::string> args;
        const char *in;
        int m, e, v;
        Words rest;
        const char *err;
    } cases[] = {
        {{"avfmend", "-i", "in.avf", "-m", "5", "-e", "2", "-v", "1"}, "in.avf", 5, 2, 1,
         {"avfmend"}, ""},
        {{"avfmend", "-iin.avf", "-m5"}, "in.avf", 5, 0, 0, {"avfmend"}, ""},
        {{"avfmend", "--in=in.avf", "--maxscans", "5"}, "in.avf", 5, 0, 0, {"avfmend"}, ""},
        {{"avfmend", "--in", "in.avf", "--maxscans=5"}, "in.avf", 5, 0, 0, {"avfmend"}, ""},
        {{"avfmend", "--maxscans="}, "(null)", 0, 0, 0, {"avfmend"}, ""},
        {{"avfmend", "-e", "3", "-m"}, "(null)", 0, 3, 0, {"avfmend"}, ""},
        {{"avfmend", "-x", "-i", "in.avf"}, "in.avf", 64, 0, 0, {"avfmend"},
         "OPT Warning: x not a registered option name\n\n"},
        {{"avfmend", "in.avf", "-i", "other.avf"}, "(null)", 64, 0, 0,
         {"avfmend", "in.avf", "-i", "other.avf"}, ""},
        {{"avfmend", "--", "-i", "x"}, "(null)", 64, 0, 0, {"avfmend", "-i", "x"}, ""},
        {{"avfmend", "-m", "3", "--"}, "(null)", 3, 0, 0, {"avfmend"}, ""},
        {{"avfmend", "-", "-m", "3"}, "(null)", 64, 0, 0, {"avfmend", "-", "-m", "3"}, ""},
        {{"avfmend", "-i", "in.avf", ";", "-m", "5"}, "in.avf", 64, 0, 0, {"avfmend"}, ""},
        {{"avfmend", "--version", "-e", "1"}, "(null)", 64, 1, 0, {"avfmend"},
         "OPT Warning: version not a registered option name\n\n"},
        {{"avfmend", "=", "-m", "1"}, "(null)", 64, 0, 0, {"avfmend", "=", "-m", "1"}, ""},
        {{"avfmend", "-m", "2", "!", "."}, "(null)", 2, 0, 0, {"avfmend", "!", "."}, ""},
        {{"avfmend", "-vm5"}, "(null)", 64, 0, 0, {"avfmend"},
         "OPT Warning: String [m5] is not a valid integer, will use [0]\n"},
        {{"avfmend", "--nosuch=val"}, "(null)", 64, 0, 0, {"avfmend", "--nosuch=val"},
         "OPT Warning: nosuch not a registered option name\n\n"},
        {{"avfmend", "-i", "", "-m", "4"}, "", 4, 0, 0, {"avfmend"}, ""},
        {{"avfmend"}, "(null)", 64, 0, 0, {"avfmend"}, ""},
    };
    for (const auto &c : cases) {
        std::string trace;
        for (const auto &a : c.args)
            trace += "[" + a + "]";
        SCOPED_TRACE(trace);
        reset();
        Mend m;
        m.reg();
        Argv a(c.args);
        Capture cap;
        const int n = opt(&a.argc, &a.argv);
        const auto [out, err] = cap.take();
        EXPECT_EQ(m.in(), c.in);
        EXPECT_EQ(m.MaxScan, c.m);
        EXPECT_EQ(m.EatRec, c.e);
        EXPECT_EQ(m.Verbose, c.v);
        EXPECT_EQ(n, a.argc);
        EXPECT_EQ(a.current(), c.rest);
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(out, "");
        if (a.argc > 1) {
            EXPECT_EQ(a.argv[a.argc], nullptr);  // a handed-back vector is terminated
        }
    }
}

TEST_F(OptCommandLine, MergeToolTakesOneArgumentWithSeparators)
{
    {
        Merge m;
        m.reg();
        Argv a({"avfmerge", "-i", "a.avf,b.avf"});
        opt(&a.argc, &a.argv);
        EXPECT_EQ(m.files(), (Words{"a.avf", "b.avf"}));
        EXPECT_EQ(a.current(), Words{"avfmerge"});
    }
    reset();
    {
        Merge m;
        m.reg();
        Argv a({"avfmerge", "-i", "a.avf", "b.avf"});
        opt(&a.argc, &a.argv);
        EXPECT_EQ(m.files(), Words{"a.avf"});
        EXPECT_EQ(a.current(), (Words{"avfmerge", "b.avf"}));
    }
}

TEST_F(OptCommandLine, ProgramNameAndOptionsFileNameComeFromTheFirstArgument)
{
    static std::string file_seen;
    file_seen.clear();
    optexec("peek", [](void *) {
        file_seen = opt_filename ? opt_filename : "(null)";
        return 0;
    }, "records the options file name");
    Argv a({"/usr/local/bin/avfmend.exe", "--peek"});
    opt(&a.argc, &a.argv);
    EXPECT_STREQ(opt_program_name, "avfmend");
    EXPECT_EQ(file_seen, "avfmend.opt");
    EXPECT_EQ(opt_filename, nullptr);  // released when opt returns
    EXPECT_STREQ(optgetTitle(), "avfmend");
    optTitle("A title\n");
    EXPECT_STREQ(optgetTitle(), "A title\n");
}

TEST_F(OptCommandLine, ShortProgramName)
{
    struct Case {
        const char *path, *name;
    } cases[] = {
        {"/usr/local/bin/avfmend.exe", "avfmend"},
        {"C:\\tools\\AVFMERGE.EXE", "AVFMERGE"},
        {"d:avfmend", "avfmend"},
        {"avfmend.Exe", "avfmend.Exe"},
        {"bin/.exe", ".exe"},
        {"a.exe", "a"},
        {"dir/", ""},
    };
    for (const auto &c : cases) {
        std::string buf = c.path;
        EXPECT_STREQ(short_progname(buf.data()), c.name) << c.path;
    }
    EXPECT_EQ(short_progname(nullptr), nullptr);
}

TEST_F(OptCommandLine, GetoptsLeavesTheVectorAloneAndReturnsTheCount)
{
    Mend m;
    m.reg();
    Argv a({"avfmend", "-m", "9", "in.avf", "x"});
    char **before = a.argv;
    EXPECT_EQ(getopts(a.argc, a.argv), 3);
    EXPECT_EQ(a.argv, before);
    EXPECT_EQ(a.argc, 5);
    EXPECT_EQ(m.MaxScan, 9);
    EXPECT_EQ(getopts(0, nullptr), 0);
}

TEST_F(OptCommandLine, DefaultStringAndEnvironmentLineComeBeforeTheCommandLine)
{
    Mend m;
    m.reg();
    optDefaultString("-m 7 -e 1");
    optEnvVarName("OPT_TEST_OPTIONS");
    ::setenv("OPT_TEST_OPTIONS", "-e 2 -v \"3\"", 1);
    Argv a({"avfmend", "-v", "4"});
    opt(&a.argc, &a.argv);
    ::unsetenv("OPT_TEST_OPTIONS");
    EXPECT_EQ(m.MaxScan, 7);
    EXPECT_EQ(m.EatRec, 2);
    EXPECT_EQ(m.Verbose, 4);
}

TEST_F(OptCommandLine, ZeroCountReturnsAtOnce)
{
    Mend m;
    m.reg();
    optDefaultString("-m 3");
    int argc = 0;
    char *none[] = {nullptr};
    char **argv = none;
    EXPECT_EQ(opt(&argc, &argv), 0);
    EXPECT_EQ(argv, none);
    EXPECT_EQ(m.MaxScan, 3);
}

// The word splitter, seen through the words that positional options receive.
TEST_F(OptCommandLine, LineSplitterQuoteRules)
{
    struct Case {
        const char *line;
        int count;
        Words words;  // the non-empty words, in order
    } cases[] = {
        {"  a   b  ", 2, {"a", "b"}},
        {"ab\"cd ef\"", 2, {"ab", "cd ef"}},
        {"\"a b\" c", 2, {"a b", "c"}},
        {"\"\"", 1, {}},
        {"x \"\" y", 3, {"x", "y"}},
        {"\"a\"\"b\"", 2, {"a", "b"}},
        {"x \"never closed y", 2, {"x", "never closed y"}},
        {"\"cd ef\"gh", 2, {"cd ef", "gh"}},
        {"\t a\r\n", 1, {"a"}},
        {"   ", 0, {}},
        {"", 0, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        reset();
        char *p[4] = {};
        for (auto &slot : p)
            optregp(&slot, OPT_STRING, nullptr, nullptr);
        EXPECT_EQ(opt_lineprocess(c.line), c.count);
        Words got;
        for (char *s : p)
            if (s)
                got.emplace_back(s);
        EXPECT_EQ(got, c.words);
    }
    EXPECT_EQ(opt_lineprocess(nullptr), 0);
}

TEST_F(OptCommandLine, PositionalOptionsTakeBareWordsInRegistrationOrder)
{
    char *first = nullptr, *second = nullptr;
    int n = 0;
    optregp(&first, OPT_STRING, "first", "first file");
    optrega(&n, OPT_INT, 'n', "num", "a number");
    optregf(&second, OPT_STRING, 's', "second", "second file");
    Argv a({"prog", "one", "-n", "3", "two", "three"});
    opt(&a.argc, &a.argv);
    EXPECT_STREQ(first, "one");
    EXPECT_STREQ(second, "two");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(a.current(), (Words{"prog", "three"}));
}

// The same characters in the three contexts: command line, options-file line, menu line.
TEST_F(OptCommandLine, CommandCharactersDependOnTheirContext)
{
    struct Case {
        int menu, file;
        const char *line;
        int m, e;
        int menu_after;
        const char *err;
    } cases[] = {
        {0, 1, "-m 5 ; -e 2", 5, 0, 0, ""},
        {1, 0, "-m 5 ; -e 2", 5, 0, 1, ""},
        {0, 1, "? -m 5", 5, 0, 0, ""},  // in a file the '?' alone is skipped
        {0, 1, "= -m 5", 5, 0, 0, "OPT Warning: No Run Function has been registered\n"},
        {1, 0, "= -m 5", 64, 0, 0, ""},  // leaves the menu, rest of the line ignored
        {1, 0, "$ -m 5", 64, 0, 0, ""},
        {1, 0, "! -m 5", 5, 0, 1,
         "OPT Warning: Shell to system invalid unless '!' is the first character in the "
         "line\n\n"},
        {0, 1, "! -m 5", 64, 0, 0, ""},  // a bare word: the line ends there
        {0, 1, ". -m 5", 64, 0, 0, ""},
        {1, 0, "--help -m 5", 64, 0, 1, ""},  // in the menu the name becomes a bare word
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.line) + " menu " + std::to_string(c.menu) + " file " +
                     std::to_string(c.file));
        reset();
        Mend mend;
        mend.reg();
        opt_menuflag = c.menu;
        opt_fileflag = c.file;
        Capture cap;
        opt_lineprocess(c.line);
        const auto [out, err] = cap.take();
        EXPECT_EQ(mend.MaxScan, c.m);
        EXPECT_EQ(mend.EatRec, c.e);
        EXPECT_EQ(opt_menuflag, c.menu_after);
        EXPECT_EQ(err, c.err);
    }
}

TEST_F(OptCommandLine, OptVersionInTheMenuPrintsAndGoesOn)
{
    Mend m;
    m.reg();
    opt_menuflag = 1;
    Capture cap;
    opt_lineprocess("--optVersion");
    EXPECT_EQ(cap.take().first, "OPT Version 3.19\n");
}

TEST_F(OptCommandLine, MenuRequestsWhenTheMenuIsDisabled)
{
    Mend m;
    m.reg();
    optDisableMenu();
    Argv a({"avfmend", "--menu", "-m", "3", "$", "-e", "2"});
    Capture cap;
    opt(&a.argc, &a.argv);
    EXPECT_EQ(cap.take().second, "OPT Warning: menu not available for this application\n"
                                 "OPT Warning: menu not available for this application\n");
    EXPECT_EQ(m.MaxScan, 3);
    EXPECT_EQ(m.EatRec, 2);
}

TEST_F(OptCommandLine, HelpOnTheCommandLineTakesTheNextWordAsItsSubject)
{
    Mend m;
    m.reg();
    Argv a({"avfmend", "?", "-i", "in.avf"});
    Capture cap;
    opt(&a.argc, &a.argv);
    EXPECT_EQ(cap.take().first, "Help unavailable for: [-i]\n");
    EXPECT_EQ(m.in(), "(null)");
    EXPECT_EQ(a.current(), (Words{"avfmend", "in.avf"}));
}

}  // namespace
