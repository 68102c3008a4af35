#include "window/qt/icon.h"

#include <QPainter>
#include <QPixmap>

#include "panel/icon_geometry.h"
#include "window/qt/layout_painter.h"

namespace tovanik {

void paintPanelIcon(QPainter& p, double size) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  const double u = size / 24.0;
  for (const IconPiece& piece : iconPieces()) {
    p.setBrush(toQColor(piece.colour));
    const QRectF r(piece.left * u, piece.top * u, piece.width * u, piece.height * u);
    if (piece.radius > 0)
      p.drawRoundedRect(r, piece.radius * u, piece.radius * u);
    else
      p.drawRect(r);
  }
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
