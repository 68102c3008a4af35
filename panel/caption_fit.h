#pragma once
// Which font a caption is drawn in when the design's font is missing. Linux rarely has
// Segoe UI, nor Wine and stripped-down Windows systems, and the stand-ins run wider. Both
// windows follow one policy; each measures with its own toolkit and hands the widths in:
//
// - A set of captions drawn in one design font (every caption of the window's font, say)
//   comes from one family when it can: the first family of the chain in which every one
//   of them fits its label, narrowed to no less than kNarrowest of its width.
// - Failing that, each caption on its own: the first family in which it fits within
//   kNarrowest; failing all, the least narrowed choice, however narrow. A narrow caption
//   still reads; a clipped one does not.
//
// Widths are what the eye sees: the caption's ink, in pixels of the design (96 DPI). A
// family that is missing, or in which the caption is too tall for its label, is given as
// kUnusable.

#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace tovanik {

inline constexpr double kNarrowest = 0.75;
inline constexpr double kUnusable = std::numeric_limits<double>::infinity();

struct CaptionFit {
  std::size_t family;  // index into the widths given
  double scale;        // 1.0, or the horizontal narrowing below it
  bool operator==(const CaptionFit&) const = default;
};

// One caption: `naturalWidths` in each family of the chain, in order of preference;
// `box`: the label's width.
CaptionFit fitCaption(std::span<const double> naturalWidths, double box);

// One caption's widths in every family of the chain, and its label's width.
struct MeasuredCaption {
  std::vector<double> widths;
  double box;
};

// The family a whole set is drawn in, or nullopt when no family fits every caption.
std::optional<std::size_t> familyForAll(std::span<const MeasuredCaption> captions);

// Each caption's fit: all in the set's family when there is one, else each on its own.
// The widths may stop at the first family that fits the whole set: a window measures
// family after family and looks up no font beyond the one it needs.
std::vector<CaptionFit> fitCaptionSet(std::span<const MeasuredCaption> captions);

}  // namespace tovanik
