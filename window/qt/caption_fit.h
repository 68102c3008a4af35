#pragma once
// Fits a caption into its label's box, whatever fonts the machine has. The design's fonts
// (Segoe UI, Tahoma) are rarely installed on Linux, and their free look-alikes run wider
// or taller: a caption that does not fit with the font found is narrowed (horizontal
// stretch, down to what fits) or drawn with the next fallback, so that it is never
// clipped.

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

namespace tovanik {

struct FittedCaption {
  QFont font;
  QPointF baseline;  // where the text starts, on its baseline
};

// `font` lists the design's family and its fallbacks (see qfontOf). The text lies at the
// top of `labelBox`, at its left or its right edge as the design aligns it; its ink stays
// inside the box, one pixel clear of the edge the text runs towards.
FittedCaption fitCaption(const QFont& font, const QString& text, const QRectF& labelBox,
                         bool alignRight);

}  // namespace tovanik
