#include "window/win32/gdi_painter.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>
#include <vector>

#include "panel/dpi_geometry.h"
#include "panel/panel.h"
#include "panel/window_shell.h"
#include "platform/windows/wide_text.h"
#include "window/win32/font_book.h"

namespace tovanik::win32 {

using windows::utf16;

namespace {

// A GDI object selected into a DC for one scope, then deleted.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object)
      : dc_(dc), object_(object), previous_(SelectObject(dc, object)) {}
  ~Selected() {
    SelectObject(dc_, previous_);
    DeleteObject(object_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  HGDIOBJ previous_;
};

void fill(HDC dc, const RECT& r, Rgb colour) {
  HBRUSH brush = CreateSolidBrush(colorRef(colour));
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

RECT rectOf(const PixelBox& b) { return {b.left, b.top, b.right, b.bottom}; }

// A solid pen `width` pixels wide; wider than one pixel it has round ends, so the short
// thick lines show as pills. INSIDEFRAME keeps a shape's border inside its rectangle.
HPEN makePen(Rgb colour, int width, bool insideFrame = false) {
  LOGBRUSH brush{BS_SOLID, colorRef(colour), 0};
  const DWORD style = PS_GEOMETRIC | (insideFrame ? PS_INSIDEFRAME : PS_SOLID) |
                      (width > 1 ? PS_ENDCAP_ROUND | PS_JOIN_ROUND : PS_ENDCAP_FLAT);
  return ExtCreatePen(style, static_cast<DWORD>(width), &brush, 0, nullptr);
}

void paintLine(HDC dc, const ControlDesign& s, const ControlState& c, int dpi) {
  const PixelBox b = deviceBox(s, dpi);
  Selected pen(dc, makePen(c.colour, scaledPixels(s.lineWidth, dpi)));
  MoveToEx(dc, b.left, b.top, nullptr);
  LineTo(dc, b.right, b.bottom);
}

void paintShape(HDC dc, const ControlDesign& s, const ControlState& c, int dpi) {
  const PixelBox b = deviceBox(s, dpi);
  const RECT r = rectOf(b);
  switch (s.form) {
    case Form::Circle: {
      // The largest circle centred in the rectangle; background and border are one
      // colour for the discs of this design, painted in one go.
      const int d = std::min(r.right - r.left, r.bottom - r.top);
      const int left = r.left + (r.right - r.left - d) / 2;
      const int top = r.top + (r.bottom - r.top - d) / 2;
      Selected brush(dc, s.background || s.fill
                             ? CreateSolidBrush(colorRef(s.fill ? c.colour : *s.background))
                             : GetStockObject(NULL_BRUSH));
      Selected pen(
          dc, s.border ? makePen(c.colour, scaledPixels(1, dpi), true) : GetStockObject(NULL_PEN));
      // Without a pen GDI fills one pixel short on the right and at the bottom.
      const int extra = s.border ? 0 : 1;
      Ellipse(dc, left, top, left + d + extra, top + d + extra);
      return;
    }
    case Form::RoundedRectangle: {
      // Outlined in its own colour: with a pen, the figure ends one pixel inside right
      // and bottom on Windows and in Wine alike (without one, each fills differently).
      Selected brush(dc, CreateSolidBrush(colorRef(c.colour)));
      Selected pen(dc, makePen(c.colour, 1, true));
      const int corner = scaledPixels(2 * kCardCornerRadius, dpi);  // GDI: the diameter
      RoundRect(dc, r.left, r.top, r.right, r.bottom, corner, corner);
      return;
    }
    default:
      if (s.background) fill(dc, r, *s.background);
      if (s.fill) fill(dc, r, c.colour);
      if (s.border) {
        Selected brush(dc, GetStockObject(NULL_BRUSH));
        Selected pen(dc, makePen(c.colour, scaledPixels(1, dpi), true));
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
      }
  }
}

// The captions of each design font, fitted together so that they come from one family
// when it fits them all; the fonts in drawing order, nullptr for a label without caption.
std::array<HFONT, kControlCount> captionFonts(HDC dc, const Panel& panel, int dpi,
                                              FontBook& fonts) {
  std::array<HFONT, kControlCount> chosen{};
  std::map<FontId, std::pair<std::vector<int>, std::vector<FontBook::SizedCaption>>> sets;
  for (int i = 0; i < kControlCount; ++i) {
    const ControlDesign& s = kLayout[i];
    const ControlState& c = panel[s.id];
    if (s.kind != Kind::Label || !c.visible || c.caption.empty()) continue;
    const PixelBox b = deviceBox(s, dpi);
    auto& set = sets[s.font];
    set.first.push_back(i);
    set.second.push_back({utf16(c.caption), b.right - b.left, c.underline});
  }
  for (const auto& [font, set] : sets) {
    const std::vector<HFONT> made = fonts.captionFonts(dc, font, set.second);
    for (std::size_t n = 0; n < made.size(); ++n)
      chosen[static_cast<std::size_t>(set.first[n])] = made[n];
  }
  return chosen;
}

void paintLabel(HDC dc, const ControlDesign& s, const ControlState& c, int dpi, HFONT font) {
  RECT r = rectOf(deviceBox(s, dpi));
  if (s.background) fill(dc, r, c.background);
  if (c.caption.empty() || !font) return;
  const std::wstring text = utf16(c.caption);
  HGDIOBJ previous = SelectObject(dc, font);
  SetTextColor(dc, colorRef(c.colour));
  // The font is chosen so that the caption fits its label: nothing is clipped.
  const UINT align = s.align == Align::Right ? DT_RIGHT : DT_LEFT;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
            align | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  SelectObject(dc, previous);
}

}  // namespace

void paintLayout(HDC dc, const Panel& panel, int dpi, FontBook& fonts) {
  RECT all{0, 0, 0, 0};
  const WindowShape shape = windowShape(dpi);
  all.right = shape.width;
  all.bottom = shape.height;
  fill(dc, all, colour::kWindow);
  SetBkMode(dc, TRANSPARENT);
  class GdiCanvas final : public LayoutCanvas {
   public:
    GdiCanvas(HDC dc, const Panel& panel, int dpi, FontBook& fonts)
        : dc_(dc), dpi_(dpi), fonts_(captionFonts(dc, panel, dpi, fonts)) {}
    void line(const ControlDesign& s, const ControlState& c) override {
      paintLine(dc_, s, c, dpi_);
    }
    void shape(const ControlDesign& s, const ControlState& c) override {
      paintShape(dc_, s, c, dpi_);
    }
    void label(const ControlDesign& s, const ControlState& c) override {
      paintLabel(dc_, s, c, dpi_, fonts_[static_cast<std::size_t>(index(s.id))]);
    }

   private:
    HDC dc_;
    int dpi_;
    std::array<HFONT, kControlCount> fonts_;
  } canvas(dc, panel, dpi, fonts);
  paintInDrawingOrder(panel, canvas);
}

void paintFocusMark(HDC dc, const FocusMark& mark, int dpi) {
  const RECT frame{devicePixels(mark.left, dpi), devicePixels(mark.top, dpi),
                   devicePixels(mark.right, dpi), devicePixels(mark.bottom, dpi)};
  HBRUSH brush = CreateSolidBrush(colorRef(kFocusMarkColour));
  FrameRect(dc, &frame, brush);
  DeleteObject(brush);
}

}  // namespace tovanik::win32
