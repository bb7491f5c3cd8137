// Line-by-line reading of header text that is bounded by a length, not by a
// terminator: header records are handed over as read from the file.
#ifndef AVF_TEXTLINES_H
#define AVF_TEXTLINES_H

#include <cstddef>
#include <cstring>
#include <string_view>

namespace avf_text {

inline constexpr std::string_view END_OF_HEADER = "END_OF_HEADER";

inline bool begins_with(std::string_view line, std::string_view text) {
  return line.size() >= text.size() && line.compare(0, text.size(), text) == 0;
}

// Walks the lines of a text. A line begins after a newline, so the first
// line of the text is never returned.
class LineCursor {
public:
  LineCursor(const char *buf, std::size_t len) : text_(buf ? buf : "", buf ? len : 0) {
    std::size_t nl = text_.find('\n');
    pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
  }
  bool next(std::string_view &line) {
    if (pos_ >= text_.size()) return false;
    std::size_t nl = text_.find('\n', pos_);
    std::size_t end = nl == std::string_view::npos ? text_.size() : nl;
    line = text_.substr(pos_, end - pos_);
    pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
    return true;
  }

private:
  std::string_view text_;
  std::size_t pos_;
};

// A NUL-terminated copy of (the start of) one line, for the scanf family.
template <std::size_t N = 256> struct LineCopy {
  char text[N];
  explicit LineCopy(std::string_view line, std::size_t from = 0) {
    std::size_t n = 0;
    if (from < line.size()) {
      n = line.size() - from < N - 1 ? line.size() - from : N - 1;
      std::memcpy(text, line.data() + from, n);
    }
    text[n] = '\0';
  }
};

} // namespace avf_text

#endif
