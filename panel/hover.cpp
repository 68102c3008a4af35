#include "panel/panel.h"

namespace tovanik {

bool Panel::hover(Ctl label) {
  switch (label) {
    case Ctl::CMDSwitch:
    case Ctl::labelConfig:
    case Ctl::lblStartStop:
      return true;
    case Ctl::lblRootDir:
      at(Ctl::lblRootDir).tooltip = "Open root directory";
      return true;
    case Ctl::lblMin:
      at(Ctl::lblMin).tooltip = "Minimize";
      at(Ctl::lineMin).colour = colour::kMinHover;
      return true;
    case Ctl::lblClose:
      at(Ctl::lblClose).tooltip = "Close";
      at(Ctl::lineClose).colour = colour::kCloseHover;
      return true;
    case Ctl::Label3:
      at(Ctl::Label3).tooltip = "Open " + std::string(kHomePage);
      return true;
    case Ctl::lblURL: {
      ControlState& url = at(Ctl::lblURL);
      if (!showsRunning()) {
        url.tooltip = why_;  // "" unless a start failed
        return false;
      }
      url.tooltip = "Open " + url.caption + listensOn_;
      url.underline = true;
      return true;
    }
    default:
      return false;  // labels without a reaction: nothing at all
  }
}

void Panel::surfaceMotion() {
  at(Ctl::lblURL).underline = false;
  at(Ctl::lineClose).colour = colour::kClose;
  at(Ctl::lineMin).colour = colour::kMin;
}

}  // namespace tovanik
