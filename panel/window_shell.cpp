#include "panel/window_shell.h"

#include "panel/panel.h"

namespace tovanik {

ClickOutcome clickLabel(Panel& panel, WindowShell& shell, Ctl label) {
  const ClickOutcome outcome = panel.click(label);
  switch (outcome) {
    case ClickOutcome::Close:
      shell.closeWindow();
      break;
    case ClickOutcome::Minimise:
      shell.minimiseWindow();
      break;
    case ClickOutcome::Changed:
      shell.sync();
      break;
    case ClickOutcome::None:
      break;
  }
  return outcome;
}

void paintInDrawingOrder(const Panel& panel, LayoutCanvas& canvas) {
  for (int i = kControlCount - 1; i >= 0; --i) {
    const ControlDesign& s = kLayout[i];
    const ControlState& c = panel[static_cast<Ctl>(i)];
    if (!c.visible) continue;
    switch (s.kind) {
      case Kind::Line:
        canvas.line(s, c);
        break;
      case Kind::Shape:
        canvas.shape(s, c);
        break;
      case Kind::Label:
        canvas.label(s, c);
        break;
      case Kind::TextBox:
      case Kind::Timer:
        break;
    }
  }
}

}  // namespace tovanik
