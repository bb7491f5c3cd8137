// Messages, library-owned blocks, protected runs, aborting and quitting, program names.
#include "opt/opt.h"
#include "opt/opt_lib.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// ---------------------------------------------------------------- library-owned blocks

namespace {

struct FreeDeleter {
    void operator()(void *p) const noexcept { std::free(p); }
};
using Block = std::unique_ptr<void, FreeDeleter>;

std::unordered_map<const void *, Block> &pool()
{
    static std::unordered_map<const void *, Block> blocks;
    return blocks;
}

void *remember(void *p)
{
    if (!p)
        opt_fatal("out of memory\n");
    pool().emplace(p, Block(p));
    return p;
}

}  // namespace

namespace optlib {

char *pool_strdup(const char *s)
{
    if (!s)
        return nullptr;
    const std::size_t n = std::strlen(s) + 1;
    auto *p = static_cast<char *>(remember(std::malloc(n)));
    std::memcpy(p, s, n);
    return p;
}

void *pool_alloc(std::size_t bytes)
{
    return remember(std::calloc(bytes ? bytes : 1, 1));
}

bool pool_release(const void *p)
{
    if (!p)
        return false;
    return pool().erase(p) > 0;
}

void warningf(const char *fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    opt_warning(buf);
}

void fatalf(const char *fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    opt_fatal(buf);
}

}  // namespace optlib

// ---------------------------------------------------------------- messages

void opt_message(const char *s)
{
    if (s)
        std::fputs(s, stdout);
}

void opt_warning(const char *s)
{
    std::fputs("OPT Warning: ", stderr);
    if (s)
        std::fputs(s, stderr);
    std::fputc('\n', stderr);
}

void opt_fatal(const char *s)
{
    std::fputs("OPT Fatal error: ", stderr);
    if (s)
        std::fputs(s, stderr);
    std::exit(opt_exit_number);
}

// ---------------------------------------------------------------- runs
//
// A run executes the program's function in a forked child process while the caller waits.
// An interrupt ends the child at once (the handler only records the interrupt and kills the
// child, both async-signal-safe), and the caller carries on with result 1: no frame of the
// program is ever abandoned by a non-local jump. The child reports its result, or an abort
// requested with optAbortRun/optAbortMain, through a pipe. A child that ends the process
// itself (exit, a fatal error, the quit procedure) ends the caller with the same status, and
// one killed by another signal ends it by that signal, as the run would have in-process.
// Effects of the run on the caller's memory are not seen by the caller; files and output are.

namespace {

volatile sig_atomic_t run_interrupted = 0;
volatile sig_atomic_t run_child = -1;  // pid of the child of the run in progress, or -1
int run_report_fd = -1;                // inside a run's child: where the result goes

struct RunReport {
    int aborted;
    int result;
};

[[noreturn]] void child_report(int aborted, int result)
{
    const RunReport rep{aborted, result};
    std::fflush(nullptr);
    const char *p = reinterpret_cast<const char *>(&rep);
    std::size_t left = sizeof rep;
    while (left > 0) {
        const ssize_t w = ::write(run_report_fd, p, left);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    ::_exit(0);
}

// Called once the child has ended: whatever it reported is already in the pipe, so the read
// never waits (a process the run left behind may still hold the pipe open).
bool read_report(int fd, RunReport &rep)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    char *p = reinterpret_cast<char *>(&rep);
    std::size_t got = 0;
    while (got < sizeof rep) {
        const ssize_t r = ::read(fd, p + got, sizeof rep - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return got == sizeof rep;
}

template <class Call>
int protected_run(Call call)
{
    const int outer_jump_set = opt_jump_set;
    std::fflush(nullptr);  // nothing buffered may be written twice

    sigset_t intr, saved_mask;
    sigemptyset(&intr);
    sigaddset(&intr, SIGINT);
    sigprocmask(SIG_BLOCK, &intr, &saved_mask);

    struct sigaction catcher {};
    catcher.sa_handler = catch_signal;
    sigemptyset(&catcher.sa_mask);
    struct sigaction old_catcher {};

    int fds[2];
    pid_t pid = -1;
    if (::pipe(fds) == 0) {
        sigaction(SIGINT, &catcher, &old_catcher);
        run_interrupted = 0;
        run_child = -1;
        opt_jump_set = 1;
        pid = ::fork();
        if (pid < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            sigaction(SIGINT, &old_catcher, nullptr);
        }
    }
    if (pid < 0) {
        // No child can be made: run unprotected (an interrupt then takes its usual course).
        opt_jump_set = outer_jump_set;
        sigprocmask(SIG_SETMASK, &saved_mask, nullptr);
        return call();
    }

    if (pid == 0) {
        ::close(fds[0]);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        sigaction(SIGINT, &dfl, nullptr);
        run_child = -1;
        run_report_fd = fds[1];
        sigprocmask(SIG_SETMASK, &saved_mask, nullptr);
        child_report(0, call());
    }

    ::close(fds[1]);
    run_child = pid;
    sigprocmask(SIG_SETMASK, &saved_mask, nullptr);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    RunReport rep{};
    const bool reported = read_report(fds[0], rep);
    ::close(fds[0]);

    sigprocmask(SIG_BLOCK, &intr, nullptr);
    run_child = -1;
    const bool interrupted =
        run_interrupted || (WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    run_interrupted = 0;
    sigaction(SIGINT, &old_catcher, nullptr);
    opt_jump_set = outer_jump_set;
    sigprocmask(SIG_SETMASK, &saved_mask, nullptr);

    if (interrupted)
        std::fputs("\nOPT Interrupted:\n", stdout);
    if (interrupted || (reported && rep.aborted)) {
        std::fputs("OPT: Run aborted...try again\n", stdout);
        return 1;
    }
    if (reported)
        return rep.result;
    // The run ended the process: so does the caller.
    std::fflush(nullptr);
    if (WIFEXITED(status))
        std::exit(WEXITSTATUS(status));
    const int sig = WIFSIGNALED(status) ? WTERMSIG(status) : SIGABRT;
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);
}

}  // namespace

void catch_signal(int)
{
    run_interrupted = 1;
    if (run_child > 0)
        ::kill(static_cast<pid_t>(run_child), SIGKILL);
}

int optBeginMain(OPT_PFI_ARG fcn, int argc, char **argv)
{
    if (!fcn)
        return 0;
    return protected_run([&] { return fcn(argc, argv); });
}

int optBeginRun(OPT_PFI fcn)
{
    if (!fcn)
        return 0;
    return protected_run([&] { return fcn(); });
}

void optAbortRun()
{
    if (run_report_fd >= 0)
        child_report(1, 1);
    opt_quit();
}

void optAbortMain() { optAbortRun(); }

void opt_quit()
{
    if (opt_quit_fcn)
        opt_quit_fcn();
    opt_free();
    std::exit(opt_exit_number);
}

// ---------------------------------------------------------------- program names

char *short_progname(char *s)
{
    if (!s)
        return nullptr;
    char *name = s;
    for (char *p = s; *p; ++p)
        if (*p == '/' || *p == '\\' || *p == ':')
            name = p + 1;
    const std::size_t n = std::strlen(name);
    if (n > 4 && (std::strcmp(name + n - 4, ".exe") == 0 || std::strcmp(name + n - 4, ".EXE") == 0))
        name[n - 4] = '\0';
    return name;
}
