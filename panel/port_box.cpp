#include "panel/port_box.h"

namespace tovanik {
namespace {

// A character's UTF-16 units, from its first byte: two for one beyond the basic plane
// (four bytes in UTF-8); none for a continuation byte.
int unitsOfByte(unsigned char byte) {
  if ((byte & 0xC0) == 0x80) return 0;
  return byte >= 0xF0 ? 2 : 1;
}

}  // namespace

std::string_view PortBoxFont::fitText(std::string_view portText) {
  const int units = utf16Units(portText, static_cast<int>(portText.size()));
  return units < static_cast<int>(kPortFitSample.size()) ? kPortFitSample : portText;
}

std::optional<std::string> PortBoxFont::refitFor(std::string_view portText) {
  const std::string_view text = fitText(portText);
  if (fitted_ == text) return std::nullopt;
  fitted_ = std::string(text);
  return fitted_;
}

int utf16Units(std::string_view utf8, int bytes) {
  int units = 0;
  for (std::size_t i = 0; i < utf8.size() && static_cast<int>(i) < bytes; ++i)
    units += unitsOfByte(static_cast<unsigned char>(utf8[i]));
  return units;
}

int utf8Bytes(std::string_view utf8, int units) {
  std::size_t i = 0;
  for (int counted = 0; i < utf8.size(); ++i) {
    const int more = unitsOfByte(static_cast<unsigned char>(utf8[i]));
    if (more > 0 && counted >= units) break;  // a character the units do not reach
    counted += more;
  }
  return static_cast<int>(i);
}

}  // namespace tovanik
