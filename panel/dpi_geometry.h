#pragma once
// The design's twips as pixels on a screen of a given DPI, for both windows. The window,
// its controls, its fonts and its rounded outline all scale from these, so the panel keeps
// its look, crisp, at any scale. A window that counts in the design's own pixels (Qt,
// which scales by itself) uses kBaseDpi.

#include "panel/layout.h"

namespace tovanik {

inline constexpr int kBaseDpi = 96;  // the design's pixels are pixels at 96 DPI
inline constexpr int kTwipsPerInch = 1440;

// Twips to device pixels, to the nearest pixel (halves away from zero, as MulDiv).
int devicePixels(int twips, int dpi);

// A size in design pixels (a line width, a corner) at `dpi`, at least 1.
int scaledPixels(int designPixels, int dpi);

// A font's character height in pixels for its size in points.
int fontPixelHeight(double points, int dpi);

// The window's outer size and its rounded outline at `dpi`: CreateRoundRectRgn(0, 0,
// regionRight, regionBottom, corner, corner). The outline follows outlineExtent with the
// monitor's twips per pixel (1440 / dpi), so its right and bottom edges lie one pixel
// inside the window.
struct WindowShape {
  int width, height;
  int regionRight, regionBottom;
  int corner;  // the corners' ellipse: the outline's diameter, 20 pixels at 96 DPI
};
WindowShape windowShape(int dpi);

// A control's rectangle (or a line's end points) in device pixels: left, top, right,
// bottom (right and bottom exclusive); for lines x1, y1, x2, y2.
struct PixelBox {
  int left, top, right, bottom;
};
PixelBox deviceBox(const ControlDesign& s, int dpi);

// A point in the window's client area, in pixels (fractional where the toolkit scales), as
// twips of the design.
inline float twipsOf(double pixels, int dpi) {
  return static_cast<float>(pixels * kTwipsPerInch / dpi);
}

// The twips one pixel covers at `dpi`: 15 at 96 DPI.
inline float twipsPerPixel(int dpi) {
  return static_cast<float>(kTwipsPerInch) / static_cast<float>(dpi);
}

}  // namespace tovanik
