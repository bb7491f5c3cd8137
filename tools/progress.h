// A progress line for long runs, on the standard error stream when that is a
// terminal: how much is done and at what rate, redrawn at most four times a
// second and erased at the end. Where the standard error is not a terminal,
// or the input is small, nothing is ever written.
#ifndef AVF_PROGRESS_H
#define AVF_PROGRESS_H

#include <chrono>

namespace toolio {

class Progress {
public:
  // `what` names the program; `total` is the number of input bytes.
  Progress(const char *what, long long total);
  ~Progress() { clear(); }
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;

  // `done` input bytes have been handled.
  void update(long long done) {
    if (enabled_ && std::chrono::steady_clock::now() >= next_) draw(done);
  }
  // Erases the line, so that other output starts on a clean line.
  void clear();

  static constexpr long long LARGE = 64LL << 20; // inputs from this size on

private:
  void draw(long long done);
  const char *what_;
  long long total_;
  bool enabled_ = false, shown_ = false;
  std::chrono::steady_clock::time_point start_, next_;
};

} // namespace toolio

#endif
