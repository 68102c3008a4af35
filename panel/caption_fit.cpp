#include "panel/caption_fit.h"

#include <algorithm>

namespace tovanik {
namespace {

double scaleFor(double width, double box) { return width <= box ? 1.0 : box / width; }

}  // namespace

CaptionFit fitCaption(std::span<const double> naturalWidths, double box) {
  CaptionFit widest{0, 1.0};
  if (box <= 0) return widest;
  bool any = false;
  for (std::size_t i = 0; i < naturalWidths.size(); ++i) {
    const double scale = scaleFor(naturalWidths[i], box);
    if (scale >= kNarrowest) return {i, scale};
    if (!any || scale > widest.scale) widest = {i, scale};
    any = true;
  }
  return widest;
}

std::optional<std::size_t> familyForAll(std::span<const MeasuredCaption> captions) {
  if (captions.empty()) return std::nullopt;
  std::size_t families = captions.front().widths.size();
  for (const MeasuredCaption& c : captions) families = std::min(families, c.widths.size());
  for (std::size_t family = 0; family < families; ++family) {
    const bool fitsAll =
        std::all_of(captions.begin(), captions.end(), [&](const MeasuredCaption& c) {
          return c.box > 0 && scaleFor(c.widths[family], c.box) >= kNarrowest;
        });
    if (fitsAll) return family;
  }
  return std::nullopt;
}

std::vector<CaptionFit> fitCaptionSet(std::span<const MeasuredCaption> captions) {
  const std::optional<std::size_t> shared = familyForAll(captions);
  std::vector<CaptionFit> fits;
  for (const MeasuredCaption& c : captions)
    fits.push_back(shared ? CaptionFit{*shared, scaleFor(c.widths[*shared], c.box)}
                          : fitCaption(c.widths, c.box));
  return fits;
}

FittedSet fitFamilyByFamily(std::span<const double> boxes, const MeasureInFamily& measure) {
  FittedSet set;
  for (const double box : boxes) set.measured.push_back({{}, box});
  for (std::size_t family = 0; !set.measured.empty(); ++family) {
    std::vector<double> widths;
    for (std::size_t n = 0; n < set.measured.size(); ++n) {
      const std::optional<double> width = measure(family, n);
      if (!width) break;
      widths.push_back(*width);
    }
    if (widths.size() < set.measured.size()) break;  // the chain ended
    for (std::size_t n = 0; n < widths.size(); ++n) set.measured[n].widths.push_back(widths[n]);
    if (familyForAll(set.measured)) break;
  }
  set.fits = fitCaptionSet(set.measured);
  return set;
}

}  // namespace tovanik
