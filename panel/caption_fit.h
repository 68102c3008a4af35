#pragma once
// Which font a caption is drawn in when the design's font is missing. Linux rarely has
// Segoe UI, nor Wine and stripped-down Windows systems, and the stand-ins run wider. Both
// windows follow one policy, and walk the chain by one loop (fitFamilyByFamily); each
// measures with its own toolkit, in a callback:
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
#include <functional>
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

// A toolkit's measure: caption `caption` of a set drawn in family `family` of the chain (the
// families its system has, counted from 0), as its width or kUnusable; nullopt when the
// system has no such family, which ends the chain.
using MeasureInFamily =
    std::function<std::optional<double>(std::size_t family, std::size_t caption)>;

struct FittedSet {
  std::vector<MeasuredCaption> measured;  // as far as the family that fits the whole set
  std::vector<CaptionFit> fits;           // each caption's, in the order of the boxes
};

// Fits a set of captions, one per label width in `boxes`, measuring family after family
// until one fits the whole set or the chain ends: the usual case, the first family
// fitting, has no other font looked up (each costs start-up time).
FittedSet fitFamilyByFamily(std::span<const double> boxes, const MeasureInFamily& measure);

}  // namespace tovanik
