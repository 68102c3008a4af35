// Where text ends. The port box's digits end where the right-aligned captions above them
// end (the address and the web folder), at the design's right edge of 4215 twips (281
// pixels), whatever the screen's scale: run at scale 1 and, with QT_SCALE_FACTOR=2, at
// scale 2. And a caption's ink stays inside its box, whatever room the box leaves.
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <fstream>

#include "tests/support/fake_platform.h"
#include "window/qt/caption_fit.h"
#include "window/qt/layout_painter.h"
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
    // The first frame draws the port box itself; the line edit made after it shows the
    // same pixels.
    form.startup().firstCopy([] {});
    const QImage drawn = form.grab().toImage();
    form.startup().loadIfPending();
    const QImage edited = form.grab().toImage();
    const double dpr = drawn.devicePixelRatio();
    const ControlDesign& box = design(Ctl::txtPort);
    const QRect boxPixels(std::lround(px(box.a) * dpr), std::lround(px(box.b) * dpr),
                          std::lround(px(box.c) * dpr), std::lround(px(box.d) * dpr));
    QVERIFY(drawn.copy(boxPixels) == edited.copy(boxPixels));
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

  // The captions of the window's font come from one family: Open Sans where it is installed,
  // at every scale, else DejaVu Sans. The address and the folder are as a user has them.
  void captionsComeFromOneFamily() {
    std::vector<CaptionBox> boxes;
    const std::pair<Ctl, const char*> captions[] = {{Ctl::Label8, "URL"},
                                                    {Ctl::lblURL, "http://localhost:44002"},
                                                    {Ctl::Label5, "Command Prompt"},
                                                    {Ctl::lbl1, "Server Port"},
                                                    {Ctl::Label6, "Root Directory"},
                                                    {Ctl::lblRootDir, "tovanik"},
                                                    {Ctl::labelConfig, "Configuration"},
                                                    {Ctl::Label4, "PHP Web Server"}};
    for (const auto& [id, text] : captions) {
      const ControlDesign& s = design(id);
      boxes.push_back({text, QRectF(px(s.a), px(s.b), px(s.c), px(s.d)), s.align == Align::Right});
    }
    const std::vector<FittedCaption> fitted = fitCaptions(qfontOf(FontId::Window), boxes);
    const QString expected = QFontDatabase::hasFamily("Open Sans") ? "Open Sans" : "DejaVu Sans";
    for (std::size_t i = 0; i < fitted.size(); ++i)
      QVERIFY2(QFontInfo(fitted[i].font).family().startsWith(expected),
               qPrintable(boxes[i].text + ": " + QFontInfo(fitted[i].font).family()));
  }

  // The port box shows every port whole, whatever the font: its first digit is not scrolled
  // out of sight. The ink seen is the whole text's, and none touches the box's left edge.
  void portShowsWhole_data() {
    QTest::addColumn<QString>("port");
    for (const char* port : {"44002", "65535", "80", "1234567"}) QTest::newRow(port) << port;
  }
  void portShowsWhole() {
    QFETCH(QString, port);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("config"));
    std::ofstream(dir.filePath("config/config.ini").toStdString(), std::ios::binary)
        << "[Config]\r\ncommand_prompt=hide\r\nserver_port=" << port.toStdString()
        << "\r\nroot_directory=www\r\nphp_folder=php\r\nexe_name=t-server.exe\r\n";
    FakePlatform platform;
    platform.program_folder_ = dir.path().toStdString();
    MainForm form(platform);
    form.startup().firstCopy([] {});
    form.startup().loadIfPending();  // the boxes are made after the first frame
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QLineEdit* box = form.lineEdit(Ctl::txtPort);
    QCOMPARE(box->text(), port);
    const QImage image = box->grab().toImage();
    const double dpr = image.devicePixelRatio();
    int left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (qGray(image.pixel(x, y)) >= 64) left = std::min(left, x), right = std::max(right, x);
    const double seen = (right - left + 1) / dpr;
    const double whole = inkWidth(box->font(), port);
    QVERIFY2(left >= 1, qPrintable(QString("ink from column %1").arg(left)));
    QVERIFY2(seen >= whole - 1.5, qPrintable(QString("%1 of %2 pixels seen").arg(seen).arg(whole)));
  }

  // Drawn in a box with a margin of 20 pixels all round: every inked pixel lies in the box,
  // one column clear of the end the text runs towards; a narrowed caption reaches within
  // 6 pixels of that column.
  void captionInkStaysInItsBox_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("font");
    QTest::addColumn<QSizeF>("box");
    QTest::addColumn<bool>("alignRight");
    QTest::addColumn<bool>("fills");
    const int window = static_cast<int>(FontId::Window);
    const int title = static_cast<int>(FontId::Title);
    QTest::newRow("design box, a little narrow")
        << "Command Prompt" << window << QSizeF(113, 17) << false << true;
    QTest::newRow("right-aligned, too wide")
        << "http://localhost:19010" << window << QSizeF(120, 17) << true << true;
    QTest::newRow("far too narrow: the least narrowing of all fonts")
        << "Command Prompt" << window << QSizeF(40, 17) << false << true;
    QTest::newRow("too low for the font: smaller") << "Tovanik" << title << QSizeF(129, 18) << false
                                                   << false;
    QTest::newRow("room to spare: drawn as it is")
        << "Configuration" << window << QSizeF(200, 17) << false << false;
  }
  void captionInkStaysInItsBox() {
    QFETCH(QString, text);
    QFETCH(int, font);
    QFETCH(QSizeF, box);
    QFETCH(bool, alignRight);
    QFETCH(bool, fills);
    constexpr int kMargin = 20;
    const QRectF r(QPointF(kMargin, kMargin), box);
    const FittedCaption fitted =
        fitCaption(qfontOf(static_cast<FontId>(font)), text, r, alignRight);
    // Drawn as the window draws it on this screen: at its scale, in device pixels.
    const double dpr = qApp->devicePixelRatio();
    QImage image(((box + QSizeF(2 * kMargin, 2 * kMargin)) * dpr).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(fitted.font);
    painter.setPen(Qt::white);
    painter.drawText(fitted.baseline, text);
    painter.end();

    // Ink as the eye sees it: pixels at least a quarter lit. An outline that ends a hundredth
    // of a pixel beyond the box lights its pixel by less than that.
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (qGray(image.pixel(x, y)) >= 64) ink |= QRect(x, y, 1, 1);
    const auto device = [&](double logical) {
      return static_cast<int>(std::lround(logical * dpr));
    };
    const QRect inside(device(kMargin), device(kMargin), device(box.width()), device(box.height()));
    // Below the box, half a pixel of the design: at scale 2 a descender that ends on the
    // box's last row is hinted a device row lower. Nothing cuts text there (the painter does
    // not clip to the label), and the rows between two labels are free.
    const int below = static_cast<int>(0.5 * dpr);
    const QRect allowed = alignRight ? inside.adjusted(device(1), 0, 0, below)
                                     : inside.adjusted(0, 0, -device(1), below);
    const QString where = QString("ink %1,%2 %3x%4 in %5,%6 %7x%8")
                              .arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())
                              .arg(allowed.x()).arg(allowed.y()).arg(allowed.width())
                              .arg(allowed.height());
    QVERIFY2(!ink.isEmpty() && allowed.contains(ink), qPrintable(where));
    if (fills) {
      const int gap = alignRight ? ink.left() - allowed.left() : allowed.right() - ink.right();
      QVERIFY2(gap <= device(6), qPrintable(where));
    }
  }
};

QTEST_MAIN(PortAlignmentTest)
#include "tst_port_alignment.moc"
