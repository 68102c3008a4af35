#include "panel/icon_geometry.h"

#include <algorithm>

namespace tovanik {
namespace {

constexpr IconPiece kIcon[] = {
    {0, 0, 24, 24, 5, colour::kWindow},
    {4, 4, 16, 3, 1.5, colour::kBlue},
    {10.5, 9, 3, 11, 0, colour::kButtonFace},
    {6, 9, 12, 3, 0, colour::kButtonFace},
};

bool inside(const IconPiece& r, double x, double y) {
  if (x < r.left || x >= r.left + r.width || y < r.top || y >= r.top + r.height) return false;
  const double dx = std::max({r.left + r.radius - x, 0.0, x - (r.left + r.width - r.radius)});
  const double dy = std::max({r.top + r.radius - y, 0.0, y - (r.top + r.height - r.radius)});
  return dx * dx + dy * dy <= r.radius * r.radius;
}

}  // namespace

std::span<const IconPiece> iconPieces() { return kIcon; }

std::vector<std::uint32_t> iconPixels(int size) {
  constexpr int kSamples = 8;
  const double unit = 24.0 / size;  // icon units per pixel
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      unsigned r = 0, g = 0, b = 0, covered = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples) * unit;
          const double y = (py + (sy + 0.5) / kSamples) * unit;
          const IconPiece* top = nullptr;
          for (const IconPiece& piece : kIcon)
            if (inside(piece, x, y)) top = &piece;
          if (!top) continue;
          r += top->colour.r;
          g += top->colour.g;
          b += top->colour.b;
          ++covered;
        }
      }
      if (!covered) continue;  // transparent
      const unsigned alpha = covered * 255 / (kSamples * kSamples);
      pixels[static_cast<std::size_t>(py) * size + px] =
          (alpha << 24) | ((r / covered) << 16) | ((g / covered) << 8) | (b / covered);
    }
  }
  return pixels;
}

}  // namespace tovanik
