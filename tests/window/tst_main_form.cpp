// The panel window on the offscreen platform: the real line edits, pointer routing
// between labels and the surface, dragging, the outline and the load sequence.
#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/fake_platform.h"
#include "tests/support/test_support.h"
#include "window/qt/main_form.h"

using namespace tovanik;

namespace {

QPointF centreOf(Ctl c) {
  const ControlDesign& s = design(c);
  return {px(s.a) + px(s.c) / 2, px(s.b) + px(s.d) / 2};
}

// A point of bare surface: the card between the rows' captions and values.
const QPointF kSurface(200, 124);

void send(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button,
          Qt::MouseButtons held) {
  QMouseEvent event(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &event);
}

// A motion whose window position and screen position disagree: the window system
// reports positions against where the window was before its last move was applied.
void sendMotion(QWidget* w, QPointF at, QPointF global, Qt::MouseButtons held) {
  QMouseEvent event(QEvent::MouseMove, at, global, Qt::NoButton, held, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &event);
}

// Notes how many launches the fake platform had seen when the widget was first painted.
class FirstPaintWatch : public QObject {
 public:
  FirstPaintWatch(QWidget* widget, const FakePlatform& platform)
      : QObject(widget), platform_(platform) {
    widget->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      if (paints == 0) launchesAtFirstPaint = platform_.launches_.size();
      ++paints;
    }
    return false;
  }
  int paints = 0;
  size_t launchesAtFirstPaint = 0;

