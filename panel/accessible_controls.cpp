#include "panel/accessible_controls.h"

#include "panel/panel.h"

namespace tovanik {

AccessibleRole accessibleRole(Ctl control) {
  switch (control) {
    case Ctl::lblStartStop:
    case Ctl::CMDSwitch:
      return AccessibleRole::Switch;
    case Ctl::lblMin:
    case Ctl::lblClose:
      return AccessibleRole::Button;
    case Ctl::txtPort:
      return AccessibleRole::PortText;
    default:
      return AccessibleRole::Link;
  }
}

std::string accessibleName(const Panel& panel, Ctl control) {
  switch (control) {
    case Ctl::lblStartStop:
      return panel.showsRunning() ? "Server: running" : "Server: stopped";
    case Ctl::CMDSwitch:
      return panel.showsConsole() ? "PHP command prompt: shown" : "PHP command prompt: hidden";
    case Ctl::txtPort:
      return "Server port";
    case Ctl::lblRootDir:
      return "Root directory " + panel[control].caption.substr(0, panel[control].caption.rfind(" >"));
    case Ctl::lblMin:
      return "Minimize";
    case Ctl::lblClose:
      return "Close";
    default:
      return panel[control].caption;  // the address, "Configuration", "Tovanik"
  }
}

std::string accessibleDescription(const Panel& panel, Ctl control) {
  return panel.tooltipFor(control);
}

bool accessibleChecked(const Panel& panel, Ctl control) {
  return control == Ctl::lblStartStop ? panel.showsRunning()
                                      : control == Ctl::CMDSwitch && panel.showsConsole();
}

bool accessibleEnabled(const Panel& panel, Ctl control) {
  if (control == Ctl::lblURL) return panel.showsRunning();
  return control != Ctl::txtPort || panel[control].enabled;
}

std::string accessibleDefaultAction(const Panel& panel, Ctl control) {
  switch (accessibleRole(control)) {
    case AccessibleRole::Switch:
      return accessibleChecked(panel, control) ? "Uncheck" : "Check";
    case AccessibleRole::Link:
      return "Jump";
    case AccessibleRole::Button:
      return "Press";
    case AccessibleRole::PortText:
      break;
  }
  return "";
}

std::vector<AccessibleChange> AccessibleAnnouncements::changes(const Panel& panel) {
  std::vector<AccessibleChange> changed;
  for (const Ctl c : kAccessibleControls) {
    if (c == Ctl::txtPort) continue;
    Said now{accessibleName(panel, c), accessibleDescription(panel, c), accessibleChecked(panel, c)};
    Said& before = said_[static_cast<std::size_t>(index(c))];
    if (now == before) continue;
    changed.push_back({c, now.checked != before.checked, now.name != before.name,
                       now.description != before.description});
    before = std::move(now);
  }
  return changed;
}

}  // namespace tovanik
