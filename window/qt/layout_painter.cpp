#include "window/qt/layout_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "panel/font_chain.h"
#include "panel/panel.h"
#include "panel/window_shell.h"
#include "window/qt/caption_fit.h"

namespace tovanik {
namespace {

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

// The captions of one design font are fitted together, so that they come from one family
// when it fits them all. Fitting measures every family of the chain; the result is kept
// for the captions it was made for, which change seldom (the address, the folder).
using CaptionSet = std::pair<FontId, std::vector<std::pair<Ctl, std::string>>>;

std::map<Ctl, FittedCaption> fitCaptionSets(const Panel& panel) {
  static std::map<CaptionSet, std::vector<FittedCaption>> made;
  std::map<FontId, std::vector<std::pair<Ctl, std::string>>> sets;
  for (const ControlDesign& s : kLayout) {
    const ControlState& c = panel[s.id];
    if (s.kind == Kind::Label && c.visible && !c.caption.empty())
      sets[s.font].emplace_back(s.id, c.caption);
  }
  std::map<Ctl, FittedCaption> fitted;
  for (auto& [font, captions] : sets) {
    CaptionSet key{font, captions};
    auto found = made.find(key);
    if (found == made.end()) {
      std::vector<CaptionBox> boxes;
      for (const auto& [id, caption] : captions)
        boxes.push_back({QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                         rectOf(design(id)), design(id).align == Align::Right});
      found = made.emplace(std::move(key), fitCaptions(qfontOf(font), boxes)).first;
    }
    for (std::size_t i = 0; i < captions.size(); ++i)
      fitted.emplace(captions[i].first, found->second[i]);
  }
  return fitted;
}

class QtCanvas final : public LayoutCanvas {
 public:
  QtCanvas(QPainter& painter, const Panel& panel) : p_(painter), captions_(fitCaptionSets(panel)) {}
  void line(const ControlDesign& s, const ControlState& c) override { paintLine(p_, s, c); }
  void shape(const ControlDesign& s, const ControlState& c) override { paintShape(p_, s, c); }
  void label(const ControlDesign& s, const ControlState& c) override {
    const QRectF r = rectOf(s);
    if (s.background) p_.fillRect(r, toQColor(c.background));
    const auto fitted = captions_.find(s.id);
    if (fitted == captions_.end()) return;
    // The free fallback fonts run wider than the design's: fitted, the caption is narrowed
    // or drawn in another fallback, never wrapped or cut.
    QFont font = fitted->second.font;
    font.setUnderline(c.underline);
    p_.setFont(font);
    p_.setPen(toQColor(c.colour));
    p_.drawText(fitted->second.baseline,
                QString::fromUtf8(c.caption.data(), static_cast<qsizetype>(c.caption.size())));
  }

 private:
  QPainter& p_;
  std::map<Ctl, FittedCaption> captions_;
};

}  // namespace

QFont qfontOf(FontId id) {
  const Font& f = fontOf(id);
  QFont font;
  QStringList families;
  for (std::string_view family : fontChain(id))
    families << QString::fromLatin1(family.data(), static_cast<qsizetype>(family.size()));
  font.setFamilies(families);
  // Points at 96 dots per inch, as the design was drawn.
  font.setPixelSize(static_cast<int>(std::lround(f.points * 96.0 / 72.0)));
  font.setWeight(static_cast<QFont::Weight>(f.weight));
  font.setItalic(f.italic);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

void fitCaptionsAhead(const Panel& panel) { fitCaptionSets(panel); }

void paintLayout(QPainter& painter, const Panel& panel) {
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  QtCanvas canvas(painter, panel);
  paintInDrawingOrder(panel, canvas);
}

void paintFocusMark(QPainter& painter, const FocusMark& mark) {
  // A crisp one-pixel frame on whole pixels: the pen's centre half a pixel inside.
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(toQColor(kFocusMarkColour), 1.0));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(px(mark.left), px(mark.top), px(mark.right - mark.left) - 1,
                          px(mark.bottom - mark.top) - 1));
}

}  // namespace tovanik
