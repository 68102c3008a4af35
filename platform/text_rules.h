#pragma once
// Small rules on text that every layer applies alike, written once: UTF-8 as the programs
// accept it, and "all ASCII digits".

#include <cstddef>
#include <optional>
#include <string_view>

namespace tovanik {

inline constexpr char32_t kHighSurrogateFirst = 0xD800, kLowSurrogateLast = 0xDFFF;
inline constexpr char32_t kLastCodePoint = 0x10FFFF;

// The code point starting at `at`, moving `at` past it; nullopt for anything but
// shortest-form UTF-8 of a code point that is no surrogate.
inline std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead < 0x80         ? 1
                             : lead >> 5 == 0x6  ? 2
                             : lead >> 4 == 0xE  ? 3
                             : lead >> 3 == 0x1E ? 4
                                                 : 0;
  if (length == 0 || at + length > text.size()) return std::nullopt;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = c << 6 | (next & 0x3F);
  }
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kLeast[length] || c > kLastCodePoint ||
      (c >= kHighSurrogateFirst && c <= kLowSurrogateLast))
    return std::nullopt;
  at += length;
  return c;
}

inline bool isValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();)
    if (!nextUtf8(text, at)) return false;
  return true;
}

// At least one character, every one of them '0' to '9'.
constexpr bool isAllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace tovanik
