#include "panel/pointer_routing.h"

#include "panel/dpi_geometry.h"
#include "panel/panel.h"

namespace tovanik {

PointerRouter::PointerRouter(Panel& panel, WindowShell& shell, int dpi)
    : panel_(panel), shell_(shell), dpi_(dpi) {}

std::optional<Ctl> PointerRouter::labelUnder(const PointerAt& at) const {
  return labelAt(twipsOf(at.x, dpi_), twipsOf(at.y, dpi_));
}

bool PointerRouter::press(const PointerAt& at) {
  pressedLabel_ = labelUnder(at);
  pressOnSurface_ = !pressedLabel_;
  if (pressOnSurface_) {
    anchorX_ = twipsOf(at.x, dpi_);
    anchorY_ = twipsOf(at.y, dpi_);
  }
  return pressOnSurface_;
}

void PointerRouter::release(const PointerAt& at, bool left, HeldButtons stillHeld) {
  const auto label = labelUnder(at);
  const bool clicked = left && pressedLabel_ && label == pressedLabel_;
  if (!stillHeld.any) forgetPress();
  if (clicked) click(*label);
}

void PointerRouter::forgetPress() {
  pressedLabel_.reset();
  pressOnSurface_ = false;
}

void PointerRouter::move(const PointerAt& at, HeldButtons held) {
  std::optional<Ctl> label;
  if (held.any && pressedLabel_)
    label = pressedLabel_;
  else if (!(held.any && pressOnSurface_))
    label = labelUnder(at);
  if (label) {
    shell_.showHand(panel_.hover(*label));
    shell_.sync();
    return;
  }
  if (held.leftAlone && pressOnSurface_) {
    // The pressed point goes under the pointer: the window's place comes from the pointer's
    // place on the screen and the press's offset, never from the window's own position,
    // which lags behind while the display has not applied the previous move.
    const float perPixel = twipsPerPixel(dpi_);
    shell_.moveWindowTo(dragOrigin(at.screenX, anchorX_, perPixel),
                        dragOrigin(at.screenY, anchorY_, perPixel));
  }
  panel_.surfaceMotion();
  shell_.showHand(false);
  shell_.sync();
}

void PointerRouter::click(Ctl label) { clickLabel(panel_, shell_, label); }

}  // namespace tovanik
