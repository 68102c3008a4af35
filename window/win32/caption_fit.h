#pragma once
// Fitting a caption into its label when the design's font is missing: Windows has Segoe
// UI, but Wine and stripped-down systems do not, and their stand-ins run wider. A caption
// that does not fit is drawn narrower (a font with a smaller average character width,
// GDI's horizontal compression) down to kNarrowest of its natural width, as the Linux
// build's painter does; when even that does not fit, the next family of the fallback
// chain is tried, and failing all, the least compressed choice is taken however narrow.
// So a caption is never clipped. Plain arithmetic; the painter measures.

#include <cstddef>
#include <span>

namespace tovanik {

inline constexpr double kNarrowest = 0.75;

struct CaptionFit {
  std::size_t family;  // index into the widths given
  double scale;        // 1.0, or the horizontal compression below it
  bool operator==(const CaptionFit&) const = default;
};

// `naturalWidths`: the caption's width in pixels in each available family of the chain,
// in order of preference; `box`: the label's width in pixels.
CaptionFit fitCaption(std::span<const int> naturalWidths, int box);

}  // namespace tovanik
