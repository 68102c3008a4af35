// The port box's digits end where the right-aligned captions above them end (the
// address and the web folder), at the design's right edge of 4215 twips (281 pixels),
// whatever the screen's scale: run at scale 1 and, with QT_SCALE_FACTOR=2, at scale 2.
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "tests/support/fake_platform.h"
#include "window/qt/main_form.h"

using namespace tovanik;

namespace {

// The right edge, in logical pixels, of the ink in a band of rows of the window: the
// last column holding a pixel lighter than the card behind the text.
double inkRightEdge(const QImage& image, const ControlDesign& s) {
  const double dpr = image.devicePixelRatio();
  const int top = static_cast<int>(px(s.b) * dpr);
  const int bottom = static_cast<int>((px(s.b) + px(s.d)) * dpr);
  for (int x = image.width() - 1; x >= 0; --x)
    for (int y = top; y < bottom; ++y)
      if (qGray(image.pixel(x, y)) > 0x90) return (x + 1) / dpr;
  return -1;
}

}  // namespace

class PortAlignmentTest : public QObject {
  Q_OBJECT

 private slots:
  void portDigitsEndWithTheCaptionsAbove() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("config"));
    // The same digits end the address and the port box, so their ink ends alike when
    // their text does.
    std::ofstream(dir.filePath("config/config.ini").toStdString(), std::ios::binary)
        << "[Config]\r\ncommand_prompt=hide\r\nserver_port=8080\r\nroot_directory=www8080\r\n"
           "php_folder=php\r\nexe_name=t-server.exe\r\n";
    FakePlatform platform;
    platform.program_folder_ = dir.path().toStdString();
    MainForm form(platform);
    form.load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QImage image = form.grab().toImage();
    QVERIFY(image.devicePixelRatio() >= 1);

    const double url = inkRightEdge(image, design(Ctl::lblURL));
    const double port = inkRightEdge(image, design(Ctl::txtPort));
    qInfo("scale %g: address ends at %g, port at %g", image.devicePixelRatio(), url, port);
    QVERIFY2(std::abs(port - url) <= 1.0,
             qPrintable(QString("port %1, address %2").arg(port).arg(url)));
    // Both near the design's edge at 281 pixels, inside it.
    QVERIFY(url <= 281.0 && url >= 278.0);
  }
};

QTEST_MAIN(PortAlignmentTest)
#include "tst_port_alignment.moc"
