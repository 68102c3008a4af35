#pragma once
// The panel's icon (panel/icon_geometry.h) as an .ico file, for the program's resources.
// Plain C++, so the build can write it.

#include <cstdint>
#include <span>
#include <vector>

namespace tovanik {

// An .ico file holding the icon at each size (32-bit images with alpha, 1 to 256 pixels).
std::vector<std::uint8_t> icoFile(std::span<const int> sizes);

}  // namespace tovanik
