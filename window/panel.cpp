#include "window/panel.h"

#include <utility>

namespace tovanik {

Panel::Panel(Platform& platform, PanelView& view)
    : platform_(platform), view_(view), config_(platform.programFolder()) {
  for (int i = 0; i < kControlCount; ++i) {
    const ControlSpec& s = kLayout[i];
    ControlState& c = controls_[i];
    c.caption = std::string(s.caption);
    c.colour = s.colour;
    c.background = s.background.value_or(s.kind == Kind::TextBox ? colour::kCard : Rgb{});
    c.visible = s.visible;
    // Tooltips the design gives; the hover reactions set the others.
    if (s.kind == Kind::TextBox || s.name == "labelConfig" || s.name == "lblStartStop" ||
        s.name == "CMDSwitch")
      c.tooltip = std::string(s.tooltip);
  }
}

void Panel::loadConfig() {
  config_.writeDefaultsIfIncomplete();
  readConfig();
}

void Panel::readConfig() {
  // A failed read of command_prompt counts as empty: the indicator shows off.
  const std::string prompt = config_.read("command_prompt").value_or("");
  if (auto port = config_.read("server_port")) setPortText(*port);
  if (auto exe = config_.read("exe_name")) at(Ctl::txtExeName).caption = *exe;
  if (auto root = config_.read("root_directory")) at(Ctl::lblRootDir).caption = *root + " >";
  showConsoleIndicator(prompt == "show");
}

void Panel::showConsoleIndicator(bool shown) {
  at(Ctl::shpCMDOn).visible = shown;
  at(Ctl::shpCMDOff).visible = !shown;
  at(Ctl::lineCMDOnOff).colour = shown ? colour::kTrackOn : colour::kTrack;
}

void Panel::setPortText(const std::string& text) {
  ControlState& box = at(Ctl::txtPort);
  if (box.caption == text) return;  // assigning the same text is no change
  box.caption = text;
  txtPortChange();
}

void Panel::txtPortChange() {
  const std::string text = at(Ctl::txtPort).caption;
  if (isNumericPort(text)) {
    config_.write("server_port", text);
  } else if (auto stored = config_.read("server_port")) {
    // Undo the edit. A numeric stored value runs this handling once more, nested, and
    // is written back unchanged; a failed read leaves the edit in the box.
    setPortText(*stored);
  }
  portCaret_ = static_cast<int>(at(Ctl::txtPort).caption.size());
}

std::optional<int> Panel::takePortCaret() { return std::exchange(portCaret_, std::nullopt); }

void Panel::txtPortPress() {
  ControlState& box = at(Ctl::txtPort);
  box.background = box.enabled ? colour::kPortEditing : colour::kCard;
}

void Panel::writePort() {
  const std::string port = at(Ctl::txtPort).caption;
  config_.write("command_prompt", at(Ctl::shpCMDOn).visible ? "show" : "hide");
  config_.write("server_port", port);
  at(Ctl::lblURL).caption = localUrl(port);
  view_.focusTxtFocus();
}

}  // namespace tovanik
