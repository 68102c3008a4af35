// The "text window", the upper baseline of the panel's start-up and memory benchmarks:
// a frameless Qt Widgets window of the panel's size and flags that draws the captions
// the panel shows at start, each in the panel's font for it, and nothing else. What the
// panel costs beyond it is the panel's own (widgets, settings, server launch, lock,
// process scans); what both pay is Qt's text machinery. A left click anywhere closes it.
//
// Usage: text_window PORT ROOT_DIRECTORY [X Y]   (centred on the screen by default)
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <string>
#include <vector>

#include "bench/window_place.h"
#include "panel/layout.h"
#include "settings/config.h"
#include "window/qt/layout_painter.h"

namespace {

using namespace tovanik;

struct Caption {
  Ctl control;
  std::string text;
};

class TextWindow : public QWidget {
 public:
  explicit TextWindow(std::vector<Caption> captions)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
        captions_(std::move(captions)) {
    setWindowTitle(QString::fromLatin1(kFormCaption.data(), kFormCaption.size()));
    setFixedSize(kFormWidthTwips / kTwipsPerPixel, kFormHeightTwips / kTwipsPerPixel);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), toQColor(colour::kWindow));
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setPen(toQColor(colour::kButtonFace));
    for (const Caption& c : captions_) {
      const ControlDesign& s = design(c.control);
      p.setFont(qfontOf(s.font));
      const int align = (s.align == Align::Right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop;
      p.drawText(QRectF(px(s.a), px(s.b), px(s.c), px(s.d)), align, QString::fromStdString(c.text));
    }
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) close();
  }

 private:
  std::vector<Caption> captions_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) return 2;
  // The fixed captions of the design, then those the panel fills in from its settings.
  std::vector<Caption> captions;
  for (int i = 0; i < kControlCount; ++i)
    if (kLayout[i].kind == Kind::Label && !kLayout[i].caption.empty())
      captions.push_back({static_cast<Ctl>(i), std::string(kLayout[i].caption)});
  captions.push_back({Ctl::lblURL, localUrl(argv[1])});
  captions.push_back({Ctl::txtPort, argv[1]});
  captions.push_back({Ctl::lblRootDir, std::string(argv[2]) + " >"});
  TextWindow window(std::move(captions));
  tovanik::bench::place(window, argc - 2, argv + 2);
  window.show();
  return app.exec();
}
