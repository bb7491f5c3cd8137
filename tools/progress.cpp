#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace toolio {

namespace {
constexpr auto REFRESH = std::chrono::milliseconds(250);
constexpr double GIB = 1024.0 * 1024.0 * 1024.0;
} // namespace

Progress::Progress(const char *what, long long total)
    : what_(what), total_(total), enabled_(total >= LARGE && isatty(fileno(stderr)) == 1),
      start_(std::chrono::steady_clock::now()), next_(start_) {}

void Progress::draw(long long done) {
  const auto now = std::chrono::steady_clock::now();
  const double secs = std::chrono::duration<double>(now - start_).count();
  const double rate = secs > 0 ? static_cast<double>(done) / secs / (1024.0 * 1024.0) : 0.0;
  const int pct = total_ > 0 ? static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total_)) : 0;
  std::fprintf(stderr, "\r%s: %.2f of %.2f GiB (%d%%), %.0f MiB/s\033[K", what_, static_cast<double>(done) / GIB,
               static_cast<double>(total_) / GIB, pct > 100 ? 100 : pct, rate);
  std::fflush(stderr);
  shown_ = true;
  next_ = now + REFRESH;
}

void Progress::clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

} // namespace toolio
