// The baseline of the panel's benchmarks: a bare frameless Qt Widgets window of the
// panel's size that paints one colour and does nothing else. Whatever the panel costs
// beyond this window (its layout, fonts, timer, process scans) shows as the ratio.
//
// Build: g++ -O2 bare_window.cpp $(pkg-config --cflags --libs Qt6Widgets) -fPIC
// Usage: bare_window [RRGGBB [X Y]]   (default 008CCA, centred on the screen)
#include <QApplication>
#include <QColor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>

namespace {

class BareWindow : public QWidget {
 public:
  explicit BareWindow(QColor colour)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
        colour_(colour) {
    setWindowTitle("Bare window");
    setFixedSize(314, 290);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), colour_);
  }

 private:
  QColor colour_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QColor colour(QString("#") + (argc > 1 ? argv[1] : "008CCA"));
  if (!colour.isValid()) return 2;
  BareWindow window(colour);
  if (argc > 3) {
    window.move(QString(argv[2]).toInt(), QString(argv[3]).toInt());
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(), window.size());
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
  window.show();
  return app.exec();
}
