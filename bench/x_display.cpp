#include "bench/x_display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <cstdio>
#include <cstdlib>

namespace tovanik::bench {
namespace {

// Windows come and go while we watch them (Qt's hidden helper windows, closed
// programs); requests on a window already gone are expected and harmless.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "tovanik-bench: %s\n", what);
  std::exit(2);
}

}  // namespace

XDisplay::XDisplay() {
  display_ = XOpenDisplay(nullptr);
  if (!display_) die("cannot open the X display $DISPLAY");
  XSetErrorHandler(ignoreXErrors);
  int damageError = 0;
  if (!XDamageQueryExtension(display_, &damageEvent_, &damageError))
    die("the X server has no DAMAGE extension");
  int xtest[4];
  if (!XTestQueryExtension(display_, &xtest[0], &xtest[1], &xtest[2], &xtest[3]))
    die("the X server has no XTEST extension");
  root_ = DefaultRootWindow(display_);
  XSelectInput(display_, root_, SubstructureNotifyMask);
  XSync(display_, False);
}

XDisplay::~XDisplay() {
  forgetWindows();
  XCloseDisplay(display_);
}

void XDisplay::forgetWindows() {
  for (const auto& [window, watched] : windows_) XDamageDestroy(display_, watched.damage);
  windows_.clear();
  XSync(display_, False);
}

void XDisplay::arm() {
  forgetWindows();
  XEvent event;
  while (XPending(display_)) XNextEvent(display_, &event);
}

bool XDisplay::nextEvent(XEvent& event, Clock::time_point deadline) {
  while (!XPending(display_)) {
    const double left = std::chrono::duration<double, std::milli>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left) + 1);
  }
  XNextEvent(display_, &event);
  return true;
}

std::optional<XWindow> XDisplay::waitFirstFrame(Clock::time_point deadline) {
  XEvent event;
  while (nextEvent(event, deadline)) {
    if (event.type == CreateNotify && event.xcreatewindow.parent == root_) {
      const Window w = event.xcreatewindow.window;
      windows_[w].damage = XDamageCreate(display_, w, XDamageReportNonEmpty);
      XFlush(display_);
    } else if (event.type == ReparentNotify && event.xreparent.parent != root_) {
      auto it = windows_.find(event.xreparent.window);
      if (it != windows_.end()) it->second.managed = true;
    } else if (event.type == damageEvent_ + XDamageNotify) {
      const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
      auto it = windows_.find(damage.drawable);
      if (it != windows_.end() && it->second.managed) {
        const Window w = it->first;
        forgetWindows();
        return w;
      }
    }
  }
  return std::nullopt;
}

void XDisplay::click(Window window, int x, int y) {
  int rootX = 0, rootY = 0;
  Window child = 0;
  XTranslateCoordinates(display_, window, root_, x, y, &rootX, &rootY, &child);
  XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
  XTestFakeButtonEvent(display_, 1, True, CurrentTime);
  XTestFakeButtonEvent(display_, 1, False, CurrentTime);
  XFlush(display_);
}

void XDisplay::parkPointer() {
  XTestFakeMotionEvent(display_, -1, 0, 0, CurrentTime);
  XFlush(display_);
}

std::uint32_t XDisplay::pixel(Window window, int x, int y) {
  XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xFFFFFFFF;
  const auto value = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
  XDestroyImage(image);
  return value;
}

}  // namespace tovanik::bench
