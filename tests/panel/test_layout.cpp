// The design table: which label takes the pointer, the outline's size, the hidden boxes.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "panel/layout.h"

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

}  // namespace
}  // namespace tovanik
