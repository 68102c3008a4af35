#pragma once
// The panel's fixed design as data: every control with its kind, geometry in twips,
// colours, font and caption, listed in drawing order (first = topmost). Nothing here
// depends on widgets; the painter and the window read this table.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tovanik {

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kFormWidthTwips = 4710;
inline constexpr int kFormHeightTwips = 4350;
inline constexpr std::string_view kFormCaption = "Tovanik PHP Web Server";
inline constexpr std::string_view kHomePage = "https://tovanik.dev";

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  constexpr bool operator==(const Rgb&) const = default;
};
constexpr Rgb rgb(std::uint32_t hex) {
  return {static_cast<std::uint8_t>(hex >> 16), static_cast<std::uint8_t>(hex >> 8),
          static_cast<std::uint8_t>(hex)};
}

namespace colour {
inline constexpr Rgb kWindow = rgb(0x353C42);
inline constexpr Rgb kCard = rgb(0x2B2E31);
inline constexpr Rgb kPortEditing = rgb(0x24282B);
inline constexpr Rgb kTrack = rgb(0x5B6063);
inline constexpr Rgb kTrackOn = rgb(0x4DBD74);
inline constexpr Rgb kBlue = rgb(0x008CCA);
inline constexpr Rgb kMin = rgb(0xECBC2C);
inline constexpr Rgb kMinHover = rgb(0xFFC107);
inline constexpr Rgb kClose = rgb(0xFD5C5C);
inline constexpr Rgb kCloseHover = rgb(0xF86C6B);
// The light grey of a standard desktop's button face, fixed so the look does not
// depend on the user's widget theme.
inline constexpr Rgb kButtonFace = rgb(0xF0F0F0);
}  // namespace colour

// Control identifiers in drawing order: the value is the index into kLayout.
enum class Ctl : int {
  txtPort,
  txtFocus,
  txtRootDir,
  txtExeName,
  Timer1,
  Line5,
  labelConfig,
  Line4,
  Line3,
  Line2,
  lblStartStop,
  shapeOn,
  shapeOff,
  lblRootDir,
  Label6,
  CMDSwitch,
  shpCMDOff,
  shpCMDOn,
  lineCMDOnOff,
  Label7,
  Label5,
  lbl1,
  lblClose,
  lblMin,
  lineMin,
  lineClose,
  Line1,
  Label4,
  Label3,
  Label1,
  lblURL,
  Label8,
  Shape1,
  Shape7,
  Shape9,
  lineStartStop,
  Shape5,
  Label2,
  Shape6,
  Shape2,
};
inline constexpr int kControlCount = 40;

enum class Kind : std::uint8_t { TextBox, Timer, Line, Label, Shape };
enum class Form : std::uint8_t { None, Rectangle, RoundedRectangle, Circle };
enum class FontId : std::uint8_t { Window, Tahoma, TahomaBold, Title, Credit };
enum class Align : std::uint8_t { Left, Right };

struct Font {
  std::string_view family;  // the design's family; fallbacks are added by the painter
  double points;
  int weight;
  bool italic;
};
const Font& fontOf(FontId id);

struct ControlSpec {
  std::string_view name;
  Kind kind;
  // Rectangle (left, top, width, height), or for lines the end points (x1, y1, x2, y2).
  int a, b, c, d;
  bool visible = true;
  Rgb colour{};                     // text, line, fill or border colour
  std::optional<Rgb> background{};  // opaque background of a label or a shape
  bool border = false;              // shapes: one-pixel border in `colour`
  bool fill = false;                // shapes: solid fill in `colour`
  Form form = Form::None;
  int lineWidth = 1;  // pixels
  FontId font = FontId::Window;
  Align align = Align::Left;
  std::string_view caption{};
  std::string_view tooltip{};
};

extern const std::array<ControlSpec, kControlCount> kLayout;

constexpr int index(Ctl c) { return static_cast<int>(c); }
inline const ControlSpec& spec(Ctl c) { return kLayout[index(c)]; }

// Twips to logical pixels, kept fractional.
constexpr double px(int twips) { return static_cast<double>(twips) / kTwipsPerPixel; }

// The label that receives pointer events at (x, y) twips: the topmost label whose
// rectangle holds the point. Shapes and lines never do; nullopt means the surface.
// Text boxes are real child widgets and take their own events before this is asked.
std::optional<Ctl> labelAt(double xTwips, double yTwips);

// One side of the rounded window outline in pixels: the size less one pixel, rounded to
// the nearest integer with halves to the even neighbour.
int outlineExtent(double twips, double twipsPerPixel = kTwipsPerPixel);

}  // namespace tovanik
