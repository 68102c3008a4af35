#include "window/qt/layout_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "panel/panel.h"
#include "window/qt/caption_fit.h"

namespace tovanik {
namespace {

// Corner radius of the card's rounded pieces, in pixels.
constexpr double kCardCornerRadius = 8.0;

QRectF rectOf(const ControlDesign& s) { return {px(s.a), px(s.b), px(s.c), px(s.d)}; }

void paintLine(QPainter& p, const ControlDesign& s, const ControlState& c) {
  QPen pen(toQColor(c.colour));
  pen.setWidthF(s.lineWidth);
  // Thick lines have round ends (pills); a one-pixel line covers exactly its pixels.
  pen.setCapStyle(s.lineWidth > 1 ? Qt::RoundCap : Qt::FlatCap);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  // +0.5 puts the pen on pixel centres, so a line at y=216 fills row 216.
  p.drawLine(QPointF(px(s.a) + 0.5, px(s.b) + 0.5), QPointF(px(s.c) + 0.5, px(s.d) + 0.5));
}

void paintShape(QPainter& p, const ControlDesign& s, const ControlState& c) {
  const QRectF r = rectOf(s);
  QPainterPath path;
  switch (s.form) {
    case Form::Circle: {
      const double d = std::min(r.width(), r.height());
      path.addEllipse(QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
      break;
    }
    case Form::RoundedRectangle:
      path.addRoundedRect(r, kCardCornerRadius, kCardCornerRadius);
      break;
    default:
      path.addRect(r);
  }
  if (s.background) p.fillPath(path, toQColor(*s.background));
  if (s.fill) p.fillPath(path, toQColor(c.colour));
  if (s.border) {
    // The one-pixel border lies inside the shape's rectangle.
    QPen pen(toQColor(c.colour));
    pen.setWidthF(1.0);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF inner = path.boundingRect().adjusted(0.5, 0.5, -0.5, -0.5);
    if (s.form == Form::Circle)
      p.drawEllipse(inner);
    else
      p.drawRect(inner);
  }
}

void paintLabel(QPainter& p, const ControlDesign& s, const ControlState& c) {
  const QRectF r = rectOf(s);
  if (s.background) p.fillRect(r, toQColor(c.background));
  if (c.caption.empty()) return;
  const QString text =
      QString::fromUtf8(c.caption.data(), static_cast<qsizetype>(c.caption.size()));
  QFont font = qfontOf(s.font);
  font.setUnderline(c.underline);
  // The free fallback fonts run wider than the design's: fitted, the caption is narrowed
  // or drawn in another fallback, never wrapped or cut.
  const FittedCaption fitted = fitCaption(font, text, r, s.align == Align::Right);
  p.setFont(fitted.font);
  p.setPen(toQColor(c.colour));
  p.drawText(fitted.baseline, text);
}

}  // namespace

QFont qfontOf(FontId id) {
  const Font& f = fontOf(id);
  QFont font;
  QStringList families{
      QString::fromLatin1(f.family.data(), static_cast<qsizetype>(f.family.size()))};
  if (f.family.starts_with("Segoe UI"))
    families << "Segoe UI"
             << "Open Sans";
  // Installed by the set-up and on nearly every desktop: the last fallback of all.
  families << "DejaVu Sans";
  font.setFamilies(families);
  // Points at 96 dots per inch, as the design was drawn.
  font.setPixelSize(static_cast<int>(std::lround(f.points * 96.0 / 72.0)));
  font.setWeight(static_cast<QFont::Weight>(f.weight));
  font.setItalic(f.italic);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

void paintLayout(QPainter& painter, const Panel& panel) {
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  for (int i = kControlCount - 1; i >= 0; --i) {
    const ControlDesign& s = kLayout[i];
    const ControlState& c = panel[static_cast<Ctl>(i)];
    if (!c.visible) continue;
    switch (s.kind) {
      case Kind::Line:
        paintLine(painter, s, c);
        break;
      case Kind::Shape:
        paintShape(painter, s, c);
        break;
      case Kind::Label:
        paintLabel(painter, s, c);
        break;
      default:
        break;  // text boxes are widgets; the timer has no look
    }
  }
}

}  // namespace tovanik
