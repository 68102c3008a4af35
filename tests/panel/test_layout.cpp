// The design table: which label takes the pointer, the outline's size, the hidden boxes; the
// window's arithmetic at each monitor scale, the choice of font for captions whose design
// font is missing, and the icon.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "panel/caption_fit.h"
#include "panel/dpi_geometry.h"
#include "panel/icon_geometry.h"
#include "panel/layout.h"
#include "panel/port_box.h"

namespace tovanik {
namespace {

// Points picked from the design's drawing (pixels, 15 twips each), with the control that
// must take the pointer there: the topmost label whose rectangle holds the point, or the
// surface (nullopt) over shapes, lines and bare background.
TEST(Layout, PointerEventsGoToLabelsOnly) {
  struct Case {
    double x, y;  // pixels
    std::optional<Ctl> label;
  };
  const Case cases[] = {
      {0.5, 0.5, Ctl::Label7},           // top-left corner: no reaction, but not the surface
      {40.5, 16.5, Ctl::Label7},         // Label7's last pixel (0, 0, 41 x 17)
      {41.5, 16.5, std::nullopt},        // just right of it: the accent bar's start, a line
      {100, 16, std::nullopt},           // accent bar Line1 (16..216 at y 16)
      {248, 16, Ctl::lblMin},            // minimise mark under lblMin (232, 8, 33 x 17)
      {264.5, 16, Ctl::lblMin},          // lblMin's right column
      {268, 16, std::nullopt},           // between the two marks' labels
      {288, 16, Ctl::lblClose},          // close mark under lblClose (272, 8, 33 x 17)
      {304.5, 24.5, Ctl::lblClose},      // lblClose's bottom-right pixel
      {30, 40, Ctl::Label3},             // product name (16, 24, 129 x 33)
      {15, 40, Ctl::Label2},             // its shadow copy, 20 twips further left
      {40, 55, Ctl::Label4},             // subtitle (38, 50.7) lies above the product name
      {262, 56, Ctl::lblStartStop},      // left end of the start/stop disc (shapeOff at 261.3)
      {296, 56, Ctl::lblStartStop},      // right end of the start/stop track (cap to 297.2)
      {297.5, 56, std::nullopt},         // past lblStartStop (256..297): the track's last sliver
      {200, 40, std::nullopt},           // bare header band Shape6
      {100, 104, std::nullopt},          // card between "URL" and the address
      {72.5, 120.5, Ctl::Label8},        // "URL" is 25 pixels high (32, 96, 41 x 25)
      {140, 104, Ctl::lblURL},           // address (136, 96, 145 x 17)
      {280.5, 112.5, Ctl::lblURL},       // its bottom-right pixel
      {281.5, 104, std::nullopt},        // right of it: the card
      {281.0, 104, std::nullopt},        // exactly its right edge (2040 + 2175 twips) is out
      {136.0, 104, Ctl::lblURL},         // exactly its left edge is in
      {41.0, 8, std::nullopt},           // exactly Label7's right edge is out
      {250, 136, Ctl::CMDSwitch},        // console switch's left disc (248, 128, 33 x 17)
      {280.5, 136, Ctl::CMDSwitch},      // its right disc's edge
      {282, 136, std::nullopt},          // the track's round cap beyond CMDSwitch
      {100, 136, Ctl::Label5},           // "Command Prompt" (32, 128, 113 x 17)
      {100, 168, Ctl::lbl1},             // "Server Port" (32, 160, 73 x 17)
      {250, 170, std::nullopt},          // the port box is a widget of its own, no label
      {130, 200, std::nullopt},          // between "Root Directory" (ends 129) and the folder
      {145, 200, Ctl::lblRootDir},       // web folder (144, 192, 137 x 17)
      {120.5, 240.5, Ctl::labelConfig},  // "Configuration" (32, 224, 89 x 17)
      {122, 230, std::nullopt},
      {150, 270, Ctl::Label1},   // credit line (16, 264, 137 x 17)
      {200, 270, std::nullopt},  // footer band
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    EXPECT_EQ(labelAt(c.x * 15, c.y * 15), c.label);
  }
}

TEST(Layout, OutlineRoundsHalvesToEven) {
  EXPECT_EQ(outlineExtent(4710), 313);
  EXPECT_EQ(outlineExtent(4350), 289);
  EXPECT_EQ(outlineExtent((391.5 + 1) * 15), 392);
  EXPECT_EQ(outlineExtent((392.5 + 1) * 15), 392);
  EXPECT_EQ(outlineExtent(4715), 313);  // 313.33 to the nearest
}

TEST(Layout, HiddenBoxesLieBelowTheWindow) {
  for (Ctl box : {Ctl::txtFocus, Ctl::txtRootDir, Ctl::txtExeName})
    EXPECT_GE(design(box).b, kFormHeightTwips) << design(box).name;
  EXPECT_EQ(design(Ctl::lblURL).a + design(Ctl::lblURL).c, 4215);
  EXPECT_EQ(design(Ctl::lblRootDir).a + design(Ctl::lblRootDir).c, 4215);
  EXPECT_EQ(design(Ctl::txtPort).a + design(Ctl::txtPort).c, 4215);
}

// The window's place while dragged: pointer less press offset, to the nearest pixel. At
// a scale of 1.5 the pointer moves in steps of 2/3 pixel; its travel is rounded, never
// cut off (10.67 pixels to 11, not 10). A window counting in device pixels (Win32) gives
// its monitor's twips per pixel: 10 at 144 dpi, 1440 / 168 at 168 dpi.
TEST(Layout, DragKeepsThePressedPointUnderThePointer) {
  struct Case {
    double pointer;  // pixels on the screen
    float anchor;    // twips from the window's edge to the press
    int origin;      // pixels
    float twipsPerPixel = kTwipsPerPixel;
  };
  const Case cases[] = {
      {310.0, 3000.0f, 110},            // whole pixels
      {321.0 + 1.0 / 3, 3010.0f, 121},  // 120.67 rounds up
      {234.0 + 2.0 / 3, 1865.0f, 110},  // 110.33 rounds down
      {200.5, 3000.0f, 1},              // a half pixel: away from zero
      {0.0, 1500.0f, -100},             // left of the screen
      {500.0, 2000.0f, 300, 10.0f},     // 144 dpi: 200 device pixels into the window
      // 168 dpi, on a monitor left of the primary: 20 device pixels are 171.43 twips
      {-1500.0, 171.42857f, -1520, 1440.0f / 168},
  };
  for (const Case& c : cases)
    EXPECT_EQ(dragOrigin(c.pointer, c.anchor, c.twipsPerPixel), c.origin)
        << c.pointer << " - " << c.anchor << " at " << c.twipsPerPixel << " twips per pixel";
}

struct AtDpi {
  int dpi;
  WindowShape shape;
  PixelBox shapeOff;  // the stopped disc, 3920 twips from the left: a fraction at 96 DPI
  PixelBox perEdge;   // 3603, 2403, 603, 303 twips: each edge rounds on its own, not the size
  int accentBarWidth;
  int titleFontHeight;  // Segoe UI 20.25 pt
};

// 125 % and 175 % put the window's width and height on halves: the window rounds them up,
// the outline (size less one pixel) to the even neighbour.
const AtDpi kScales[] = {
    {96, {314, 290, 313, 289, 20}, {261, 48, 278, 65}, {240, 160, 280, 180}, 15, 27},
    {120, {393, 363, 392, 362, 25}, {327, 60, 348, 81}, {300, 200, 351, 226}, 19, 34},
    {144, {471, 435, 470, 434, 30}, {392, 72, 418, 98}, {360, 240, 421, 271}, 23, 41},
    {168, {550, 508, 548, 506, 35}, {457, 84, 487, 114}, {420, 280, 491, 316}, 26, 47},
    {192, {628, 580, 627, 579, 40}, {523, 96, 557, 130}, {480, 320, 561, 361}, 30, 54},
};

TEST(WindowGeometry, ScalesWithTheMonitor) {
  for (const AtDpi& row : kScales) {
    SCOPED_TRACE(row.dpi);
    const WindowShape shape = windowShape(row.dpi);
    EXPECT_EQ(shape.width, row.shape.width);
    EXPECT_EQ(shape.height, row.shape.height);
    EXPECT_EQ(shape.regionRight, row.shape.regionRight);
    EXPECT_EQ(shape.regionBottom, row.shape.regionBottom);
    EXPECT_EQ(shape.corner, row.shape.corner);
    const PixelBox disc = deviceBox(design(Ctl::shapeOff), row.dpi);
    EXPECT_EQ(disc.left, row.shapeOff.left);
    EXPECT_EQ(disc.top, row.shapeOff.top);
    EXPECT_EQ(disc.right, row.shapeOff.right);
    EXPECT_EQ(disc.bottom, row.shapeOff.bottom);
    ControlDesign odd = design(Ctl::txtPort);
    std::tie(odd.a, odd.b, odd.c, odd.d) = std::tuple(3603, 2403, 603, 303);
    const PixelBox box = deviceBox(odd, row.dpi);
    EXPECT_EQ(std::tuple(box.left, box.top, box.right, box.bottom),
              std::tuple(row.perEdge.left, row.perEdge.top, row.perEdge.right, row.perEdge.bottom));
    EXPECT_EQ(scaledPixels(design(Ctl::Line1).lineWidth, row.dpi), row.accentBarWidth);
    EXPECT_EQ(fontPixelHeight(fontOf(FontId::Title).points, row.dpi), row.titleFontHeight);
  }
}

struct FitCase {
  const char* what;
  std::vector<double> widths;  // the caption in each available family, in pixels
  double box;
  CaptionFit expected;
};

const FitCase kFits[] = {
    {"fits in the design's font", {90, 80}, 97, {0, 1.0}},
    {"exactly fills its label", {97}, 97, {0, 1.0}},
    {"a little too wide: narrowed", {100}, 80, {0, 0.8}},
    {"narrowed to the limit, 75 %", {120}, 90, {0, 0.75}},
    {"narrowed to exactly 75 %: kept before a family that fits", {120, 90}, 90, {0, 0.75}},
    {"too wide for 75 %: the next family, narrowed", {140, 110}, 100, {1, 100.0 / 110}},
    {"the next family fits as it is", {140, 95}, 100, {1, 1.0}},
    {"no family within 75 %: the least compressed", {300, 200, 250}, 100, {1, 0.5}},
    {"no room at all: drawn as it is", {50}, 0, {0, 1.0}},
};

TEST(CaptionFit, NarrowsThenFallsBackNeverClips) {
  for (const FitCase& c : kFits) {
    SCOPED_TRACE(c.what);
    const CaptionFit fit = fitCaption(c.widths, c.box);
    EXPECT_EQ(fit.family, c.expected.family);
    EXPECT_DOUBLE_EQ(fit.scale, c.expected.scale);
  }
}

// A set of captions of one font: one family for all when every caption fits it within
// 75 %; else each caption on its own. Widths per family, in order of preference.
TEST(CaptionFit, OneFamilyForTheWholeSetWhenItFits) {
  struct SetCase {
    const char* what;
    std::vector<MeasuredCaption> captions;
    std::vector<CaptionFit> expected;
  };
  const SetCase cases[] = {
      {"all fit the first family", {{{90, 95}, 100}, {{50, 60}, 60}}, {{0, 1.0}, {0, 1.0}}},
      {"one at exactly 75 % in the first: the first for all",
       {{{120, 90}, 90}, {{50, 60}, 60}}, {{0, 0.75}, {0, 1.0}}},
      {"one needs narrowing in the first: still the first for all",
       {{{110, 90}, 100}, {{50, 60}, 60}},
       {{0, 100.0 / 110}, {0, 1.0}}},
      {"one too wide for 75 % in the first: the second for all, though the other fits the first",
       {{{140, 100}, 100}, {{50, 60}, 60}},
       {{1, 1.0}, {1, 1.0}}},
      {"too tall in the first (unusable): the second for all",
       {{{kUnusable, 80}, 100}, {{50, 70}, 60}},
       {{1, 1.0}, {1, 60.0 / 70}}},
      {"measured only as far as the first family, which fits all",
       {{{90}, 100}, {{50}, 60}},
       {{0, 1.0}, {0, 1.0}}},
      {"no family fits all: each on its own",
       {{{140, 100}, 100}, {{50, 100}, 60}},
       {{1, 1.0}, {0, 1.0}}},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<CaptionFit> fits = fitCaptionSet(c.captions);
    ASSERT_EQ(fits.size(), c.expected.size());
    for (std::size_t i = 0; i < fits.size(); ++i) {
      EXPECT_EQ(fits[i].family, c.expected[i].family) << i;
      EXPECT_DOUBLE_EQ(fits[i].scale, c.expected[i].scale) << i;
    }
  }
}

// Family after family: measured up to the family that fits the whole set, or to the
// chain's end. Widths of two captions in a system's three families.
TEST(CaptionFit, MeasuresNoFamilyBeyondTheOneThatFitsTheSet) {
  const double widths[2][3] = {{140, 100, 90}, {50, 60, 70}};
  const auto measure = [&](std::size_t family, std::size_t n) -> std::optional<double> {
    return family < 3 ? std::optional(widths[n][family]) : std::nullopt;
  };
  const FittedSet second = fitFamilyByFamily(std::vector<double>{100, 60}, measure);
  EXPECT_EQ(second.measured[1].widths, (std::vector<double>{50, 60}));
  EXPECT_EQ(second.fits, (std::vector<CaptionFit>{{1, 1.0}, {1, 1.0}}));
  const FittedSet none = fitFamilyByFamily(std::vector<double>{100, 10}, measure);
  EXPECT_EQ(none.measured[0].widths.size(), 3u);
  EXPECT_EQ(none.fits, (std::vector<CaptionFit>{{1, 1.0}, {0, 0.2}}));
}

// The port box: its font fitted anew only when the text to fit changes, five digits at
// least; its selection counted in the Panel's UTF-8 bytes and the boxes' UTF-16 units.
TEST(PortBox, FitsToFiveDigitsAtLeastAndCountsUnits) {
  PortBoxFont font;
  EXPECT_EQ(font.refitFor("80"), "00000");
  EXPECT_EQ(font.refitFor("8080"), std::nullopt);  // still the five digits
  EXPECT_EQ(font.refitFor("123456"), "123456");
  font.forget();
  EXPECT_EQ(font.refitFor("123456"), "123456");
  const std::string_view text = "8\u00e9\u20ac\U0001D11E9";  // bytes 1 2 3 4 1, units 1 1 1 2 1
  EXPECT_EQ(utf16Units(text, 6), 3);
  EXPECT_EQ(utf16Units(text, 11), 6);
  EXPECT_EQ(utf8Bytes(text, 3), 6);
  EXPECT_EQ(utf8Bytes(text, 5), 10);
}

// The icon drawn without a toolkit (the Windows .ico), at points of the design's 24-unit
// grid: the tile, the blue bar, the "T" and the transparent corners.
TEST(Icon, PixelsShowTheTileTheBarAndTheT) {
  struct Probe {
    int size, x, y;
    std::uint32_t argb;
  };
  const Probe probes[] = {
      {24, 0, 0, 0x00000000},    // outside the rounded corner
      {24, 2, 12, 0xFF353C42},   // the tile
      {24, 12, 3, 0xFF353C42},   // above the bar (4..20 x 4..7)
      {24, 12, 4, 0xFF008CCA},   // its first row
      {24, 12, 6, 0xFF008CCA},   // its last row
      {24, 12, 7, 0xFF353C42},   // below it
      {24, 12, 15, 0xFFF0F0F0},  // the T's stem (10.5..13.5 x 9..20)
      {24, 7, 10, 0xFFF0F0F0},   // its bar (6..18 x 9..12)
      {24, 7, 15, 0xFF353C42},   // beside the stem
      {48, 24, 10, 0xFF008CCA},  // the bar at twice the size
      {48, 47, 47, 0x00000000},  // the bottom-right corner
  };
  for (const Probe& p : probes) {
    const std::vector<std::uint32_t> pixels = iconPixels(p.size);
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(p.size * p.size));
    EXPECT_EQ(pixels[static_cast<std::size_t>(p.y * p.size + p.x)], p.argb)
        << p.size << " px at " << p.x << "," << p.y;
  }
}

}  // namespace
}  // namespace tovanik
