#include "panel/panel.h"

#include "platform/file_store.h"
#include "platform/path_text.h"
#include "server/command.h"

namespace tovanik {

Panel::Panel(Platform& platform, PanelView& view)
    : platform_(platform),
      view_(view),
      // The window's thread writes: another writer is waited for briefly, never seconds.
      config_(platform.programFolder(), platform, kPanelLockPatience),
      serverLog_(serverLogPath(platform, config_.programFolder())) {
  for (int i = 0; i < kControlCount; ++i) {
    const ControlDesign& s = kLayout[i];
    ControlState& c = controls_[i];
    c.caption = std::string(s.caption);
    c.colour = s.colour;
    c.background = s.background.value_or(s.kind == Kind::TextBox ? colour::kCard : Rgb{});
    c.visible = s.visible;
    // Tooltips the design gives; the hover reactions set the others.
    if (s.kind == Kind::TextBox || s.id == Ctl::labelConfig || s.id == Ctl::lblStartStop ||
        s.id == Ctl::CMDSwitch)
      c.tooltip = std::string(s.tooltip);
  }
}

ClickOutcome Panel::click(Ctl label) {
  switch (label) {
    case Ctl::lblClose:
      return ClickOutcome::Close;
    case Ctl::lblMin:
      return ClickOutcome::Minimise;
    case Ctl::lblStartStop:
      clickStartStop();
      break;
    case Ctl::CMDSwitch:
      clickCMDSwitch();
      break;
    case Ctl::lblURL:
      clickURL();
      break;
    case Ctl::labelConfig:
      clickConfig();
      break;
    case Ctl::lblRootDir:
      clickRootDir();
      break;
    case Ctl::Label3:
      clickLabel3();
      break;
    default:
      return ClickOutcome::None;
  }
  return ClickOutcome::Changed;
}

// Shortcut links.

void Panel::clickURL() {
  if (showsRunning()) platform_.openUrl(at(Ctl::lblURL).caption);
}

void Panel::clickConfig() { platform_.openTextFile(config_.path()); }

void Panel::clickRootDir() {
  view_.focusTxtFocus();
  // A failed read opens the program folder itself.
  platform_.openFolder(
      joinPath(config_.programFolder(), config_.read(Key::root_directory).value_or("")));
}

void Panel::clickLabel3() { platform_.openUrl(std::string(kHomePage)); }

}  // namespace tovanik
