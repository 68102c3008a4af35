// The design table: which label takes the pointer, the outline's size, the hidden boxes.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "panel/layout.h"

namespace tovanik {
namespace {

TEST(Layout, PointerEventsGoToLabelsOnly) {
  struct Case {
    double x, y;  // twips
    std::optional<Ctl> label;
  };
  const Case cases[] = {
      {10, 10, Ctl::Label7},           // top-left corner, no reaction but not the surface
      {4000, 800, Ctl::lblStartStop},  // over the switch's disc and track
      {3800, 2000, Ctl::CMDSwitch},    // over the console switch
      {3700, 250, Ctl::lblMin},        // over the minimise mark
      {1000, 240, std::nullopt},       // accent bar: a line, so the surface
      {4400, 2000, std::nullopt},      // card: a shape
      {2050, 1450, Ctl::lblURL},
      {4214, 2890, Ctl::lblRootDir},  // right edge shared with lblURL
      {4215, 2890, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    EXPECT_EQ(labelAt(c.x, c.y), c.label);
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
    EXPECT_GE(spec(box).b, kFormHeightTwips) << spec(box).name;
  EXPECT_EQ(spec(Ctl::lblURL).a + spec(Ctl::lblURL).c, 4215);
  EXPECT_EQ(spec(Ctl::lblRootDir).a + spec(Ctl::lblRootDir).c, 4215);
  EXPECT_EQ(spec(Ctl::txtPort).a + spec(Ctl::txtPort).c, 4215);
}

}  // namespace
}  // namespace tovanik

namespace tovanik {
namespace {}  // namespace
}  // namespace tovanik
