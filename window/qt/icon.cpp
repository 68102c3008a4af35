#include "window/qt/icon.h"

#include <QPainter>
#include <QPixmap>

#include "window/qt/layout_painter.h"

namespace tovanik {

void paintPanelIcon(QPainter& p, double size) {
  p.setRenderHint(QPainter::Antialiasing);
  const double u = size / 24.0;
  p.setPen(Qt::NoPen);
  p.setBrush(toQColor(colour::kWindow));
  p.drawRoundedRect(QRectF(0, 0, size, size), 5 * u, 5 * u);
  p.setBrush(toQColor(colour::kBlue));
  p.drawRoundedRect(QRectF(4 * u, 4 * u, 16 * u, 3 * u), 1.5 * u, 1.5 * u);
  p.setBrush(toQColor(colour::kButtonFace));
  p.drawRect(QRectF(10.5 * u, 9 * u, 3 * u, 11 * u));
  p.drawRect(QRectF(6 * u, 9 * u, 12 * u, 3 * u));
}

QIcon panelIcon() {
  QIcon icon;
  for (int size : {24, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintPanelIcon(p, size);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace tovanik
