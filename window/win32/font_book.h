#pragma once
// The design's fonts as GDI fonts at one DPI. Each design family has a chain of stand-ins
// (panel/font_chain.h, the same as the Linux build's), and a caption that does not fit its
// label in the first available family is drawn narrower or in the next one
// (panel/caption_fit.h), so none is ever clipped.

#include <windows.h>

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "panel/layout.h"

namespace tovanik::win32 {

class FontBook {
 public:
  explicit FontBook(int dpi);
  ~FontBook();
  FontBook(const FontBook&) = delete;
  FontBook& operator=(const FontBook&) = delete;

  // Drops every font made for the previous DPI; the window has moved to another monitor.
  void setDpi(int dpi);

  // The design's font at its natural width, in the first family present.
  HFONT font(FontId id);

  // The fonts to draw a set of captions of one design font in, each within its box's
  // width in pixels, from one family when every caption fits it. Selects fonts into `dc`
  // to measure; the caller selects the results.
  struct SizedCaption {
    std::wstring text;
    int boxWidth;
    bool underline = false;  // drawn underlined; measured and fitted as the others
    auto operator<=>(const SizedCaption&) const = default;
  };
  std::vector<HFONT> captionFonts(HDC dc, FontId id, std::span<const SizedCaption> captions);
  // A set of one.
  HFONT captionFont(HDC dc, FontId id, bool underline, std::wstring_view caption, int boxWidth);

  // The i-th family present on this system for the design font, in order of
  // preference; nullptr past the last. Looks no further down the chain than asked, so a
  // caption that fits its first family (the usual case, and the first frame's) never has
  // the others looked up.
  const std::wstring* family(FontId id, std::size_t i);

 private:
  struct Chain {
    std::vector<std::wstring> unchecked;  // stand-ins not yet looked up, in order
    std::vector<std::wstring> present;
    bool fallback = false;  // none present: the mapper's own choice for the first
  };
  // family index, average character width (0: natural), underline
  HFONT make(FontId id, std::size_t family, int width, bool underline);
  int measure(HDC dc, HFONT font, std::wstring_view text, int* averageWidth = nullptr);

  int dpi_;
  std::map<FontId, Chain> chains_;
  std::map<std::tuple<FontId, std::size_t, int, bool>, HFONT> fonts_;
  // Choices already made: (font, captions with their boxes) to the fonts.
  using SetKey = std::tuple<FontId, std::vector<SizedCaption>>;
  std::map<SetKey, std::vector<HFONT>> fittedSets_;
};

}  // namespace tovanik::win32
