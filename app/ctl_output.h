#pragma once
// Where tovanikctl's commands print: UTF-8 text, with the few insertions they use (text,
// a character, whole numbers). Not a std::ostream: a stream brings the C++ library's
// locale machinery into the program (under mingw-w64 about 0.7 MiB of code and tables,
// loaded at every run), and the commands print nothing a locale would change.

#include <charconv>
#include <concepts>
#include <string_view>

namespace tovanik::ctl {

class Output {
 public:
  virtual ~Output() = default;
  virtual void write(std::string_view text) = 0;
  // Hands on what was written so far: a follower's lines appear as they come.
  virtual void flush() {}

  Output& operator<<(std::string_view text) {
    write(text);
    return *this;
  }
  Output& operator<<(const char* text) { return *this << std::string_view(text); }
  Output& operator<<(char c) { return *this << std::string_view(&c, 1); }
  // In decimal, as a stream without a locale prints them.
  template <std::integral Number>
    requires(!std::same_as<Number, char> && !std::same_as<Number, bool>)
  Output& operator<<(Number number) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
  }
};

}  // namespace tovanik::ctl
