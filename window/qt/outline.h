#pragma once
// The window's rounded outline on X11 (a window shape; Wayland takes none).

#include <QRegion>

namespace tovanik {

// The pixels a rounded rectangle of `width` x `height` with corners of `radius` covers,
// filled without antialiasing, as QPainter fills it on a bitmap.
QRegion roundedOutline(int width, int height, double radius);

}  // namespace tovanik
