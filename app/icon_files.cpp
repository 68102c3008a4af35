// tovanik-icons: a build-time tool that writes the panel's icon as files, from the same drawing
// as the window's icon (window/qt/icon.cpp): a scalable SVG and a PNG per size, laid out as an
// icon theme below the folder given. It needs no display and no application object.
// Usage: tovanik-icons DIR
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <iostream>

#include "platform/menu_icons.h"
#include "window/qt/icon.h"

namespace {

bool makeFolderFor(const QString& file) { return QDir().mkpath(QFileInfo(file).absolutePath()); }

bool writePng(const QString& file, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  tovanik::paintPanelIcon(p, size);
  p.end();
  return makeFolderFor(file) && image.save(file, "PNG");
}

bool writeSvg(const QString& file) {
  constexpr int kDesignSize = 24;  // the drawing's own unit square
  if (!makeFolderFor(file)) return false;
  QSvgGenerator svg;
  svg.setFileName(file);
  svg.setSize(QSize(kDesignSize, kDesignSize));
  svg.setViewBox(QRect(0, 0, kDesignSize, kDesignSize));
  svg.setTitle("Tovanik web server");
  QPainter p;
  if (!p.begin(&svg)) return false;
  // The drawing has no text, but the SVG writer records a font on every group: give it a
  // valid one, since without an application object Qt's default font has no size.
  p.setFont(QFont(QStringLiteral("sans-serif"), 9));
  tovanik::paintPanelIcon(p, kDesignSize);
  return p.end();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: tovanik-icons DIR\n";
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]) + '/';
  bool ok = writeSvg(dir + QString::fromStdString(tovanik::menuicons::svgIconPath()));
  for (int size : tovanik::menuicons::kIconSizes)
    ok = writePng(dir + QString::fromStdString(tovanik::menuicons::pngIconPath(size)), size) && ok;
  if (!ok) std::cerr << "tovanik-icons: cannot write the icon files below " << argv[1] << '\n';
  return ok ? 0 : 1;
}
