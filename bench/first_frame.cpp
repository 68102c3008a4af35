// Measures the time from starting a program to its first frame on the screen: waits
// until the screen pixel (X, Y) no longer has COLOUR (a previous window has gone),
// starts the program, then reads that pixel every millisecond or so until it has COLOUR.
// Prints "<milliseconds> <pid>" and leaves the program running; exits 1 on a timeout
// (the program is then killed).
//
// Build: g++ -O2 first_frame.cpp $(pkg-config --cflags --libs Qt6Gui) -fPIC
// Usage: first_frame X Y RRGGBB TIMEOUT_MS PROGRAM [ARG...]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

QRgb pixelAt(QScreen* screen, int x, int y) {
  return screen->grabWindow(0, x, y, 1, 1).toImage().pixel(0, 0) & 0xFFFFFF;
}

// Polls until pixel (x, y) is (want == true) or is not (want == false) the colour.
bool waitFor(QScreen* screen, int x, int y, QRgb colour, bool want, Clock::time_point deadline) {
  for (;;) {
    if ((pixelAt(screen, x, y) == colour) == want) return true;
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: first_frame X Y RRGGBB TIMEOUT_MS PROGRAM [ARG...]\n");
    return 2;
  }
  // Our own start-up must not be counted: the application exists before the clock runs.
  int qargc = 1;
  QGuiApplication app(qargc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return 2;
  const int x = std::atoi(argv[1]);
  const int y = std::atoi(argv[2]);
  const QRgb colour = static_cast<QRgb>(std::strtoul(argv[3], nullptr, 16)) & 0xFFFFFF;
  const auto timeout = std::chrono::milliseconds(std::atoi(argv[4]));

  if (!waitFor(screen, x, y, colour, false, Clock::now() + timeout)) {
    std::fprintf(stderr, "first_frame: the pixel still shows the colour of an earlier window\n");
    return 1;
  }
  const auto start = Clock::now();
  // The program's output goes nowhere, so that a caller reading ours is not held open.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[5], &actions, nullptr, argv + 5, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "first_frame: cannot start %s: %s\n", argv[5], std::strerror(spawned));
    return 1;
  }
  if (!waitFor(screen, x, y, colour, true, start + timeout)) {
    kill(pid, SIGKILL);
    std::fprintf(stderr, "first_frame: no frame within %lld ms\n",
                 static_cast<long long>(timeout.count()));
    return 1;
  }
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  std::printf("%.1f %d\n", ms, static_cast<int>(pid));
  return 0;
}
