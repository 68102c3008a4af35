#pragma once
// Where the baseline windows appear: at X Y when given (argv[1], argv[2]), else in the
// middle of the screen, where the panel puts itself.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstdlib>

namespace tovanik::bench {

inline void place(QWidget& window, int argc, char** argv) {
  if (argc > 2) {
    window.move(std::atoi(argv[1]), std::atoi(argv[2]));
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(), window.size());
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
}

}  // namespace tovanik::bench
