#include "panel/font_chain.h"

namespace tovanik {
namespace {

constexpr std::string_view kSemibold[] = {"Segoe UI Semibold", "Segoe UI", "Open Sans Semibold",
                                          "Open Sans",         "Tahoma",   "DejaVu Sans"};
constexpr std::string_view kSegoe[] = {"Segoe UI", "Open Sans", "Tahoma", "DejaVu Sans"};
constexpr std::string_view kTahoma[] = {"Tahoma", "DejaVu Sans"};

}  // namespace

std::span<const std::string_view> fontChain(FontId id) {
  const std::string_view family = fontOf(id).family;
  if (family == "Segoe UI Semibold") return kSemibold;
  if (family == "Segoe UI") return kSegoe;
  return kTahoma;
}

}  // namespace tovanik
