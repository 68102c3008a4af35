#pragma once
// The benchmark's view of the X display: when a new top-level window first draws (from
// the server's damage events, so nothing is polled while a program starts), pointer
// clicks through the XTest extension, and single pixels for checks between rounds.

#include <cstdint>
#include <map>
#include <optional>

#include "bench/processes.h"

struct _XDisplay;
union _XEvent;

namespace tovanik::bench {

// An X window id (Xlib's Window), kept free of Xlib's header, whose macros clash with
// ordinary names.
using XWindow = unsigned long;

class XDisplay {
 public:
  // Opens $DISPLAY; exits the program with a message when it or an extension is missing.
  XDisplay();
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  // Forgets the windows seen so far: the next first frame is that of a window created
  // after this call.
  void arm();
  // Waits for the first drawing into a top-level window created since arm() and taken
  // in by the window manager (reparented into its frame). nullopt at the deadline.
  std::optional<XWindow> waitFirstFrame(Clock::time_point deadline);

  // A left click at (x, y) of the window, as a user's pointer would make it.
  void click(XWindow window, int x, int y);
  // The pointer to the screen's top left corner, away from any window the run opens.
  void parkPointer();
  // The colour of pixel (x, y) of the window as 0xRRGGBB.
  std::uint32_t pixel(XWindow window, int x, int y);

 private:
  bool nextEvent(_XEvent& event, Clock::time_point deadline);
  void forgetWindows();

  _XDisplay* display_ = nullptr;
  XWindow root_ = 0;
  int damageEvent_ = 0;
  struct Watched {
    unsigned long damage = 0;
    bool managed = false;  // reparented by the window manager
  };
  std::map<XWindow, Watched> windows_;
};

}  // namespace tovanik::bench
