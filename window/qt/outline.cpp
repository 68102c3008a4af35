#include "window/qt/outline.h"

#include <QBitmap>
#include <QPainter>

namespace tovanik {
namespace {

QRegion drawn(int width, int height, double radius) {
  QBitmap bitmap(width, height);
  bitmap.fill(Qt::color0);
  QPainter painter(&bitmap);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::color1);
  painter.drawRoundedRect(QRect(0, 0, width, height), radius, radius);
  painter.end();
  return QRegion(bitmap);
}

}  // namespace

QRegion roundedOutline(int width, int height, double radius) {
  // Only the corners differ from the rectangle. Drawn window-sized, the outline cost about
  // 4 % of the instructions to the first frame (a window-sized one-bit image, converted on
  // Qt's thread pool, turned into a region); so a small rounded rectangle is drawn, its
  // corners at the same whole-pixel places relative to its edges, and moved out to the
  // window's corners, with the rectangle between them filled.
  // An arc's square, 2 × radius rounded up; not by std::ceil, whose page of libm the panel
  // would map for this alone (64 KiB of RSS).
  int corner = static_cast<int>(2 * radius);
  if (corner < 2 * radius) ++corner;
  const int small = 2 * corner + 2;
  if (width < small || height < small) return drawn(width, height, radius);
  const QRegion shape = drawn(small, small, radius);
  const int right = width - small, bottom = height - small;
  QRegion outline(0, 0, width, height);
  outline -= QRegion(0, 0, corner, corner);
  outline -= QRegion(width - corner, 0, corner, corner);
  outline -= QRegion(0, height - corner, corner, corner);
  outline -= QRegion(width - corner, height - corner, corner, corner);
  outline += shape.intersected(QRect(0, 0, corner, corner));
  outline += shape.intersected(QRect(small - corner, 0, corner, corner)).translated(right, 0);
  outline += shape.intersected(QRect(0, small - corner, corner, corner)).translated(0, bottom);
  outline += shape.intersected(QRect(small - corner, small - corner, corner, corner))
                 .translated(right, bottom);
  return outline;
}

}  // namespace tovanik
