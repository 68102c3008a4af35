#pragma once
// Draws the design's labels, shapes and lines with GDI, bottom first, at one DPI.

#include <windows.h>

#include "panel/keyboard.h"
#include "panel/layout.h"

namespace tovanik {
class Panel;
}

namespace tovanik::win32 {

class FontBook;

inline COLORREF colorRef(Rgb c) { return RGB(c.r, c.g, c.b); }

// Paints the window's background and every visible label, shape and line of the layout
// with the current state of `panel` into `dc`, which covers the whole client area.
void paintLayout(HDC dc, const Panel& panel, int dpi, FontBook& fonts);

// The keyboard's focus mark over the layout: a frame one pixel wide at any DPI.
void paintFocusMark(HDC dc, const FocusMark& mark, int dpi);

}  // namespace tovanik::win32
