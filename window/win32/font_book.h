#pragma once
// The design's fonts as GDI fonts at one DPI. Each design family has a chain of stand-ins
// (the same as the Linux build's, then what every Windows and Wine has), and a caption
// that does not fit its label in the first available family is drawn narrower or in the
// next one (caption_fit.h), so none is ever clipped.

#include <windows.h>

#include <map>
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

  // The font to draw `caption` in, within `boxWidth` pixels. Selects fonts into `dc` to
  // measure; the caller selects the result.
  HFONT captionFont(HDC dc, FontId id, bool underline, std::wstring_view caption, int boxWidth);

  // The i-th family present on this system for the design font, in order of
  // preference; nullptr past the last. Looks no further down the chain than asked, so a
  // caption that fits its first family (the usual case, and the first frame's) never has
  // the others looked up.
  const std::wstring* family(FontId id, std::size_t i);

 private:
  struct Chain {
    std::vector<std::wstring_view> unchecked;  // stand-ins not yet looked up, in order
    std::vector<std::wstring> present;
    bool fallback = false;  // none present: the mapper's own choice for the first
  };
  // family index, average character width (0: natural), underline
  HFONT make(FontId id, std::size_t family, int width, bool underline);
  int measure(HDC dc, HFONT font, std::wstring_view text, int* averageWidth = nullptr);

  int dpi_;
  std::map<FontId, Chain> chains_;
  std::map<std::tuple<FontId, std::size_t, int, bool>, HFONT> fonts_;
  // Caption choices already made: (font, underline, caption, box) to the font.
  std::map<std::tuple<FontId, bool, std::wstring, int>, HFONT> fitted_;
};

}  // namespace tovanik::win32
