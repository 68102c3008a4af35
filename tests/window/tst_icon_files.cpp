// The icon files made at build time (build/icons) show the window's own icon: every PNG is
// the window icon's drawing at its size, and the SVG renders to the same picture. And the
// Linux window's icon is the Windows program's: Qt's drawing matches the one the .ico is
// made from (panel/icon_geometry.h), drawn without Qt.
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>

#include "panel/icon_geometry.h"
#include "window/qt/icon.h"

namespace {

QString iconFile(const QString& sizeFolder, const QString& extension) {
  return qEnvironmentVariable("TOVANIK_BIN_DIR") + "/icons/hicolor/" + sizeFolder +
         "/apps/tovanik-webserver." + extension;
}

QImage windowDrawing(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  tovanik::paintPanelIcon(p, size);
  return image;
}

// Largest difference of any channel at one pixel.
int pixelDifference(QRgb p, QRgb q) {
  return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                   std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
}

// How many pixels differ by more than `tolerance` in any channel.
int pixelsApart(const QImage& a, const QImage& b, int tolerance) {
  const QImage x = a.convertToFormat(QImage::Format_ARGB32);
  const QImage y = b.convertToFormat(QImage::Format_ARGB32);
  int count = 0;
  for (int row = 0; row < x.height(); ++row)
    for (int col = 0; col < x.width(); ++col)
      if (pixelDifference(x.pixel(col, row), y.pixel(col, row)) > tolerance) ++count;
  return count;
}

}  // namespace

class IconFiles : public QObject {
  Q_OBJECT
 private slots:
  void pngIsTheWindowDrawing_data() {
    QTest::addColumn<int>("size");
    for (int size : {16, 24, 32, 48, 64, 128, 256})
      QTest::newRow(qPrintable(QString::number(size))) << size;
  }
  void pngIsTheWindowDrawing() {
    QFETCH(int, size);
    const QString edge = QString::number(size);
    const QImage png(iconFile(edge + "x" + edge, "png"));
    QCOMPARE(png.size(), QSize(size, size));
    QCOMPARE(pixelsApart(png, windowDrawing(size), 0), 0);
  }

  void svgRendersTheSamePicture() {
    QSvgRenderer svg(iconFile("scalable", "svg"));
    QVERIFY(svg.isValid());
    QImage rendered(256, 256, QImage::Format_ARGB32_Premultiplied);
    rendered.fill(Qt::transparent);
    QPainter p(&rendered);
    svg.render(&p);
    p.end();
    // Antialiased edges may round differently; the colours and shapes must match.
    const int apart = pixelsApart(rendered, windowDrawing(256), 16);
    QVERIFY(apart < 256 * 256 / 100);
  }

  // Antialiased edges differ (Qt's coverage against 8 x 8 samples); fills do not: at most
  // one pixel in 25 apart by more than a little, nearly all of them on an edge.
  void windowIconIsTheWindowsIcon_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("windowIcon");  // the window's icon, else the drawing of the files
    QTest::newRow("window icon, 24") << 24 << true;
    QTest::newRow("window icon, 48") << 48 << true;
    QTest::newRow("drawing, 16") << 16 << false;
    QTest::newRow("drawing, 256") << 256 << false;
  }
  void windowIconIsTheWindowsIcon() {
    QFETCH(int, size);
    QFETCH(bool, windowIcon);
    const QImage window =
        (windowIcon ? tovanik::panelIcon().pixmap(size, size).toImage() : windowDrawing(size))
            .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(window.size(), QSize(size, size));
    const std::vector<std::uint32_t> windows = tovanik::iconPixels(size);
    int apart = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const QRgb linux = window.pixel(x, y);
        const QRgb other = windows[static_cast<std::size_t>(y * size + x)];
        const int difference = pixelDifference(linux, other);
        if (difference > 24) ++apart;
      }
    }
    qInfo("%d px: %d pixels apart", size, apart);
    QVERIFY2(apart <= size * size / 25, qPrintable(QString("%1 pixels apart").arg(apart)));
  }
};

QTEST_MAIN(IconFiles)
#include "tst_icon_files.moc"
