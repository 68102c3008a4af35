#include "window/win32/caption_fit.h"

#include <algorithm>

namespace tovanik {

CaptionFit fitCaption(std::span<const int> naturalWidths, int box) {
  CaptionFit widest{0, 1.0};
  if (box <= 0) return widest;
  bool any = false;
  for (std::size_t i = 0; i < naturalWidths.size(); ++i) {
    const int width = naturalWidths[i];
    const double scale = width <= box ? 1.0 : static_cast<double>(box) / width;
    if (scale >= kNarrowest) return {i, scale};
    if (!any || scale > widest.scale) widest = {i, scale};
    any = true;
  }
  return widest;
}

}  // namespace tovanik
