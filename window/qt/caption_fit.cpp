#include "window/qt/caption_fit.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QPainterPath>
#include <QStringList>
#include <algorithm>
#include <deque>
#include <optional>

#include "panel/caption_fit.h"

namespace tovanik {
namespace {

constexpr double kEndMargin = 1.0;

// The pen's travel and the ink's rectangle, for text drawn from x = 0 with its baseline
// at the font's ascent (the text's top at the box's top).
struct Ink {
  double advance;
  double ascent;
  QRectF rect;
};

// The ink is the glyphs' outlines, exact to a fraction of a pixel and the same at every
// screen scale. The screen's own measure rounds the ink out to whole device pixels: a
// descender that ends on a label's last row at scale 1 seemed to overrun it at 1.5 and 2,
// and put those captions in another family than the rest.
Ink inkOf(const QFont& font, const QString& text) {
  const QFontMetricsF metrics(font);
  QPainterPath outline;
  outline.addText(0, metrics.ascent(), font, text);
  return {metrics.horizontalAdvance(text), metrics.ascent(), outline.boundingRect()};
}

// The inks measured while one set of captions is fitted: each caption is measured in its
// family, then again unchanged when narrowed and when placed, and an outline costs about
// as much as drawing the text.
class InkCache {
 public:
  const Ink& of(const QFont& font, const QString& text) {
    for (const Measured& m : measured_)
      if (m.text == text && m.font == font) return m.ink;
    measured_.push_back({font, text, inkOf(font, text)});
    return measured_.back().ink;
  }

 private:
  struct Measured {
    QFont font;
    QString text;
    Ink ink;
  };
  std::deque<Measured> measured_;  // references stay valid as it grows
};

// What the eye sees: the ink from the pen's start (a glyph may reach left of it).
double widthOf(const Ink& ink) { return ink.rect.right() - std::min(0.0, ink.rect.left()); }

// Ink that reaches less than half a pixel beyond the box's top or bottom shows as no more
// than a faint edge on the box's own row: Open Sans's descenders end 0.01 pixel below the
// design's 17-pixel labels.
constexpr double kInkOverrun = 0.5;

bool fitsHeight(const Ink& ink, double height) {
  return ink.rect.top() >= -kInkOverrun && ink.rect.bottom() <= height + kInkOverrun;
}

// Whether a family is installed, asked of Qt once per family for the whole run: each
// question runs fontconfig's substitution rules (about a million instructions), and the
// chains share their last families (Tahoma, DejaVu Sans). A family Qt's font database
// lists by name needs no rules: drawing finds it by that name too. Qt's database is read
// once per run, so the answers cannot go stale before it does.
bool installed(const QString& family) {
  static const QStringList listed = QFontDatabase::families();
  static QHash<QString, bool> known;
  const auto found = known.constFind(family);
  if (found != known.constEnd()) return *found;
  return *known.insert(family, listed.contains(family, Qt::CaseInsensitive) ||
                                   QFontDatabase::hasFamily(family));
}

// The families of the font's chain that are installed, in order, found one at a time:
// a family is looked up only when the ones before it did not fit.
class InstalledFamilies {
 public:
  explicit InstalledFamilies(const QFont& font) : chain_(font.families()) {}

  // The next installed family, or none when the chain has no more.
  std::optional<QString> next() {
    while (next_ < chain_.size()) {
      const QString& family = chain_[next_++];
      if (!found_.contains(family) && installed(family)) {
        found_ << family;
        return family;
      }
    }
    return std::nullopt;
  }

