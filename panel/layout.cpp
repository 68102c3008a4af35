#include "panel/layout.h"

#include <cmath>

namespace tovanik {
namespace {

using namespace colour;

constexpr ControlDesign textBox(Ctl id, std::string_view name, int l, int t, int w, int h,
                                bool visible, FontId font, std::string_view tip = {}) {
  ControlDesign s{id, name, Kind::TextBox, l, t, w, h};
  s.visible = visible;
  s.font = font;
  s.tooltip = tip;
  return s;
}

constexpr ControlDesign line(Ctl id, std::string_view name, int x1, int y1, int x2, int y2, Rgb c,
                             int width) {
  ControlDesign s{id, name, Kind::Line, x1, y1, x2, y2};
  s.colour = c;
  s.lineWidth = width;
  return s;
}

constexpr ControlDesign label(Ctl id, std::string_view name, int l, int t, int w, int h,
                              std::string_view caption, Rgb c, FontId font,
                              std::string_view tip = {}, Align align = Align::Left) {
  ControlDesign s{id, name, Kind::Label, l, t, w, h};
  s.caption = caption;
  s.colour = c;
  s.font = font;
  s.tooltip = tip;
  s.align = align;
  return s;
}

// The switch discs: opaque background and border in button face.
constexpr ControlDesign disc(Ctl id, std::string_view name, int l, int t, bool visible) {
  ControlDesign s{id, name, Kind::Shape, l, t, 255, 255};
  s.visible = visible;
  s.form = Form::Circle;
  s.colour = kButtonFace;
  s.background = kButtonFace;
  s.border = true;
  return s;
}

constexpr ControlDesign panel(Ctl id, std::string_view name, int l, int t, int w, int h,
                              Form form) {
  ControlDesign s{id, name, Kind::Shape, l, t, w, h};
  s.form = form;
  s.colour = kCard;
  s.fill = true;
  return s;
}

constexpr ControlDesign outline(Ctl id, std::string_view name, int l, int t, int w, int h) {
  ControlDesign s{id, name, Kind::Shape, l, t, w, h};
  s.form = Form::Rectangle;
  s.colour = kCard;
  s.border = true;
  return s;
}

constexpr ControlDesign timer(Ctl id, std::string_view name) {
  return {id, name, Kind::Timer, 0, 0, 0, 0};
}

constexpr ControlDesign withBackground(ControlDesign s, Rgb back) {
  s.background = back;
  return s;
}

}  // namespace

const Font& fontOf(FontId id) {
  static const Font fonts[] = {
      {"Segoe UI Semibold", 9.75, 600, false},  // Window
      {"Tahoma", 9.75, 400, false},             // Tahoma
      {"Tahoma", 9.75, 700, false},             // TahomaBold
      {"Segoe UI", 20.25, 700, false},          // Title
      {"Segoe UI Semibold", 9.0, 600, true},    // Credit
  };
  return fonts[static_cast<int>(id)];
}

// Each row starts with ROW(name): the control's identifier and its name as text, from
// one token, so the two cannot differ.
#define ROW(control) Ctl::control, #control

// clang-format off
constexpr std::array<ControlDesign, kControlCount> kLayout{{
  textBox(ROW(txtPort), 3600, 2400, 615, 300, true, FontId::Window, "Change server port"),
  textBox(ROW(txtFocus), 480, 6480, 1815, 375, true, FontId::Tahoma),
  textBox(ROW(txtRootDir), 480, 6000, 1815, 375, false, FontId::Tahoma),
  textBox(ROW(txtExeName), 480, 5400, 1815, 375, false, FontId::Tahoma),
  timer(ROW(Timer1)),
  line(ROW(Line5), 480, 3240, 4440, 3240, kTrack, 1),
  label(ROW(labelConfig), 480, 3360, 1335, 255, "Configuration", kBlue, FontId::Window, "Open configuration file"),
  line(ROW(Line4), 480, 2760, 4440, 2760, kTrack, 1),
  line(ROW(Line3), 480, 2280, 4440, 2280, kTrack, 1),
  line(ROW(Line2), 480, 1800, 4440, 1800, kTrack, 1),
  label(ROW(lblStartStop), 3840, 720, 615, 255, "", kButtonFace, FontId::TahomaBold, "Start / Stop Server"),
  disc(ROW(shapeOn), 4170, 720, false),
  disc(ROW(shapeOff), 3920, 720, true),
  label(ROW(lblRootDir), 2160, 2880, 2055, 255, "", kButtonFace, FontId::Window, {}, Align::Right),
  label(ROW(Label6), 480, 2880, 1455, 255, "Root Directory", kButtonFace, FontId::Window),
  label(ROW(CMDSwitch), 3720, 1920, 495, 255, "", kButtonFace, FontId::Tahoma, "Show / Hide PHP Command Prompt"),
  disc(ROW(shpCMDOff), 3720, 1920, false),
  disc(ROW(shpCMDOn), 3960, 1920, false),
  line(ROW(lineCMDOnOff), 3840, 2040, 4080, 2040, kTrack, 21),
  label(ROW(Label7), 0, 0, 615, 255, "", kButtonFace, FontId::Tahoma),
  label(ROW(Label5), 480, 1920, 1695, 255, "Command Prompt", kButtonFace, FontId::Window),
  label(ROW(lbl1), 480, 2400, 1095, 255, "Server Port", kButtonFace, FontId::Window),
  label(ROW(lblClose), 4080, 120, 495, 255, "", kButtonFace, FontId::Tahoma),
  label(ROW(lblMin), 3480, 120, 495, 255, "", kButtonFace, FontId::Tahoma),
  line(ROW(lineMin), 3600, 240, 3840, 240, kMin, 15),
  line(ROW(lineClose), 4200, 240, 4440, 240, kClose, 15),
  line(ROW(Line1), 240, 240, 3240, 240, kBlue, 15),
  label(ROW(Label4), 570, 760, 1575, 255, "PHP Web Server", kButtonFace, FontId::Window),
  label(ROW(Label3), 240, 360, 1935, 495, "Tovanik", kButtonFace, FontId::Title),
  label(ROW(Label1), 240, 3960, 2055, 255, "by the Tovanik team", kButtonFace, FontId::Credit),
  withBackground(label(ROW(lblURL), 2040, 1440, 2175, 255, "", kButtonFace, FontId::Window, {}, Align::Right), kCard),
  label(ROW(Label8), 480, 1440, 615, 375, "URL", kButtonFace, FontId::Window),
  panel(ROW(Shape1), 240, 1320, 4215, 615, Form::RoundedRectangle),
  panel(ROW(Shape7), 240, 3010, 4215, 735, Form::RoundedRectangle),
  panel(ROW(Shape9), 0, 3850, 4695, 510, Form::Rectangle),
  line(ROW(lineStartStop), 4300, 840, 4040, 840, kTrack, 21),
  panel(ROW(Shape5), 240, 1800, 4215, 1335, Form::Rectangle),
  label(ROW(Label2), 220, 380, 1935, 495, "Tovanik", kWindow, FontId::Title),
  panel(ROW(Shape6), 0, 0, 4695, 1215, Form::Rectangle),
  outline(ROW(Shape2), 0, 0, 4685, 4335),
}};
// clang-format on
#undef ROW

// Enumerator i names row i: a row inserted or moved without its identifier stops the build.
constexpr bool eachIdentifierNamesItsRow() {
  for (int i = 0; i < kControlCount; ++i)
    if (index(kLayout[i].id) != i) return false;
  return true;
}
static_assert(eachIdentifierNamesItsRow(), "the rows of kLayout must follow the order of Ctl");

std::optional<Ctl> labelAt(double xTwips, double yTwips) {
  for (int i = 0; i < kControlCount; ++i) {
    const ControlDesign& s = kLayout[i];
    if (s.kind != Kind::Label) continue;
    if (xTwips >= s.a && xTwips < s.a + s.c && yTwips >= s.b && yTwips < s.b + s.d)
      return static_cast<Ctl>(i);
  }
  return std::nullopt;
}

int dragOrigin(double pointerPixels, float anchorTwips, float twipsPerPixel) {
  const float twips = static_cast<float>(pointerPixels * twipsPerPixel) - anchorTwips;
  return static_cast<int>(std::lround(twips / twipsPerPixel));
}

int outlineExtent(double twips, double twipsPerPixel) {
  // FE_TONEAREST: ties to even. lrint rounds as nearbyint does; it lies beside lround in
  // libm, whose pages the window touches anyway, where nearbyint cost 64 KiB more RSS.
  return static_cast<int>(std::lrint(twips / twipsPerPixel - 1.0));
}

}  // namespace tovanik
