// The Windows window's arithmetic: its size, outline and fonts at each monitor scale, and
// the choice of font and compression for a caption whose design font is missing.
#include <gtest/gtest.h>

#include <vector>

#include "panel/caption_fit.h"
#include "panel/dpi_geometry.h"

namespace tovanik {
namespace {

struct AtDpi {
  int dpi;
  WindowShape shape;
  PixelBox shapeOff;  // the stopped disc, 3920 twips from the left: a fraction at 96 DPI
  int accentBarWidth;
  int titleFontHeight;  // Segoe UI 20.25 pt
};

// 125 % and 175 % put the window's width and height on halves: the window rounds them up,
// the outline (size less one pixel) to the even neighbour.
const AtDpi kScales[] = {
    {96, {314, 290, 313, 289, 20}, {261, 48, 278, 65}, 15, 27},
    {120, {393, 363, 392, 362, 25}, {327, 60, 348, 81}, 19, 34},
    {144, {471, 435, 470, 434, 30}, {392, 72, 418, 98}, 23, 41},
    {168, {550, 508, 548, 506, 35}, {457, 84, 487, 114}, 26, 47},
    {192, {628, 580, 627, 579, 40}, {523, 96, 557, 130}, 30, 54},
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
    EXPECT_EQ(scaledPixels(design(Ctl::Line1).lineWidth, row.dpi), row.accentBarWidth);
    EXPECT_EQ(fontPixelHeight(fontOf(FontId::Title).points, row.dpi), row.titleFontHeight);
  }
}

struct FitCase {
  const char* what;
  std::vector<int> widths;  // the caption in each available family, in pixels
  int box;
  CaptionFit expected;
};

const FitCase kFits[] = {
    {"fits in the design's font", {90, 80}, 97, {0, 1.0}},
    {"exactly fills its label", {97}, 97, {0, 1.0}},
    {"a little too wide: narrowed", {100}, 80, {0, 0.8}},
    {"narrowed to the limit, 75 %", {120}, 90, {0, 0.75}},
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

}  // namespace
}  // namespace tovanik