 private:
  const FakePlatform& platform_;
};

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  FakePlatform platform_;
  std::unique_ptr<MainForm> form_;
  QFont desktopFont_;

  QString configFile() const { return dir_.path() + "/config/config.ini"; }
  std::string configText() const { return test::readBytes(configFile().toStdString()); }
  void writeConfig(const std::string& text) {
    test::writeBytes(configFile().toStdString(), text);
  }

 private slots:
  void init() {
    QVERIFY(QDir(dir_.path()).mkpath("config"));
    // The server and web folder of the defaults, so that the panel launches.
    QVERIFY(QDir(dir_.path()).mkpath("php"));
    QVERIFY(QDir(dir_.path()).mkpath("tovanik"));
    const QString server = dir_.path() + "/php/t-server.exe";
    test::writeBytes(server.toStdString(), "");
    QVERIFY(QFile::setPermissions(server, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QFile::remove(configFile());
    platform_ = FakePlatform();
    platform_.program_folder_ = dir_.path().toStdString();
    desktopFont_ = QGuiApplication::font();
    form_ = std::make_unique<MainForm>(platform_);
    form_->startup().loadAfterFirstPaint();  // the load as after the first frame
    form_->startup().loadIfPending();
  }

  void loadSequenceFillsTheWindowAndLaunches() {
    QCOMPARE(configText(),
             std::string("[Config]\r\ncommand_prompt=hide\r\nserver_port=80\r\n"
                         "root_directory=tovanik\r\nphp_folder=php\r\nexe_name=t-server.exe\r\n"));
    QCOMPARE(form_->lineEdit(Ctl::txtPort)->text(), QString("80"));
    QCOMPARE(form_->lineEdit(Ctl::txtExeName)->text(), QString("t-server.exe"));
    QCOMPARE(form_->panel()[Ctl::lblURL].caption, std::string("http://localhost"));
    // The boxes are made in a face the window has drawn; tooltips keep the desktop's font.
    QCOMPARE(form_->lineEdit(Ctl::txtExeName)->font().family(),
             form_->lineEdit(Ctl::txtPort)->font().family());
    QCOMPARE(QGuiApplication::font(), desktopFont_);
    QCOMPARE(platform_.launches_.size(), size_t(1));
    QVERIFY(form_->timer().isActive());
    QCOMPARE(form_->timer().interval(), 1000);
    QCOMPARE(form_->size(), QSize(314, 290));
    QVERIFY(form_->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(form_->windowFlags() & Qt::WindowStaysOnTopHint);
  }

  void typingInThePortBox() {
    form_->show();
    QLineEdit* port = form_->lineEdit(Ctl::txtPort);
    port->setFocus();
    port->setCursorPosition(2);
    QTest::keyClicks(port, "8");
    QCOMPARE(port->text(), QString("808"));
    QVERIFY(configText().find("server_port=808\r\n") != std::string::npos);
    QTest::keyClicks(port, "0");
    QVERIFY(configText().find("server_port=8080\r\n") != std::string::npos);

    // A letter typed in the middle is undone, with the caret at the end.
    port->setCursorPosition(1);
    QTest::keyClicks(port, "x");
    QCOMPARE(port->text(), QString("8080"));
    QCOMPARE(port->cursorPosition(), 4);

    // Deleting everything restores the stored port.
    port->selectAll();
    QTest::keyClick(port, Qt::Key_Backspace);
    QCOMPARE(port->text(), QString("8080"));

    // Ctrl+A, a refused key, a digit: the digit replaces the port still selected.
    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(port, "09");
    QCOMPARE(port->text(), QString("9"));
    QVERIFY(configText().find("server_port=9\r\n") != std::string::npos);
  }

  void keyboardTabSpaceAndTheMark() {
    form_->show();
    const QPoint onMark(243, 130);  // the console switch's mark's left edge, on the card
    QCOMPARE(form_->grab().toImage().pixelColor(onMark), QColor(0x2B, 0x2E, 0x31));
    form_->panel().statusTick();  // the launch is seen running
    QTest::keyClick(form_->lineEdit(Ctl::txtFocus), Qt::Key_Tab);
    QTest::keyClick(form_.get(), Qt::Key_Space);  // the switch stops it
    QCOMPARE(platform_.kills_, std::vector<std::string>{"t-server.exe"});
    form_->panel().statusTick();  // stopped: the port box takes the focus again
    form_->sync();
    QTest::keyClick(form_.get(), Qt::Key_Tab);
    QTest::keyClick(form_.get(), Qt::Key_Tab);
    QCOMPARE(form_->focusWidget(), form_->lineEdit(Ctl::txtPort));
    QTest::keyClick(form_->lineEdit(Ctl::txtPort), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(form_->focusWidget(), form_.get());
    QCOMPARE(form_->grab().toImage().pixelColor(onMark), QColor(0x00, 0x8C, 0xCA));
    QTest::mouseClick(form_.get(), Qt::LeftButton, {}, kSurface.toPoint());
    QCOMPARE(form_->grab().toImage().pixelColor(onMark), QColor(0x2B, 0x2E, 0x31));
  }

  void pressColoursThePortBox() {
    form_->show();
    QLineEdit* port = form_->lineEdit(Ctl::txtPort);
    QTest::mouseClick(port, Qt::LeftButton);
    QCOMPARE(port->palette().color(QPalette::Base), QColor(0x24, 0x28, 0x2B));
    form_->panel().startPHP();
    form_->sync();
    QCOMPARE(port->palette().color(QPalette::Base), QColor(0x2B, 0x2E, 0x31));
  }

  void hoverAndSurfaceReset() {
    form_->show();
    send(form_.get(), QEvent::MouseMove, centreOf(Ctl::lblMin), Qt::NoButton, Qt::NoButton);
    QCOMPARE(form_->panel()[Ctl::lineMin].colour, colour::kMinHover);
    QCOMPARE(form_->cursor().shape(), Qt::PointingHandCursor);
    // Straight onto another label: the highlight stays.
    send(form_.get(), QEvent::MouseMove, centreOf(Ctl::lblClose), Qt::NoButton, Qt::NoButton);
    QCOMPARE(form_->panel()[Ctl::lineMin].colour, colour::kMinHover);
    QCOMPARE(form_->panel()[Ctl::lineClose].colour, colour::kCloseHover);
    // A label without a reaction: nothing changes, the ordinary pointer.
    send(form_.get(), QEvent::MouseMove, centreOf(Ctl::Label6), Qt::NoButton, Qt::NoButton);
    QCOMPARE(form_->panel()[Ctl::lineClose].colour, colour::kCloseHover);
    QCOMPARE(form_->cursor().shape(), Qt::ArrowCursor);
    // lblURL while stopped: no hand, no tooltip.
    send(form_.get(), QEvent::MouseMove, centreOf(Ctl::lblURL), Qt::NoButton, Qt::NoButton);
    QCOMPARE(form_->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(form_->panel()[Ctl::lblURL].tooltip.empty());
    // A line counts as surface: the accent bar.
    send(form_.get(), QEvent::MouseMove, QPointF(100, 16), Qt::NoButton, Qt::NoButton);
    QCOMPARE(form_->panel()[Ctl::lineMin].colour, colour::kMin);
    QCOMPARE(form_->panel()[Ctl::lineClose].colour, colour::kClose);
  }

  void dragAnchorAndDragging() {
    form_->move(100, 100);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    const QPoint start = form_->pos();

    // A press on a label leaves the anchor; a right press on the surface moves it.
    send(form_.get(), QEvent::MouseButtonPress, centreOf(Ctl::Label6), Qt::LeftButton,
         Qt::LeftButton);
    send(form_.get(), QEvent::MouseButtonRelease, centreOf(Ctl::Label6), Qt::LeftButton,
         Qt::NoButton);
    QCOMPARE(form_->dragAnchor(), QPointF(0, 0));
    send(form_.get(), QEvent::MouseButtonPress, kSurface, Qt::RightButton, Qt::RightButton);
    QCOMPARE(form_->dragAnchor(), QPointF(200 * 15, 124 * 15));
    // Right button held: no move. Left and right together: no move.
    send(form_.get(), QEvent::MouseMove, kSurface + QPointF(10, 5), Qt::NoButton, Qt::RightButton);
    QCOMPARE(form_->pos(), start);
    send(form_.get(), QEvent::MouseMove, kSurface + QPointF(10, 5), Qt::NoButton,
         Qt::LeftButton | Qt::RightButton);
    QCOMPARE(form_->pos(), start);
    send(form_.get(), QEvent::MouseButtonRelease, kSurface, Qt::RightButton, Qt::NoButton);

    // Left alone: the window follows the pointer.
    send(form_.get(), QEvent::MouseButtonPress, kSurface, Qt::LeftButton, Qt::LeftButton);
    send(form_.get(), QEvent::MouseMove, kSurface + QPointF(10, 5), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(form_->pos(), start + QPoint(10, 5));
    send(form_.get(), QEvent::MouseButtonRelease, kSurface, Qt::LeftButton, Qt::NoButton);

    // A press on a label keeps the pointer for that label: moving on over the surface
    // with the button held drags nothing.
    const QPoint before = form_->pos();
    send(form_.get(), QEvent::MouseButtonPress, centreOf(Ctl::Label6), Qt::LeftButton,
         Qt::LeftButton);
    send(form_.get(), QEvent::MouseMove, kSurface + QPointF(30, 2), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(form_->pos(), before);
    send(form_.get(), QEvent::MouseButtonRelease, kSurface, Qt::LeftButton, Qt::NoButton);
  }

  // Bursts of fast motion: each event reports the pointer against the window's position
  // before the previous move took effect, as X11 does while the window manager lags.
  // The window must follow the pointer's travel exactly, never overshoot it.
  void fastDragFollowsThePointer() {
    form_->move(100, 100);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    const QPoint start = form_->pos();
    const QPointF pressedAt = form_->mapToGlobal(kSurface);
    send(form_.get(), QEvent::MouseButtonPress, kSurface, Qt::LeftButton, Qt::LeftButton);
    QPointF travel;
    for (int burst = 1; burst <= 12; ++burst) {
      travel += QPointF(50, burst % 2 ? 25 : -10);
      // Reported against the starting position: no move has been applied yet.
      sendMotion(form_.get(), kSurface + travel, pressedAt + travel, Qt::LeftButton);
    }
    QCOMPARE(form_->pos(), start + travel.toPoint());
    send(form_.get(), QEvent::MouseButtonRelease, kSurface, Qt::LeftButton, Qt::NoButton);
  }

  // The copy that shows reads its settings before the window appears, and launches the
  // server only after the first frame has been painted.
  void startUpLaunchesAfterTheFirstFrame() {
    QFile::remove(configFile());
    FakePlatform platform;
    platform.program_folder_ = dir_.path().toStdString();
    MainForm form(platform);
    form.startup().showSettings();
    form.startup().loadAfterFirstPaint();
    QCOMPARE(form.panel()[Ctl::txtPort].caption, std::string("80"));  // drawn by the first frame
    QCOMPARE(form.panel()[Ctl::lblURL].caption, std::string("http://localhost"));
    QVERIFY(configText().find("exe_name=t-server.exe") != std::string::npos);
    QCoreApplication::processEvents();
    QVERIFY(platform.launches_.empty());  // not shown, not painted: no launch yet

    const auto* watch = new FirstPaintWatch(&form, platform);
    form.show();
    QTRY_COMPARE(platform.launches_.size(), size_t(1));
    QVERIFY(watch->paints >= 1);
    QCOMPARE(watch->launchesAtFirstPaint, size_t(0));
    QCOMPARE(form.lineEdit(Ctl::txtPort)->text(), QString("80"));  // the box made after it
    QCOMPARE(form.panel()[Ctl::lblURL].caption, std::string("http://localhost"));
    // Later frames launch nothing more.
    const int paints = watch->paints;
    form.update();
    QTRY_VERIFY(watch->paints > paints);
    QCOMPARE(platform.launches_.size(), size_t(1));
  }

  // A window that is never painted still launches, at the first status tick.
  void startUpLaunchesAtTheFirstTickWithoutAFrame() {
    FakePlatform platform;
    platform.program_folder_ = dir_.path().toStdString();
    MainForm form(platform);
    form.startup().showSettings();
    form.startup().loadAfterFirstPaint();
    QTRY_COMPARE_WITH_TIMEOUT(platform.launches_.size(), size_t(1), 3000);
  }

  void roundedOutline() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    const QRegion outline = form_->outline();
    QCOMPARE(outline.boundingRect(), QRect(0, 0, 313, 289));
    QVERIFY(!outline.contains(QPoint(0, 0)));
    QVERIFY(!outline.contains(QPoint(312, 288)));
    QVERIFY(outline.contains(QPoint(156, 0)));
    QVERIFY(outline.contains(QPoint(10, 10)));
    // Pixel for pixel the rounded rectangle drawn window-sized on a bitmap.
    QBitmap whole(form_->size());
    whole.fill(Qt::color0);
    QPainter painter(&whole);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawRoundedRect(QRect(0, 0, 313, 289), 10.0, 10.0);
    painter.end();
    QCOMPARE(outline, QRegion(whole));
  }

  void labelClicks() {
    writeConfig("[Config]\r\ncommand_prompt=hide\r\nserver_port=8080\r\nexe_name=t-server.exe\r\n");
    form_->show();
    // A link moves the focus to the hidden box, away from the port box that had it. The
    // window is not active offscreen, so the focus is read as the child that would have it.
    form_->lineEdit(Ctl::txtPort)->setFocus();
    QCOMPARE(form_->focusWidget(), form_->lineEdit(Ctl::txtPort));
    QTest::mouseClick(form_.get(), Qt::LeftButton, {}, centreOf(Ctl::lblRootDir).toPoint());
    QCOMPARE(platform_.opened_paths_.size(), size_t(1));
    QCOMPARE(form_->focusWidget(), form_->lineEdit(Ctl::txtFocus));
    form_->panel().startPHP();  // the fake now runs t-server.exe
    form_->panel().statusTick();
    form_->sync();
    QTest::mouseClick(form_.get(), Qt::LeftButton, {}, centreOf(Ctl::lblURL).toPoint());
    QCOMPARE(platform_.opened_urls_, std::vector<std::string>{"http://localhost:8080"});
    // A press on one label released over another is no click.
    send(form_.get(), QEvent::MouseButtonPress, centreOf(Ctl::lblStartStop), Qt::LeftButton,
         Qt::LeftButton);
    send(form_.get(), QEvent::MouseButtonRelease, centreOf(Ctl::Label6), Qt::LeftButton,
         Qt::NoButton);
    QVERIFY(platform_.kills_.empty());
    QTest::mouseClick(form_.get(), Qt::LeftButton, {}, centreOf(Ctl::lblStartStop).toPoint());
    QCOMPARE(platform_.kills_, std::vector<std::string>{"t-server.exe"});
    form_->panel().statusTick();  // stopped: the port box takes the focus again
    form_->sync();

    QTest::mouseClick(form_.get(), Qt::LeftButton, {}, centreOf(Ctl::lblMin).toPoint());
    QVERIFY(form_->windowState() & Qt::WindowMinimized);
    // A later start of the program asks for the window: back from minimised.
    form_->bringBack("");
    QVERIFY(!(form_->windowState() & Qt::WindowMinimized));
    QVERIFY(form_->isVisible());
    QTest::mouseClick(form_.get(), Qt::LeftButton, {}, centreOf(Ctl::lblClose).toPoint());
    QVERIFY(!form_->isVisible());
  }

  void tickFollowsTheProcessTable() {
    QLineEdit* port = form_->lineEdit(Ctl::txtPort);
    QVERIFY(port->isEnabled());
    platform_.running_names_.insert("t-server.exe");
    QTRY_VERIFY_WITH_TIMEOUT(!port->isEnabled(), 3000);  // the real timer's tick
    QVERIFY(form_->panel()[Ctl::shapeOn].visible);
  }
};

QTEST_MAIN(MainFormTest)
#include "tst_main_form.moc"
