#include "panel/keyboard.h"

#include <algorithm>

#include "panel/panel.h"

namespace tovanik {

FocusMark focusMarkOf(Ctl control) {
  // Two pixels or more around what each control shows; the label rectangles of the
  // switches are smaller than their pills, and the product name's reaches down over the
  // subtitle, so the marks are given here rather than derived from them.
  switch (control) {
    case Ctl::lblStartStop:
      return {3855, 645, 4485, 1035};
    case Ctl::CMDSwitch:
      return {3645, 1860, 4275, 2220};
    case Ctl::txtPort:
      return {3570, 2370, 4245, 2730};
    case Ctl::lblURL:
      return {2010, 1410, 4245, 1725};
    case Ctl::labelConfig:
      return {450, 3330, 1845, 3645};
    case Ctl::lblRootDir:
      return {2130, 2850, 4245, 3165};
    case Ctl::Label3:
      return {210, 330, 2205, 765};
    case Ctl::lblMin:
      return {3450, 90, 4005, 405};
    case Ctl::lblClose:
      return {4050, 90, 4605, 405};
    default:
      return {};
  }
}

bool KeyboardRouter::takesFocus(Ctl control) const {
  return control != Ctl::txtPort || panel_[Ctl::txtPort].enabled;
}

void KeyboardRouter::tab(bool forward) {
  const int count = static_cast<int>(kTabOrder.size());
  const auto at = focus_ ? std::find(kTabOrder.begin(), kTabOrder.end(), *focus_) : kTabOrder.end();
  int i = at == kTabOrder.end() ? (forward ? -1 : count)
                                : static_cast<int>(at - kTabOrder.begin());
  do i = ((forward ? i + 1 : i - 1) + count) % count;
  while (!takesFocus(kTabOrder[static_cast<std::size_t>(i)]));
  focus_ = kTabOrder[static_cast<std::size_t>(i)];
  keyboardInUse_ = true;
  shell_.focusControl(focus_);
  shell_.sync();
}

bool KeyboardRouter::activate() {
  if (!focus_ || *focus_ == Ctl::txtPort) return false;
  const Ctl control = *focus_;
  keyboardInUse_ = true;
  // The click's own reactions may move the focus to the hidden box (the switch does);
  // a keyboard user keeps it where the key was pressed.
  if (clickLabel(panel_, shell_, control) == ClickOutcome::Close) return true;
  focus_ = control;
  shell_.focusControl(focus_);
  shell_.sync();
  return true;
}

void KeyboardRouter::focusTaken(std::optional<Ctl> control) {
  if (focus_ == control) return;
  focus_ = control;
  shell_.sync();
}

std::optional<FocusMark> KeyboardRouter::mark() const {
  if (!keyboardInUse_ || !focus_) return std::nullopt;
  return focusMarkOf(*focus_);
}

}  // namespace tovanik
