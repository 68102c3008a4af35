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

// Control identifiers in drawing order: the value is the index into kLayout, and
// layout.cpp checks at compile time that each names its own row.
enum class Ctl : int {
  txtPort,        // the port box, edited while the server is stopped
  txtFocus,       // hidden focus holder below the window
  txtRootDir,     // hidden, below the window; never shown
  txtExeName,     // hidden, below the window; never shown
  Timer1,         // the one-second status tick
  Line5,          // separator above the Configuration row
  labelConfig,    // link: opens the configuration file
  Line4,          // separator above the Root Directory row
  Line3,          // separator above the Server Port row
  Line2,          // separator above the Command Prompt row
  lblStartStop,   // the start/stop switch's click area
  shapeOn,        // start/stop disc on the right: the panel shows the server running
  shapeOff,       // start/stop disc on the left: stopped
  lblRootDir,     // link: the web folder's name, opens it
  Label6,         // caption "Root Directory"
  CMDSwitch,      // the console switch's click area
  shpCMDOff,      // console disc on the left: the console is hidden
  shpCMDOn,       // console disc on the right: shown
  lineCMDOnOff,   // the console switch's track
  Label7,         // empty, covers the window's top-left corner
  Label5,         // caption "Command Prompt"
  lbl1,           // caption "Server Port"
  lblClose,       // the close mark's click area
  lblMin,         // the minimise mark's click area
  lineMin,        // the minimise mark (yellow pill)
  lineClose,      // the close mark (red pill)
  Line1,          // the blue accent bar of the header
  Label4,         // subtitle "PHP Web Server"
  Label3,         // product name, a link to the home page
  Label1,         // credit line in the footer
  lblURL,         // link: the local address, opens it while the server runs
  Label8,         // caption "URL"
  Shape1,         // card: the rounded top of the settings card (URL row)
  Shape7,         // card: the rounded bottom of the settings card (Configuration row)
  Shape9,         // footer band
  lineStartStop,  // the start/stop switch's track
  Shape5,         // card: the square middle of the settings card
  Label2,         // shadow copy of the product name
  Shape6,         // header band
  Shape2,         // one-pixel outline of the whole window
};
inline constexpr int kControlCount = static_cast<int>(Ctl::Shape2) + 1;

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

// One control's entry in the design table.
struct ControlDesign {
  Ctl id;
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

extern const std::array<ControlDesign, kControlCount> kLayout;

constexpr int index(Ctl c) { return static_cast<int>(c); }
inline const ControlDesign& design(Ctl c) { return kLayout[index(c)]; }

// The rounded corners as radii, in the design's pixels: the settings card's rounded pieces
// (Form::RoundedRectangle) and the window's outline. Each toolkit converts at its one call
// (Qt takes the radius, GDI the corner ellipse's diameter).
inline constexpr int kCardCornerRadius = 8;
inline constexpr int kOutlineCornerRadius = 10;

// Twips to logical pixels, kept fractional.
constexpr double px(int twips) { return static_cast<double>(twips) / kTwipsPerPixel; }

// The label that receives pointer events at (x, y) twips: the topmost label whose
// rectangle holds the point. Shapes and lines never do; nullopt means the surface.
// Text boxes are real child widgets and take their own events before this is asked.
std::optional<Ctl> labelAt(double xTwips, double yTwips);

// Where the window's left (or top) edge goes while its surface is dragged, in pixels: the
// pointer's place on the screen (pixels, fractional at scales such as 1.5) less the press
// offset (twips), in the design's twips arithmetic in single precision, rounded to the
// nearest pixel. The pressed point stays under the pointer however far it jumped. A
// window that counts in device pixels gives its monitor's twips per pixel (1440 / dpi).
int dragOrigin(double pointerPixels, float anchorTwips, float twipsPerPixel = kTwipsPerPixel);

// One side of the rounded window outline in pixels: the size less one pixel, rounded to
// the nearest integer with halves to the even neighbour.
int outlineExtent(double twips, double twipsPerPixel = kTwipsPerPixel);

}  // namespace tovanik
