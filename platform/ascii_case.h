#pragma once
// ASCII case folding, the one rule every layer uses: only A-Z fold, so that a name with
// letters beyond ASCII matches byte for byte, whatever the locale. Setting names, section
// and key names and process image names are all compared this way.

#include <string>
#include <string_view>

namespace tovanik {

constexpr char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string asciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = asciiLower(c);
  return lower;
}

constexpr bool equalAsciiCaseless(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

}  // namespace tovanik
