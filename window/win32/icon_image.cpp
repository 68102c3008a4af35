#include "window/win32/icon_image.h"

#include "panel/icon_geometry.h"

namespace tovanik {
namespace {

void put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

}  // namespace

std::vector<std::uint8_t> icoFile(std::span<const int> sizes) {
  std::vector<std::uint8_t> out;
  put16(out, 0);  // reserved
  put16(out, 1);  // an icon
  put16(out, static_cast<unsigned>(sizes.size()));
  std::vector<std::vector<std::uint8_t>> images;
  for (int size : sizes) {
    // A BITMAPINFOHEADER of twice the height (colour rows, then the mask's), the colour
    // rows bottom up in BGRA, then an all-clear mask: the alpha channel decides.
    std::vector<std::uint8_t> image;
    const std::uint32_t maskRow = ((static_cast<std::uint32_t>(size) + 31) / 32) * 4;
    put32(image, 40);
    put32(image, static_cast<std::uint32_t>(size));
    put32(image, static_cast<std::uint32_t>(size) * 2);
    put16(image, 1);   // planes
    put16(image, 32);  // bits per pixel
    put32(image, 0);   // BI_RGB
    put32(image, static_cast<std::uint32_t>(size) * size * 4 + maskRow * size);
    for (int i = 0; i < 4; ++i) put32(image, 0);
    const auto pixels = iconPixels(size);
    for (int y = size - 1; y >= 0; --y)
      for (int x = 0; x < size; ++x) put32(image, pixels[static_cast<std::size_t>(y) * size + x]);
    image.insert(image.end(), maskRow * static_cast<std::uint32_t>(size), 0);
    images.push_back(std::move(image));
  }
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const int size = sizes[i];
    out.push_back(static_cast<std::uint8_t>(size >= 256 ? 0 : size));  // 0 means 256
    out.push_back(static_cast<std::uint8_t>(size >= 256 ? 0 : size));
    out.push_back(0);  // no palette
    out.push_back(0);
    put16(out, 1);   // planes
    put16(out, 32);  // bits per pixel
    put32(out, static_cast<std::uint32_t>(images[i].size()));
    put32(out, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

}  // namespace tovanik
