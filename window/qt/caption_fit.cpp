#include "window/qt/caption_fit.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringList>
#include <algorithm>
#include <optional>

namespace tovanik {
namespace {

// A caption that would need to be narrower than this in one family is tried in the next
// fallback first; when none does better, the narrowest stretch that fits is used all
// the same, since a narrow caption still reads and a clipped one does not.
constexpr int kReadableStretch = 75;
constexpr double kEndMargin = 1.0;

// The pen's travel and the ink's rectangle, for text drawn from x = 0 with its baseline
// at the font's ascent (the text's top at the box's top).
struct Ink {
  double advance;
  QRectF rect;
};

Ink inkOf(const QFont& font, const QString& text) {
  const QFontMetricsF metrics(font);
  return {metrics.horizontalAdvance(text),
          metrics.tightBoundingRect(text).translated(0, metrics.ascent())};
}

// The width the text takes: pen travel and ink together (a glyph may reach beyond its
// advance, or left of its start).
double widthOf(const Ink& ink) {
  return std::max(ink.advance, ink.rect.right()) - std::min(0.0, ink.rect.left());
}

bool fitsHeight(const Ink& ink, double height) {
  return ink.rect.top() >= 0 && ink.rect.bottom() <= height;
}

// The fallbacks listed after `found` (the family the font resolves to on this machine)
// that are installed.
QStringList fallbacksAfter(const QFont& font, const QString& found) {
  QStringList families;
  const QStringList listed = font.families();
  const auto at = std::find(listed.begin(), listed.end(), found);
  if (at != listed.end())
    for (auto next = at + 1; next != listed.end(); ++next)
      if (*next != found && !families.contains(*next) && QFontDatabase::hasFamily(*next))
        families << *next;
  return families;
}

// Narrows the font until the text fits `width`; returns the stretch. The widths do not
// scale in proportion (fontconfig may switch to a condensed face on the way, as with
// DejaVu Sans Condensed), so each step is measured again.
int narrow(QFont& font, const QString& text, double width) {
  int stretch = 100;
  for (double needed = widthOf(inkOf(font, text)); needed > width && stretch > 1;
       needed = widthOf(inkOf(font, text))) {
    stretch = std::max(1, std::min(stretch - 1, static_cast<int>(stretch * width / needed)));
    font.setStretch(stretch);
  }
  return stretch;
}

}  // namespace

FittedCaption fitCaption(const QFont& font, const QString& text, const QRectF& labelBox,
                         bool alignRight) {
  // One pixel stays free where the text runs to (the right end, or the left end of
  // right-aligned text): the last glyph never touches the next control.
  const QRectF box = alignRight ? labelBox.adjusted(kEndMargin, 0, 0, 0)
                                : labelBox.adjusted(0, 0, -kEndMargin, 0);
  const QString found = QFontInfo(font).family();
  std::optional<QFont> chosen;
  int chosenStretch = 0;
  // Tries one family; true when it fits well enough to look no further.
  const auto tryFamily = [&](const QString& family) {
    QFont candidate = font;
    candidate.setFamilies({family});
    if (!fitsHeight(inkOf(candidate, text), box.height())) return false;
    const int stretch = narrow(candidate, text, box.width());
    if (stretch > chosenStretch) {
      chosen = candidate;
      chosenStretch = stretch;
    }
    return stretch >= kReadableStretch;
  };
  // The fallbacks are looked up only for a caption the font found does not fit well.
  if (!tryFamily(found))
    for (const QString& family : fallbacksAfter(font, found))
      if (tryFamily(family)) break;
  if (!chosen) {
    // Too tall in every family: the font found, smaller until it fits.
    QFont smaller = font;
    smaller.setFamilies({found});
    while (smaller.pixelSize() > 1 && !fitsHeight(inkOf(smaller, text), box.height()))
      smaller.setPixelSize(smaller.pixelSize() - 1);
    narrow(smaller, text, box.width());
    chosen = smaller;
  }
  const Ink ink = inkOf(*chosen, text);
  double x = alignRight ? box.right() - ink.advance : box.left();
  // The ink, not only the pen's travel, stays inside the box.
  x = std::max(std::min(x, box.right() - ink.rect.right()), box.left() - ink.rect.left());
  return {*chosen, QPointF(x, box.top() + QFontMetricsF(*chosen).ascent())};
}

}  // namespace tovanik
