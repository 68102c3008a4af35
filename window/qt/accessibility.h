#pragma once
// The panel's drawn controls in Qt's accessibility tree, which Qt's bridge hands to AT-SPI
// on Linux: the window's accessible object lists, in the design's tab order, one object per
// drawn control (the switches as checkable buttons, the links as links, minimise and close
// as buttons) and the port box's own (editable text). Each says its name, its tooltip as
// its description (the reason a start or an open failed included) and its state, and
// takes the press action as a click. The window calls announceChanges after each change
// of the panel's state, so that assistive tools hear a switch flip or a reason arrive.

#include "panel/accessible_controls.h"
#include "panel/layout.h"

namespace tovanik {

class MainForm;

// Gives every MainForm the accessible object above (a factory, installed once).
void installPanelAccessibility();

// Sends the drawn controls' changes (panel/accessible_controls.h) as Qt's events.
class AccessibleAnnouncer {
 public:
  void announceChanges(MainForm& form);
  // The keyboard focus went to a drawn control.
  static void announceFocus(MainForm& form, Ctl control);

 private:
  AccessibleAnnouncements said_;
};

}  // namespace tovanik
