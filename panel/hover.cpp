#include "panel/panel.h"

namespace tovanik {

bool Panel::hover(Ctl label) {
  switch (label) {
    case Ctl::CMDSwitch:
    case Ctl::lblStartStop:
      return true;
    case Ctl::labelConfig:
    case Ctl::lblRootDir:
    case Ctl::Label3:
      at(label).tooltip = linkTooltip(label);  // or why the last open failed
      return true;
    case Ctl::lblMin:
      at(Ctl::lblMin).tooltip = "Minimize";
      at(Ctl::lineMin).colour = colour::kMinHover;
      return true;
    case Ctl::lblClose:
      at(Ctl::lblClose).tooltip = "Close";
      at(Ctl::lineClose).colour = colour::kCloseHover;
      return true;
    case Ctl::lblURL: {
      ControlState& url = at(Ctl::lblURL);
      if (!showsRunning()) {
        url.tooltip = why_;  // "" unless a start failed
        return false;
      }
      url.tooltip = linkTooltip(Ctl::lblURL);
      url.underline = true;
      return true;
    }
    default:
      return false;  // labels without a reaction: nothing at all
  }
}

std::string Panel::tooltipFor(Ctl label) const {
  switch (label) {
    case Ctl::labelConfig:
    case Ctl::lblRootDir:
    case Ctl::Label3:
      return linkTooltip(label);
    case Ctl::lblURL:
      return showsRunning() ? linkTooltip(label) : why_;
    case Ctl::lblMin:
      return "Minimize";
    case Ctl::lblClose:
      return "Close";
    default:
      return (*this)[label].tooltip;
  }
}

void Panel::surfaceMotion() {
  at(Ctl::lblURL).underline = false;
  at(Ctl::lineClose).colour = colour::kClose;
  at(Ctl::lineMin).colour = colour::kMin;
}

}  // namespace tovanik
