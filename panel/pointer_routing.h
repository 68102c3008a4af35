#pragma once
// The pointer on the panel's window, for both toolkits: which control a press, a motion or
// a release belongs to, the drag anchor and the window's place while dragged, hover, and
// what a click on a label asks of the window. The window hands in its events in its own
// pixels and does what the router asks through WindowShell.
//
// A press belongs to the label under it, or to the bare surface (shapes and lines pass
// their events to it). While a button is held, what it was pressed on keeps the pointer, as
// a captured mouse would: a label goes on taking the motion, the surface goes on dragging.
// Any button moves the anchor; only the left button alone drags. A left release over the
// label it was pressed on is a click.

#include <optional>

#include "panel/dpi_geometry.h"
#include "panel/layout.h"
#include "panel/window_shell.h"

namespace tovanik {

class Panel;

// The buttons held during a motion or left held after a release.
struct HeldButtons {
  bool any = false;
  bool leftAlone = false;  // the left button and no other
};

// The pointer in the window's client area and on the screen, in the window's pixels
// (fractional where the toolkit scales).
struct PointerAt {
  double x = 0, y = 0;
  double screenX = 0, screenY = 0;
};

class PointerRouter {
 public:
  PointerRouter(Panel& panel, WindowShell& shell, int dpi = kBaseDpi);

  // The window moved to a monitor of another DPI (its pixels are device pixels).
  void setDpi(int dpi) { dpi_ = dpi; }

  // A button went down; returns whether on the bare surface.
  bool press(const PointerAt& at);
  // The window system took the drag over (a compositor that moves the window itself):
  // the motions that follow do not move it again.
  void dragHandedOver() { pressOnSurface_ = false; }
  // A button came up; `left` when it was the left one.
  void release(const PointerAt& at, bool left, HeldButtons stillHeld);
  void move(const PointerAt& at, HeldButtons held);
  // The window lost the pointer it held (another window captured it).
  void forgetPress();

  // The drag anchor, in twips: the last press on the bare surface.
  float anchorX() const { return anchorX_; }
  float anchorY() const { return anchorY_; }

 private:
  std::optional<Ctl> labelUnder(const PointerAt& at) const;
  void click(Ctl label);

  Panel& panel_;
  WindowShell& shell_;
  int dpi_;
  float anchorX_ = 0;
  float anchorY_ = 0;
  bool pressOnSurface_ = false;
  std::optional<Ctl> pressedLabel_;
};

}  // namespace tovanik
