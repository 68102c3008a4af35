#pragma once
// The keyboard on the panel's window, for both toolkits. The drawn controls are no
// widgets, so the window hands Tab, Shift+Tab, Space and Enter here and gives its
// toolkit's focus where the router asks (WindowShell::focusControl): the port box to its
// own edit box, a drawn control to the window itself, none to the hidden box txtFocus.
//
// Tab moves through the design's tab order and wraps around; Space and Enter on a drawn
// control act as a click on it. The focus mark shows only while the keyboard is in use:
// from a Tab, Space or Enter until the next pointer press, so that the window at rest, and
// used with the pointer alone, looks exactly as designed.

#include <array>
#include <optional>

#include "panel/layout.h"
#include "panel/window_shell.h"

namespace tovanik {

class Panel;

// The controls Tab reaches, in the design's order.
inline constexpr std::array<Ctl, 9> kTabOrder{Ctl::lblStartStop, Ctl::CMDSwitch,   Ctl::txtPort,
                                              Ctl::lblURL,       Ctl::labelConfig, Ctl::lblRootDir,
                                              Ctl::Label3,       Ctl::lblMin,      Ctl::lblClose};

// The design's text boxes in their own tab order, which each toolkit gives its child
// widgets: the port box, the two hidden boxes, the focus box. The router above moves the
// keyboard itself; this order is what the toolkit sees of the boxes.
inline constexpr std::array<Ctl, 4> kTextBoxTabOrder{Ctl::txtPort, Ctl::txtExeName, Ctl::txtRootDir,
                                                     Ctl::txtFocus};

// The focus mark: a one-pixel frame in the design's blue, drawn on the window's surface
// around what the control shows (a switch's track and disc, a caption's label, the port
// box), clear of the rows' separators. Edges in twips, on whole pixels at 96 dpi.
struct FocusMark {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const FocusMark&) const = default;
};
inline constexpr Rgb kFocusMarkColour = colour::kBlue;
// The mark around a control of kTabOrder.
FocusMark focusMarkOf(Ctl control);

class KeyboardRouter {
 public:
  KeyboardRouter(Panel& panel, WindowShell& shell) : panel_(panel), shell_(shell) {}

  // Tab (forward) or Shift+Tab: the next control of the order that takes the focus now
  // (the port box only while it is enabled), counted from the one that has it; from none,
  // the first or the last.
  void tab(bool forward);
  // Space or Enter; false when the focus is on no drawn control (the key is the box's).
  bool activate();
  // The toolkit's focus went to the port box (Ctl::txtPort) or to the hidden box
  // (nullopt), by a click or by one of the panel's reactions.
  void focusTaken(std::optional<Ctl> control);
  // A pointer button went down: the mark goes until the keyboard is used again.
  void pointerPressed() { keyboardInUse_ = false; }

  std::optional<Ctl> focus() const { return focus_; }
  // The mark to draw: only while the keyboard is in use.
  std::optional<FocusMark> mark() const;

 private:
  bool takesFocus(Ctl control) const;

  Panel& panel_;
  WindowShell& shell_;
  std::optional<Ctl> focus_;
  bool keyboardInUse_ = false;
};

}  // namespace tovanik
