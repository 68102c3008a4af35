// The panel's settings display and port box: the configuration's defaults, showing the
// stored values, and storing every accepted edit of the port at once.
#include <utility>

#include "panel/panel.h"
#include "server/trust.h"
#include "settings/ini.h"

namespace tovanik {

bool Panel::mayWriteSettings() {
  return !untrustedProgramFolder(platform_, config_.programFolder());
}

void Panel::loadConfig() {
  if (mayWriteSettings()) config_.writeDefaultsIfIncomplete();
  readConfig();
}

void Panel::showURL() {
  if (auto port = config_.read(Key::server_port)) at(Ctl::lblURL).caption = localUrl(*port);
}

void Panel::readConfig() {
  // One reading of the file. When it fails, every control keeps what it shows, and the
  // console indicator shows off, as an unreadable command_prompt reads empty.
  const auto values = config_.readAll();
  settingsUnread_ = !values;
  if (values) {
    storedPort_ = (*values)[Key::server_port];
    setPortText((*values)[Key::server_port]);
    at(Ctl::txtExeName).caption = (*values)[Key::exe_name];
    at(Ctl::lblRootDir).caption = (*values)[Key::root_directory] + " >";
  }
  showConsoleIndicator(values && (*values)[Key::command_prompt] == "show");
}

void Panel::showConsoleIndicator(bool shown) {
  at(Ctl::shpCMDOn).visible = shown;
  at(Ctl::shpCMDOff).visible = !shown;
  at(Ctl::lineCMDOnOff).colour = shown ? colour::kTrackOn : colour::kTrack;
}

void Panel::setPortText(const std::string& text, std::optional<PortSelection> before) {
  ControlState& box = at(Ctl::txtPort);
  if (box.caption == text) return;  // assigning the same text is no change
  box.caption = text;
  txtPortChange(before);
}

void Panel::txtPortChange(std::optional<PortSelection> before) {
  const std::string text = at(Ctl::txtPort).caption;
  bool undone = false;
  if (portNumber(text)) {
    // A port that cannot be stored in a file that cannot be read either is not shown as
    // if it were: the box goes back to the port last read or stored, without another
    // round of this handling. (Another writer holding the file for a moment leaves the
    // text, for the next keystroke to store.)
    if (mayWriteSettings() && !storeSetting(Key::server_port, text) &&
        !readIniText(platform_.fileStore(), config_.path(), nullptr, std::chrono::milliseconds(0)))
      at(Ctl::txtPort).caption = storedPort_;
  } else if (auto stored = config_.read(Key::server_port)) {
    // Undo the edit. A numeric stored value runs this handling once more, nested, and
    // is written back unchanged; a failed read leaves the edit in the box.
    setPortText(*stored);
    undone = true;
  }
  // An undone key leaves the box as it was before it, selection included (Ctrl+A, a
  // refused key, then a digit types that digit over the whole port); every other change
  // puts the caret after the text.
  const int size = static_cast<int>(at(Ctl::txtPort).caption.size());
  if (undone && before && before->start >= 0 && before->length > 0 &&
      before->start + before->length <= size)
    portSelection_ = before;
  else
    portSelection_ = PortSelection{size, 0};
}

bool Panel::storeSetting(Key key, const std::string& value) {
  // A write that fails changes nothing, as designed; the switch's tooltip says why.
  std::string why;
  if (!config_.write(key, value, &why)) {
    showWhy("cannot write " + config_.path() + ": " + why);
    return false;
  }
  if (key == Key::server_port) storedPort_ = value;
  return true;
}

std::optional<PortSelection> Panel::takePortSelection() {
  return std::exchange(portSelection_, std::nullopt);
}

void Panel::txtPortPress() {
  ControlState& box = at(Ctl::txtPort);
  box.background = box.enabled ? colour::kPortEditing : colour::kCard;
}

void Panel::writePort() {
  const std::string port = at(Ctl::txtPort).caption;
  if (mayWriteSettings()) {
    storeSetting(Key::command_prompt, showsConsole() ? "show" : "hide");
    storeSetting(Key::server_port, port);
    at(Ctl::lblURL).caption = localUrl(port);
  }
  window_.focusControl(std::nullopt);  // the hidden box txtFocus
}

}  // namespace tovanik
