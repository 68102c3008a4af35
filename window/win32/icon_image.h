#pragma once
// The panel's icon, drawn as the Linux build draws it (window/qt/icon.cpp): a rounded
// square in the window's colour, the blue accent bar, and a "T" in button face. Plain
// C++, so the build can write the .ico file the program's resources carry.

#include <cstdint>
#include <span>
#include <vector>

namespace tovanik {

// size × size pixels, rows top to bottom, each 0xAARRGGBB with straight alpha; edges
// antialiased by sampling each pixel 8 × 8 times.
std::vector<std::uint32_t> iconPixels(int size);

// An .ico file holding the icon at each size (32-bit images with alpha, 1 to 256 pixels).
std::vector<std::uint8_t> icoFile(std::span<const int> sizes);

}  // namespace tovanik
