// Test program for the option library's exits: each scenario registers options like the two
// tools (or provokes one fatal error) and prints what it sees, so that a test can check the
// output and exit status of a process the library ends.
//
//   opt_probe mend  <argv0> [words...]   the repair tool's registrations, then opt
//   opt_probe merge <argv0> [words...]   the merge tool's registration, then opt
//   opt_probe fatal <case>               one fatal error
//   opt_probe hook  <result>             a command option whose hook returns <result>
//   opt_probe run   <result>             '=' on an options line; the main function returns <result>
//   opt_probe runexit <status>           '=' on an options line; the main function exits
//   opt_probe menuquit                   '.' on a menu line
//   opt_probe many <n> <argv0> [words...] n integer options named only --opt00, --opt01, ...
#include "opt/opt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

char *AvfFile = nullptr;
int MaxScan = 64, EatRec = 0, Verbose = 0;
int NFiles = 0;
char **AvfFiles = nullptr;
int run_result = 0;

int tool(int argc, char **argv)
{
    std::printf("tool ran: argc=%d", argc);
    for (int i = 0; i < argc; ++i)
        std::printf(" [%s]", argv[i]);
    std::printf("\n");
    return 0;
}

int quit_fcn()
{
    std::printf("quit fn\n");
    return 0;
}

int hook(void *) { return run_result; }

int returning_main(int, char **)
{
    std::printf("main ran\n");
    return run_result;
}

int exiting_main(int, char **)
{
    std::printf("main ran\n");
    std::fflush(stdout);
    std::exit(run_result);
}

int command_line(int argc, char **argv, bool merge)
{
    if (merge) {
        optrega_array(&NFiles, &AvfFiles, OPT_STRING, 'i', "in", "Input AVF Files");
        optTitle("Combines AVF files\n");
    } else {
        optrega(&AvfFile, OPT_STRING, 'i', "in", "Input AVF File");
        optrega(&MaxScan, OPT_INT, 'm', "maxscans", "Max no of scans");
        optrega(&EatRec, OPT_INT, 'e', "eat", "Records to eat");
        optrega(&Verbose, OPT_INT, 'v', "verbose", "verbose");
        optTitle("\"Cleans\" up format errors AVF Files\n");
    }
    if (std::getenv("OPT_PROBE_VERSION"))
        optVersion(std::getenv("OPT_PROBE_VERSION"));
    optUsage("Usage: probe\n");
    optMain(tool);
    optQuit(quit_fcn);
    opt(&argc, &argv);
    if (merge) {
        std::printf("files=%d", NFiles);
        for (int i = 0; i < NFiles; ++i)
            std::printf(" [%s]", AvfFiles[i]);
        std::printf("\n");
    } else {
        std::printf("in=[%s] m=%d e=%d v=%d\n", AvfFile ? AvfFile : "(null)", MaxScan, EatRec,
                    Verbose);
    }
    return tool(argc, argv);
}

int many_options(int n, int argc, char **argv)
{
    static int values[100];
    static char names[100][8];
    for (int i = 0; i < n && i < 100; ++i) {
        std::snprintf(names[i], sizeof names[i], "opt%02d", i);
        optrega(&values[i], OPT_INT, '\0', names[i], "d");
    }
    optMain(tool);
    optQuit(quit_fcn);
    opt(&argc, &argv);
    return tool(argc, argv);
}

int fatal(const std::string &which)
{
    int i = 0, n = 0, level = -1;
    int *array = nullptr;
    if (which == "null")
        optrega(nullptr, OPT_INT, 'x', "xx", "d");
    else if (which == "blank")
        optrega(&i, OPT_INT, 'b', "max scans", "d");
    else if (which == "sizeof")
        optsizeof(OPT_UNDELIM);
    else if (which == "setvalue")
        opt_setvalue(&i, OPT_BOOL, "1");
    else if (which == "getstrval")
        opt_getstrval(&i, static_cast<opt_TYPE>(25));
    else if (which == "strtyp") {
        optrega(&i, OPT_INT, 'a', "a", "d");
        optlist[0].type = static_cast<opt_TYPE>(30);
        optstrtyp(0);
    } else if (which == "level")
        opt_getstrval(&level, OPT_INTLEVEL);
    else if (which == "action") {
        optrega(&i, OPT_INT, 'a', "a", "d");
        optlist[0].type = OPT_UNDELIM;
        opt_lineprocess("-a 1");
    } else if (which == "arraytype")
        optrega_array(&n, &array, static_cast<opt_TYPE>(20), 'a', "a", "d");
    else if (which == "exitnumber") {
        optExitNumber(7);
        optrega(nullptr, OPT_INT, '\0', nullptr, nullptr);
    }
    std::printf("no fatal error\n");
    return 99;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 99;
    const std::string scenario = argv[1];
    if (scenario == "mend" || scenario == "merge")
        return argc < 3 ? 99 : command_line(argc - 2, argv + 2, scenario == "merge");
    if (argc < 3)
        return 99;
    const std::string arg = argv[2];
    if (scenario == "many")
        return argc < 4 ? 99 : many_options(std::atoi(arg.c_str()), argc - 3, argv + 3);
    if (scenario == "fatal")
        return fatal(arg);
    run_result = std::atoi(arg.c_str());
    optQuit(quit_fcn);
    optExitNumber(3);
    if (scenario == "hook") {
        optexec("cmd", hook, "a command");
        opt_lineprocess("--cmd");
    } else if (scenario == "run" || scenario == "runexit") {
        optMain(scenario == "run" ? returning_main : exiting_main);
        opt_fileflag = 1;
        opt_lineprocess("= a b");
    } else if (scenario == "menuquit") {
        opt_menuflag = 1;
        opt_lineprocess(". -x");
    }
    std::printf("after\n");
    return 0;
}
