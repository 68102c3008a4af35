#pragma once
// The families each design font is drawn in, in order of preference, for both windows:
// the design's own family, free look-alikes (Open Sans for Segoe UI), Tahoma, which every
// Windows has and Wine ships, and DejaVu Sans, on nearly every Linux desktop, last. A
// window uses those its system has. Where GDI and fontconfig name a weight differently,
// both names are listed ("Open Sans Semibold" is a family of its own to GDI, a style of
// Open Sans to fontconfig); each system skips the name it does not know.

#include <span>
#include <string_view>

#include "panel/layout.h"

namespace tovanik {

std::span<const std::string_view> fontChain(FontId id);

}  // namespace tovanik
