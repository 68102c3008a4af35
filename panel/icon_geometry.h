#pragma once
// The program's icon as data, for every icon the build makes: the Linux window's and its
// icon files (drawn by Qt) and the Windows program's .ico (drawn by iconPixels). A dark
// tile in the window's colour, the blue accent bar, and a "T" in button face.

#include <cstdint>
#include <span>
#include <vector>

#include "panel/layout.h"

namespace tovanik {

// A rounded rectangle in 24ths of the icon's size; radius 0 is a plain rectangle.
struct IconPiece {
  double left, top, width, height, radius;
  Rgb colour;
};

// Drawn in this order, each over the ones before.
std::span<const IconPiece> iconPieces();

// The icon at size × size pixels without a toolkit: rows top to bottom, each 0xAARRGGBB
// with straight alpha, edges antialiased by sampling each pixel 8 × 8 times.
std::vector<std::uint32_t> iconPixels(int size);

}  // namespace tovanik
