// runstat [-o FILE] -- COMMAND ARGS...
// Runs a command (its standard output sent to FILE when given) and prints
// "<wall seconds> <peak resident KiB> <exit status>" on the standard error.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
  const char *out = nullptr;
  int i = 1;
  if (i + 1 < argc && std::strcmp(argv[i], "-o") == 0) {
    out = argv[i + 1];
    i += 2;
  }
  if (i < argc && std::strcmp(argv[i], "--") == 0) ++i;
  if (i >= argc) {
    std::fprintf(stderr, "usage: runstat [-o FILE] -- COMMAND ARGS...\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    if (out) {
      int fd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, 1) < 0) _exit(127);
      close(fd);
    } else {
      int fd = open("/dev/null", O_WRONLY);
      if (fd >= 0) dup2(fd, 1);
    }
    execvp(argv[i], argv + i);
    _exit(127);
  }
  int status = 0;
  struct rusage ru;
  if (wait4(pid, &status, 0, &ru) < 0) return 2;
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "%.3f %ld %d\n", secs, ru.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}
