// Exits performed by the library, observed on a child test program: reserved long names,
// the quit procedure, hook and run results, and fatal errors with their exit status.
#include "opt_test_support.h"

#include <string>
#include <vector>

using opttest::run_probe;

namespace {

const std::string mend_tool_ran_prefix = "tool ran:";

TEST(OptExit, ReservedNamesEndTheProgramWithoutRunningTheTool)
{
    for (const char *word : {"--help", "--xml-opt-interface", "--optVersion"}) {
        SCOPED_TRACE(word);
        const auto r = run_probe({"mend", "avfmend", "-m", "5", word, "-e", "3"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.find(mend_tool_ran_prefix), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("quit fn"), std::string::npos);  // outside a run: the quit procedure
    }
}

TEST(OptExit, OptVersionPrintsTheLibraryVersion)
{
    const auto r = run_probe({"mend", "avfmend", "--optVersion"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "OPT Version 3.19\nquit fn\n");
    EXPECT_EQ(r.err, "");
}

TEST(OptExit, VersionIsReservedOnlyWhenTheProgramSetsOne)
{
    const auto set = run_probe({"mend", "avfmend", "--version"}, {"OPT_PROBE_VERSION=2.0"});
    EXPECT_EQ(set.status, 0);
    EXPECT_EQ(set.out, "\"Cleans\" up format errors AVF Files\n: Version 2.0\nquit fn\n");

    const auto unset = run_probe({"mend", "avfmend", "--version", "-m", "5"});
    EXPECT_EQ(unset.status, 0);
    EXPECT_EQ(unset.err, "OPT Warning: version not a registered option name\n\n");
    EXPECT_EQ(unset.out, "in=[(null)] m=5 e=0 v=0\ntool ran: argc=1 [avfmend]\n");
}

TEST(OptExit, ToolRunsWithTheOptionsGiven)
{
    const auto r = run_probe({"mend", "/usr/local/bin/avfmend.exe", "-i", "in.avf", "-m", "5",
                              "-e", "2", "-v", "1", "?"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "\t- Options delimiter   \n"
              "\t? Help                \n"
              "\t= Run program and return to menu\n"
              "\t! Shell to Operating System\n"
              "\t$ Invoke menu         \n"
              "\t+ Additional options  \n"
              "\t@<filename> Get options from file [avfmend.opt]\n"
              "\t@@ Get options from file [avfmend.opt]\n"
              "\t%<filename> Put options in file \n"
              "\t%% Put options in file [avfmend.opt]\n"
              "\t. Quit                \n"
              "in=[in.avf] m=5 e=2 v=1\ntool ran: argc=1 [/usr/local/bin/avfmend]\n");

    const auto merge = run_probe({"merge", "avfmerge", "-i", "a.avf,b.avf", "c.avf"});
    EXPECT_EQ(merge.out, "files=2 [a.avf] [b.avf]\ntool ran: argc=2 [avfmerge] [c.avf]\n");
}

TEST(OptExit, ProcessingGoesOnAfterTheMenuEnds)
{
    // "--menu" steps past its own word first; '$' goes on with the next word. Each menu is
    // left with a '$' typed at its prompt.
    const auto r =
        run_probe({"mend", "avfmend", "--menu", "-m", "3", "$", "-e", "2"}, {}, "$\n$\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("-> in=[(null)] m=3 e=2 v=0\ntool ran: argc=1 [avfmend]\n"))
        << r.out;
}

TEST(OptExit, WritingAnOptionsFileFromTheCommandLineQuits)
{
    opttest::TempDir dir;
    const auto r = run_probe({"mend", "avfmend", "-i", "in.avf", "%%", "-m", "3"}, {}, "",
                             dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "quit fn\n");
    EXPECT_TRUE(opttest::file_exists(dir.file("avfmend.opt")));
}

TEST(OptExit, HookResultsDecideWhetherTheProgramEnds)
{
    struct Case {
        const char *result;
        int status;
        const char *out;
    } cases[] = {
        {"0", 0, "after\n"},
        {"1", 0, "after\n"},
        {"2", 3, ""},  // immediate exit outside the menu
        {"3", 3, "quit fn\n"},
        {"4", 3, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.result);
        const auto r = run_probe({"hook", c.result});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(OptExit, RunResultsDecideWhetherTheProgramEnds)
{
    struct Case {
        const char *scenario, *result;
        int status;
        const char *out;
    } cases[] = {
        {"run", "0", 0, "main ran\nafter\n"},
        {"run", "-1", 0, "main ran\nafter\n"},
        {"run", "2", 3, "main ran\nquit fn\n"},
        {"run", "3", 3, "main ran\nquit fn\n"},
        {"run", "4", 3, "main ran\n"},
        // The run ends the process itself: so does the program that started it.
        {"runexit", "5", 5, "main ran\n"},
        {"menuquit", "0", 3, "quit fn\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.scenario) + " " + c.result);
        const auto r = run_probe({c.scenario, c.result});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(OptExit, FatalErrorsPrintTheirTextAndExitWithTheExitNumber)
{
    struct Case {
        const char *which;
        int status;
        const char *err;
    } cases[] = {
        {"null", 0,
         "OPT Warning: Name: -x\nOPT Warning: Name: --xx\n"
         "OPT Fatal error: optrega: invalid first argument=NULL\n"},
        {"blank", 0, "OPT Fatal error: invalid longname [max scans] contains whitespace\n"},
        {"sizeof", 0, "OPT Fatal error: optsizeof: Undefined o-type"},
        {"setvalue", 0, "OPT Fatal error: Invalid type"},
        {"getstrval", 0, "OPT Fatal error: opt_getstrval: Undefined o-type"},
        {"strtyp", 0, "OPT Fatal error: usage: undefined o-type"},
        {"level", 0, "OPT Fatal error: Invalid (negative) value [v=-1] for OPT_INTLEVEL"},
        {"action", 0, "OPT Fatal error: opt_delim: don't know this type"},
        {"arraytype", 0, "OPT Fatal error: opt_getstrval: Undefined o-type"},
        {"exitnumber", 7, "OPT Fatal error: optrega: invalid first argument=NULL\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.which);
        const auto r = run_probe({"fatal", c.which});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
