// Runs of the program's function through '=' and optBeginMain/optBeginRun: arguments, results,
// aborted runs and interrupts, after which the caller goes on.
#include "opt_test_support.h"

#include <csignal>
#include <cstdio>
#include <string>

#include <unistd.h>

using opttest::Capture;
using opttest::Mend;
using opttest::OptTest;

namespace {

using OptRun = OptTest;

const char *const interrupted = "\nOPT Interrupted:\nOPT: Run aborted...try again\n";

int print_arguments(int argc, char **argv)
{
    std::printf("main argc=%d", argc);
    for (int i = 0; i < argc; ++i)
        std::printf(" [%s]", argv[i]);
    std::printf(" running=%d\n", opt_jump_set);
    return 0;
}

// Interrupts the process that started the run, the way a terminal's interrupt key reaches it,
// then waits: only the interrupt can end this run.
int interrupt_caller(int, char **)
{
    std::printf("started\n");
    std::fflush(stdout);
    ::kill(::getppid(), SIGINT);
    for (;;)
        ::pause();
}

// The interrupt reaches the run itself.
int interrupt_self()
{
    std::printf("started\n");
    std::fflush(stdout);
    ::raise(SIGINT);
    return 0;
}

int abort_main(int, char **)
{
    optAbortMain();
    std::printf("not reached\n");
    return 0;
}

TEST_F(OptRun, RunFromAnOptionsLineGetsTheWordsFromTheRunCommandOn)
{
    Mend m;
    m.reg();
    optMain(print_arguments);
    opt_fileflag = 1;
    Capture cap;
    opt_lineprocess("-m 3 = a \"b c\"");
    const auto [out, err] = cap.take();
    EXPECT_EQ(out, "main argc=3 [=] [a] [b c] running=1\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(m.MaxScan, 3);
    EXPECT_EQ(opt_jump_set, 0);
}

TEST_F(OptRun, RunFunctionIsUsedWhenNoMainFunctionIsSet)
{
    Mend m;
    m.reg();
    optRun([] {
        std::printf("run\n");
        return 0;
    });
    opt_menuflag = 1;
    Capture cap;
    opt_lineprocess("= -m 4");  // the rest of the line is processed after the run
    EXPECT_EQ(cap.take().first, "run\n");
    EXPECT_EQ(m.MaxScan, 4);
    EXPECT_EQ(opt_menuflag, 1);
}

TEST_F(OptRun, ResultsPassThrough)
{
    EXPECT_EQ(optBeginMain([](int argc, char **) { return argc * 10; }, 7, nullptr), 70);
    EXPECT_EQ(optBeginRun([] { return -1; }), -1);
    EXPECT_EQ(optBeginRun([] { return 255 + 1000; }), 1255);
}

TEST_F(OptRun, AbortedRunCountsAsResultOne)
{
    Capture cap;
    EXPECT_EQ(optBeginMain(abort_main, 0, nullptr), 1);
    EXPECT_EQ(cap.take().first, "OPT: Run aborted...try again\n");
}

TEST_F(OptRun, InterruptedRunFromAnOptionsLineEndsAndTheCallerGoesOn)
{
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    Mend m;
    m.reg();
    optMain(interrupt_caller);
    opt_fileflag = 1;
    Capture cap;
    EXPECT_EQ(opt_lineprocess("= a b"), 3);
    EXPECT_EQ(opt_lineprocess("-m 9"), 2);  // the caller goes on
    const auto [out, err] = cap.take();
    EXPECT_EQ(out, std::string("started\n") + interrupted);
    EXPECT_EQ(err, "");
    EXPECT_EQ(m.MaxScan, 9);
    EXPECT_EQ(opt_jump_set, 0);
    struct sigaction after {};
    sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);  // the previous handler is back
}

TEST_F(OptRun, InterruptReachingTheRunItselfGivesResultOne)
{
    Capture cap;
    EXPECT_EQ(optBeginRun(interrupt_self), 1);
    EXPECT_EQ(cap.take().first, std::string("started\n") + interrupted);
    EXPECT_EQ(optBeginRun([] { return 5; }), 5);  // a later run is unaffected
}

}  // namespace
