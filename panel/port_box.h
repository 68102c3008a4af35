#pragma once
// The port box as both windows' edit boxes hold it: when its font is fitted anew, and its
// selection, which the Panel counts in UTF-8 bytes and the edit boxes in UTF-16 units.
// Each window fits the font with its own toolkit (panel/caption_fit.h's policy).

#include <optional>
#include <string>
#include <string_view>

namespace tovanik {

// Five digits: the widest port, so that any port shows whole and the font does not change
// with each digit typed.
inline constexpr std::string_view kPortFitSample = "00000";

class PortBoxFont {
 public:
  // The text to fit the font to for the box's text `portText`: the text, or the sample
  // when shorter; nullopt when the font last fitted was fitted to it already.
  std::optional<std::string> refitFor(std::string_view portText);
  // The text the font is fitted to for `portText`: itself, or the sample when shorter.
  static std::string_view fitText(std::string_view portText);
  // The fonts were made anew (another DPI): the next refitFor fits again.
  void forget() { fitted_.reset(); }

 private:
  std::optional<std::string> fitted_;
};

// The UTF-16 units the first `bytes` bytes of the UTF-8 text take.
int utf16Units(std::string_view utf8, int bytes);
// The bytes of the UTF-8 text that its first `units` UTF-16 units take.
int utf8Bytes(std::string_view utf8, int units);

}  // namespace tovanik
