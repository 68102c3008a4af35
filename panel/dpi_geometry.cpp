#include "panel/dpi_geometry.h"

#include <algorithm>
#include <cmath>

namespace tovanik {

int devicePixels(int twips, int dpi) {
  return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

int scaledPixels(int designPixels, int dpi) {
  return std::max(
      1, static_cast<int>(std::lround(static_cast<double>(designPixels) * dpi / kBaseDpi)));
}

int fontPixelHeight(double points, int dpi) {
  return static_cast<int>(std::lround(points * dpi / 72.0));
}

WindowShape windowShape(int dpi) {
  const double twipsPerPixel = static_cast<double>(kTwipsPerInch) / dpi;
  return {devicePixels(kFormWidthTwips, dpi), devicePixels(kFormHeightTwips, dpi),
          outlineExtent(kFormWidthTwips, twipsPerPixel),
          outlineExtent(kFormHeightTwips, twipsPerPixel),
          scaledPixels(2 * kOutlineCornerRadius, dpi)};
}

PixelBox deviceBox(const ControlDesign& s, int dpi) {
  if (s.kind == Kind::Line)
    return {devicePixels(s.a, dpi), devicePixels(s.b, dpi), devicePixels(s.c, dpi),
            devicePixels(s.d, dpi)};
  // Both edges rounded on their own, so neighbouring controls meet without gaps.
  return {devicePixels(s.a, dpi), devicePixels(s.b, dpi), devicePixels(s.a + s.c, dpi),
          devicePixels(s.b + s.d, dpi)};
}

}  // namespace tovanik
