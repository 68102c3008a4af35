#include "panel/panel.h"

#include "platform/file_store.h"
#include "platform/path_text.h"
#include "server/command.h"

namespace tovanik {

Panel::Panel(Platform& platform, WindowShell& window)
    : platform_(platform),
      window_(window),
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
  if (!showsRunning()) return;
  const std::string url = at(Ctl::lblURL).caption;
  openLink(Ctl::lblURL, url, platform_.openUrl(url));
}

void Panel::clickConfig() {
  openLink(Ctl::labelConfig, config_.path(), platform_.openTextFile(config_.path()));
}

void Panel::clickRootDir() {
  window_.focusControl(std::nullopt);  // the hidden box txtFocus
  // A failed read opens the program folder itself.
  const std::string folder =
      joinPath(config_.programFolder(), config_.read(Key::root_directory).value_or(""));
  openLink(Ctl::lblRootDir, folder, platform_.openFolder(folder));
}

void Panel::clickLabel3() {
  openLink(Ctl::Label3, std::string(kHomePage), platform_.openUrl(std::string(kHomePage)));
}

// A link that cannot be opened says why in its tooltip, as the switch does for a failed
// start: the opener may decide only after the click (xdg-open's exit status), so the
// outcome arrives by the tick, and the window never waits for it.
void Panel::openLink(Ctl link, const std::string& target, const Opening& opening) {
  latestOpener_[index(link)] = opening.opener;
  if (opening.opener != 0)
    openers_.push_back({link, target, opening.opener});
  else
    linkOutcome(link, target, opening.why);
}

void Panel::linkOutcome(Ctl link, const std::string& target, const std::string& why) {
  linkWhy_[index(link)] = why.empty() ? std::string() : "cannot open " + target + ": " + why;
  // A stopped server's address says why the start failed instead (hover.cpp).
  if (link != Ctl::lblURL || showsRunning()) at(link).tooltip = linkTooltip(link);
}

void Panel::pollOpeners() {
  // Every opener is asked until it has ended, also one a later click made stale, so that
  // none is left behind unreaped.
  std::erase_if(openers_, [this](const PendingOpener& o) {
    const std::optional<std::string> ended = platform_.openerEnded(o.opener);
    if (ended && latestOpener_[index(o.link)] == o.opener) linkOutcome(o.link, o.target, *ended);
    return ended.has_value();
  });
}

std::string Panel::linkTooltip(Ctl link) const {
  if (const std::string& why = linkWhy_[index(link)]; !why.empty()) return why;
  switch (link) {
    case Ctl::lblRootDir:
      return "Open root directory";
    case Ctl::Label3:
      return "Open " + std::string(kHomePage);
    case Ctl::lblURL:
      return "Open " + (*this)[Ctl::lblURL].caption + listensOn_;
    default:
      return std::string(design(link).tooltip);  // the configuration's, from the design
  }
}

}  // namespace tovanik
