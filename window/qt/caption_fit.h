#pragma once
// Fits captions into their labels' boxes with whatever fonts the machine has, by the
// panel's policy (panel/caption_fit.h): a set of captions drawn in one design font comes
// from one family when each fits in it; a caption that does not fit the family found is
// narrowed (horizontal stretch, down to what fits) or drawn with the next family of the
// chain, so that it is never clipped.

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <vector>

namespace tovanik {

struct FittedCaption {
  QFont font;
  QPointF baseline;  // where the text starts, on its baseline
};

struct CaptionBox {
  QString text;
  QRectF box;
  bool alignRight = false;
};

// `font` lists the design's family and its fallbacks (see qfontOf). Each text lies at the
// top of its box, at its left or its right edge as the design aligns it; its ink stays
// inside the box, one pixel clear of the edge the text runs towards. Measured as drawn at
// the design's scale, so that the choice is the same at every screen scale.
std::vector<FittedCaption> fitCaptions(const QFont& font, const std::vector<CaptionBox>& captions);
// A set of one.
FittedCaption fitCaption(const QFont& font, const QString& text, const QRectF& labelBox,
                         bool alignRight);

// The font for an edit box's text: fitted as a caption, then narrowed on until the pen's
// travel fits `width` as well, since an edit box scrolls (and hides the text's start)
// rather than let its text run past its end.
QFont fitBoxText(const QFont& font, const QString& text, const QSizeF& room);

// The width the ink of `text` takes in `font`, from the pen's start, in the design's pixels.
double inkWidth(const QFont& font, const QString& text);

}  // namespace tovanik