 private:
  const QStringList chain_;
  qsizetype next_ = 0;
  QStringList found_;
};

QFont inFamily(const QFont& font, const QString& family) {
  QFont candidate = font;
  candidate.setFamilies({family});
  return candidate;
}

// Narrows the font until the text fits `width`. The widths do not scale in proportion
// (fontconfig may switch to a condensed face on the way, as with DejaVu Sans Condensed),
// so each step is measured again.
void narrow(InkCache& inks, QFont& font, const QString& text, double width) {
  int stretch = 100;
  for (double needed = widthOf(inks.of(font, text)); needed > width && stretch > 1;
       needed = widthOf(inks.of(font, text))) {
    stretch = std::max(1, std::min(stretch - 1, static_cast<int>(stretch * width / needed)));
    font.setStretch(stretch);
  }
}

// One pixel stays free where the text runs to (the right end, or the left end of
// right-aligned text): the last glyph never touches the next control.
QRectF usable(const CaptionBox& c) {
  return c.alignRight ? c.box.adjusted(kEndMargin, 0, 0, 0) : c.box.adjusted(0, 0, -kEndMargin, 0);
}

FittedCaption placed(InkCache& inks, const QFont& font, const CaptionBox& c) {
  const QRectF box = usable(c);
  const Ink ink = inks.of(font, c.text);
  double x = c.alignRight ? box.right() - ink.advance : box.left();
  // The ink, not only the pen's travel, stays inside the box.
  x = std::max(std::min(x, box.right() - ink.rect.right()), box.left() - ink.rect.left());
  return {font, QPointF(x, box.top() + ink.ascent)};
}

}  // namespace

double inkWidth(const QFont& font, const QString& text) { return widthOf(inkOf(font, text)); }

std::vector<FittedCaption> fitCaptions(const QFont& font, const std::vector<CaptionBox>& captions) {
  InkCache inks;
  InstalledFamilies installedFamilies(font);
  // The chain's installed families, looked up only as far as the fit asks; with none of
  // them installed, the family the font resolves to.
  QStringList families;
  const auto familyAt = [&](std::size_t n) -> std::optional<QString> {
    while (static_cast<std::size_t>(families.size()) <= n) {
      if (const auto next = installedFamilies.next())
        families << *next;
      else if (families.isEmpty())
        families << QFontInfo(font).family();
      else
        return std::nullopt;
    }
    return families[static_cast<qsizetype>(n)];
  };
  std::vector<double> boxes;
  for (const CaptionBox& c : captions) boxes.push_back(usable(c).width());
  const FittedSet set =
      fitFamilyByFamily(boxes, [&](std::size_t family, std::size_t i) -> std::optional<double> {
        const auto name = familyAt(family);
        if (!name) return std::nullopt;
        const Ink& ink = inks.of(inFamily(font, *name), captions[i].text);
        return fitsHeight(ink, usable(captions[i]).height()) ? widthOf(ink) : kUnusable;
      });
  std::vector<FittedCaption> fitted;
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const CaptionBox& c = captions[i];
    const QRectF box = usable(c);
    const CaptionFit& fit = set.fits[i];
    QFont chosen = inFamily(font, families[static_cast<qsizetype>(fit.family)]);
    if (set.measured[i].widths[fit.family] == kUnusable) {
      // Too tall in every family: the first family, smaller until it fits.
      chosen = inFamily(font, families.front());
      while (chosen.pixelSize() > 1 && !fitsHeight(inks.of(chosen, c.text), box.height()))
        chosen.setPixelSize(chosen.pixelSize() - 1);
    }
    narrow(inks, chosen, c.text, box.width());
    fitted.push_back(placed(inks, chosen, c));
  }
  return fitted;
}

QFont fitBoxText(const QFont& font, const QString& text, const QSizeF& room) {
  // The caption's end margin is room the box has.
  QFont fitted = fitCaption(font, text, QRectF(QPointF(), room + QSizeF(kEndMargin, 0)), true).font;
  int stretch = fitted.stretch() > 0 ? fitted.stretch() : 100;
  while (stretch > 1 && QFontMetricsF(fitted).horizontalAdvance(text) > room.width())
    fitted.setStretch(--stretch);
  return fitted;
}

FittedCaption fitCaption(const QFont& font, const QString& text, const QRectF& labelBox,
                         bool alignRight) {
  return fitCaptions(font, {CaptionBox{text, labelBox, alignRight}}).front();
}

}  // namespace tovanik
