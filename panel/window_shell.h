#pragma once
// What the panel and its shared window logic (pointer routing, the keyboard, the start-up
// order, the paint loop) ask of a toolkit's window, the one interface each window
// implements, and the paint loop itself. Each window keeps only its toolkit's calls
// behind these.

#include <optional>

#include "panel/layout.h"

namespace tovanik {

class Panel;
struct ControlState;
enum class ClickOutcome;

class WindowShell {
 public:
  virtual ~WindowShell() = default;
  // Keeps the window above all others and brings it to the front; a window not shown yet
  // is not shown by it.
  virtual void makeTopMost() = 0;
  // The close mark: the window closes; the server keeps running.
  virtual void closeWindow() = 0;
  virtual void minimiseWindow() = 0;
  // Puts the window's top-left corner at (left, top) on the screen, in the pixels the
  // pointer's screen position was given in.
  virtual void moveWindowTo(int left, int top) = 0;
  // Shows the pointer as a hand, or as the usual arrow.
  virtual void showHand(bool hand) = 0;
  // Gives the toolkit's keyboard focus to what holds `control`'s: the port box's own edit
  // box, the window itself for a drawn control, the hidden box txtFocus for none.
  virtual void focusControl(std::optional<Ctl> control) = 0;
  // Brings the toolkit's widgets in step with the panel's state and repaints what changed.
  virtual void sync() = 0;
  // The first frame is on the screen and the load comes next: what the window put off
  // until then, so as to show that frame sooner, it makes now.
  virtual void firstFrameShown() {}
};

// A click on a label, from the pointer or the keyboard: the label's reaction, and what it
// asks of the window (close, minimise, show the new state).
ClickOutcome clickLabel(Panel& panel, WindowShell& shell, Ctl label);

// One toolkit's drawing of the design's kinds of control.
class LayoutCanvas {
 public:
  virtual ~LayoutCanvas() = default;
  virtual void line(const ControlDesign& design, const ControlState& state) = 0;
  virtual void shape(const ControlDesign& design, const ControlState& state) = 0;
  virtual void label(const ControlDesign& design, const ControlState& state) = 0;
};

// Every visible line, shape and label of the design with the panel's state, bottom first,
// so that each lies over those drawn before it. Text boxes are the toolkit's own widgets
// and the timer has no look.
void paintInDrawingOrder(const Panel& panel, LayoutCanvas& canvas);

}  // namespace tovanik
