#pragma once
// What a screen reader learns of the panel's controls, for both toolkits' accessible
// objects (window/qt/accessibility.h for AT-SPI, window/win32/accessible_panel.h for MSAA):
// which controls are listed and in which order, what kind each is, its name, description,
// checked state and default action, and which of these changed since they were last
// announced. The toolkits add only their calls and the controls' places on the screen.

#include <array>
#include <string>
#include <vector>

#include "panel/keyboard.h"
#include "panel/layout.h"

namespace tovanik {

class Panel;

// The controls an assistive tool lists, in the design's tab order: the drawn switches,
// links and marks, and the port box.
inline constexpr const auto& kAccessibleControls = kTabOrder;

enum class AccessibleRole {
  Switch,    // the two switches: a check box, checked while on
  Link,      // the captions that open something
  Button,    // the minimise and close marks
  PortText,  // the port box: editable text, its value the port
};

AccessibleRole accessibleRole(Ctl control);
// Its caption, or what it does. A switch's name carries its state in words too, as not
// every reader speaks a button's checked state.
std::string accessibleName(const Panel& panel, Ctl control);
// The tooltip the control would show now: the reason of a failed start or open included.
std::string accessibleDescription(const Panel& panel, Ctl control);
bool accessibleChecked(const Panel& panel, Ctl control);
// The address opens only while the server runs; the port box takes keys only while it
// is stopped.
bool accessibleEnabled(const Panel& panel, Ctl control);
// The words of the default action (a click on the control): "" for the port box.
std::string accessibleDefaultAction(const Panel& panel, Ctl control);

// What changed in one control since its last announcement.
struct AccessibleChange {
  Ctl control;
  bool checked = false, name = false, description = false;
};

// What the drawn controls said when last announced (the port box, a toolkit's own
// widget, announces itself).
class AccessibleAnnouncements {
 public:
  // The controls whose name, description or checked state differs from the last call's.
  std::vector<AccessibleChange> changes(const Panel& panel);

 private:
  struct Said {
    std::string name, description;
    bool checked = false;
    bool operator==(const Said&) const = default;
  };
  std::array<Said, kControlCount> said_{};
};

}  // namespace tovanik
