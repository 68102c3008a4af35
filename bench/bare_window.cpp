// The lower baseline of the panel's start-up and memory benchmarks: a frameless Qt
// Widgets window of the panel's size and flags that paints one colour and nothing else.
// A left click anywhere closes it, as the close label closes the panel.
//
// Usage: bare_window [X Y]   (centred on the screen by default)
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

#include "bench/window_place.h"
#include "panel/layout.h"

namespace {

class BareWindow : public QWidget {
 public:
  BareWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle("Bare window");
    setFixedSize(tovanik::kFormWidthTwips / tovanik::kTwipsPerPixel,
                 tovanik::kFormHeightTwips / tovanik::kTwipsPerPixel);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0x353C42)); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) close();
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  BareWindow window;
  tovanik::bench::place(window, argc, argv);
  window.show();
  return app.exec();
}
