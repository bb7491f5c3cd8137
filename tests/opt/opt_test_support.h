// Shared helpers of the option library tests: a fixture that resets the process-wide registry,
// output capture of the standard streams, the two tools' registrations, argument vectors, and a
// runner for the child-process test program.
#pragma once

#include "opt/opt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace opttest {

inline std::string slurp(FILE *f)
{
    std::string s;
    std::rewind(f);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

// Redirects standard output and standard error (the file descriptors, so that child processes
// of a run are captured too) until take() or destruction.
class Capture {
public:
    Capture()
    {
        std::fflush(nullptr);
        for (int k = 0; k < 2; ++k) {
            files_[k] = std::tmpfile();
            saved_[k] = ::dup(k + 1);
            ::dup2(::fileno(files_[k]), k + 1);
        }
    }
    ~Capture() { restore(); }
    Capture(const Capture &) = delete;
    Capture &operator=(const Capture &) = delete;

    // Stops capturing; returns {stdout, stderr}.
    std::pair<std::string, std::string> take()
    {
        restore();
        return {out_, err_};
    }

private:
    void restore()
    {
        if (saved_[0] < 0)
            return;
        std::fflush(nullptr);
        for (int k = 0; k < 2; ++k) {
            ::dup2(saved_[k], k + 1);
            ::close(saved_[k]);
            saved_[k] = -1;
        }
        out_ = slurp(files_[0]);
        err_ = slurp(files_[1]);
        std::fclose(files_[0]);
        std::fclose(files_[1]);
    }
    FILE *files_[2] = {};
    int saved_[2] = {-1, -1};
    std::string out_, err_;
};

// Every test starts and ends with an empty registry and default settings.
class OptTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        opt_free();
        opt_array_delim = ',';
        opt_exit_number = 0;
        opt_program_name = nullptr;
        optMain(nullptr);
        optRun(nullptr);
        optQuit(nullptr);
        optAdditionalUsage(nullptr);
        opt_menu_enabled = 1;
        opt_menuflag = 0;
        opt_fileflag = 0;
    }
};

// The repair tool's settings and registrations.
struct Mend {
    char *AvfFile = nullptr;
    int MaxScan = 64, EatRec = 0, Verbose = 0;
    void reg()
    {
        optrega(&AvfFile, OPT_STRING, 'i', "in", "Input AVF File");
        optrega(&MaxScan, OPT_INT, 'm', "maxscans", "Max no of scans");
        optrega(&EatRec, OPT_INT, 'e', "eat", "Records to eat");
        optrega(&Verbose, OPT_INT, 'v', "verbose", "verbose");
    }
    std::string in() const { return AvfFile ? AvfFile : "(null)"; }
};

// The merge tool's settings and registration.
struct Merge {
    int NFiles = 0;
    char **AvfFile = nullptr;
    void reg() { optrega_array(&NFiles, &AvfFile, OPT_STRING, 'i', "in", "Input AVF Files"); }
    std::vector<std::string> files() const
    {
        std::vector<std::string> v;
        for (int i = 0; i < NFiles; ++i)
            v.emplace_back(AvfFile[i]);
        return v;
    }
};

// A writable argument vector, as a program receives it.
class Argv {
public:
    Argv(std::initializer_list<std::string> words) : words_(words)
    {
        for (auto &w : words_)
            ptrs_.push_back(w.data());
        ptrs_.push_back(nullptr);
        argc = static_cast<int>(words_.size());
        argv = ptrs_.data();
    }
    ~Argv()
    {
        if (argv != ptrs_.data())
            std::free(argv);  // the vector opt handed back
    }
    Argv(const Argv &) = delete;
    Argv &operator=(const Argv &) = delete;

    std::vector<std::string> current() const
    {
        std::vector<std::string> v;
        for (int i = 0; i < argc; ++i)
            v.emplace_back(argv[i]);
        return v;
    }

    int argc;
    char **argv;

private:
    std::vector<std::string> words_;
    std::vector<char *> ptrs_;
};

struct ProbeResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out, err;
};

struct RunOptions {
    std::string input;             // the whole of standard input (then its end)
    std::string cwd;               // working directory; empty: the test's own
    std::vector<std::string> env;  // NAME=value additions
};

// Runs `path` as a child process with argv[0] `argv0` and the given arguments; standard output
// and standard error are captured apart.
inline ProbeResult run_program(const std::string &path, const std::string &argv0,
                               const std::vector<std::string> &args, const RunOptions &opts = {})
{
    ProbeResult r;
    int in[2];
    if (::pipe(in) != 0 || opts.input.size() > 60000) {  // written whole before the child starts
        ADD_FAILURE() << "cannot prepare standard input";
        return r;
    }
    for (std::size_t done = 0; done < opts.input.size();) {
        const ssize_t w = ::write(in[1], opts.input.data() + done, opts.input.size() - done);
        if (w <= 0)
            break;
        done += static_cast<std::size_t>(w);
    }
    ::close(in[1]);
    FILE *out = std::tmpfile(), *err = std::tmpfile();
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(::fileno(out), 1);
        ::dup2(::fileno(err), 2);
        if (!opts.cwd.empty() && ::chdir(opts.cwd.c_str()) != 0)
            ::_exit(126);
        for (const auto &e : opts.env)
            ::putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> v;
        v.push_back(const_cast<char *>(argv0.c_str()));
        for (const auto &a : args)
            v.push_back(const_cast<char *>(a.c_str()));
        v.push_back(nullptr);
        ::execv(path.c_str(), v.data());
        ::_exit(127);
    }
    ::close(in[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    std::fclose(out);
    std::fclose(err);
    return r;
}

// Runs the child-process test program with the given arguments, environment additions and
// standard input (empty by default: a menu meets the end of input at once).
inline ProbeResult run_probe(const std::vector<std::string> &args,
                             const std::vector<std::string> &env = {},
                             const std::string &input = "", const std::string &cwd = "")
{
    return run_program(OPT_PROBE_PATH, OPT_PROBE_PATH, args, {input, cwd, env});
}

// A fresh directory, removed with its contents at the end of the scope.
class TempDir {
public:
    TempDir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "opt_test_XXXXXX").string();
        if (::mkdtemp(templ.data()))
            path_ = templ;
        else
            ADD_FAILURE() << "cannot make a temporary directory";
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string read_file(const std::string &name)
{
    std::string s;
    if (FILE *f = std::fopen(name.c_str(), "rb")) {
        s = slurp(f);
        std::fclose(f);
    }
    return s;
}

inline void write_file(const std::string &name, const std::string &text)
{
    FILE *f = std::fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr) << name;
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
    ASSERT_EQ(std::fclose(f), 0);
}

inline bool file_exists(const std::string &name) { return std::filesystem::exists(name); }

}  // namespace opttest
