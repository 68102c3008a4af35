// The panel's server control: launch, the status tick, stop, restart and the two switches.
// The steps are the design's; each acts through the server control tovanikctl uses too.
#include "panel/panel.h"
#include "panel/status.h"
#include "platform/file_store.h"
#include "platform/path_text.h"
#include "server/server_control.h"
#include "server/server_settings.h"
#include "settings/ini.h"

namespace tovanik {

void Panel::startPHP() {
  loadConfig();
  // Unread: no address to show and nothing to start, and the switch's tooltip says why,
  // in tovanikctl's words, in place of any older reason.
  std::string unread;
  const auto s = readServerSettings(config_, &unread);
  if (!s) showWhy("cannot read " + config_.path() + ": " + unread);
  if (s) {
    at(Ctl::lblURL).caption = localUrl(s->serverPort);
    // The address stays the design's localhost; where the server listens goes in its tip.
    listensOn_.clear();
    if (!s->listenAddress.empty() && browsableHost(s->listenAddress) != "localhost")
      listensOn_ = " (the server listens on " + listenHost(s->listenAddress) + ':' +
                   s->serverPort + " only)";
    // Fire and forget: the launch is not waited for; the status tick shows whether it
    // came up. Nothing is launched that tovanikctl start would refuse, nor, run as root,
    // from files another user can change (that refusal shows nothing, as designed).
    const LaunchResult launch = ServerControl(platform_, config_.programFolder(), *s).launch();
    launched_ = launch.pid;
    launchUnseen_ = launch.pid != 0;
    if (launch.why && !launch.untrusted) showWhy(*launch.why);
  }
  at(Ctl::txtPort).background = colour::kCard;
  MakeTopMost();
}

void Panel::MakeTopMost() { window_.makeTopMost(); }

bool Panel::isServerRunning(ServerControl& control) { return control.isRunning(); }

ServerControl Panel::tickControl(const ServerSettings& s) {
  return ServerControl(platform_, config_.programFolder(), s, serverLog_);
}

void Panel::showWhy(const std::string& why) {
  why_ = why;
  at(Ctl::lblStartStop).tooltip =
      why.empty() ? std::string(design(Ctl::lblStartStop).tooltip) : why;
  if (!showsRunning()) at(Ctl::lblURL).tooltip = why;
}

void Panel::statusTick() {
  pollOpeners();
  // When the configuration cannot be read (its folder gone, say) there is no name to
  // look for, and the panel shows the server as stopped.
  // A file that could not be read for the display is looked at without waiting, and shown
  // once it can be read.
  if (settingsUnread_ &&
      readIniText(platform_.fileStore(), config_.path(), nullptr, std::chrono::milliseconds(0)))
    readConfig();
  const auto s = tickSettings();
  std::optional<ServerControl> control;
  if (s) control.emplace(tickControl(*s));
  const bool running = control && isServerRunning(*control);
  // Once a second is often enough to keep the hidden server's log below its limit.
  if (control) control->tendLog();
  if (running && launchUnseen_) {
    // The launch came up: whenever it ends, it did not end at once.
    control->noteSeenRunning();
    launchUnseen_ = false;
    showWhy("");
  } else if (!running && launchUnseen_ && !platform_.isLiveProcess(launched_)) {
    // The launch is gone without ever being seen: its own last line says why.
    launchUnseen_ = false;
    if (control)
      if (auto why = control->whyEndedAtOnce()) showWhy(*why);
  }
  const StatusColumn column = statusColumn(running);
  at(Ctl::lineStartStop).colour = column.lineStartStop;
  at(Ctl::lblURL).colour = column.lblURL;
  at(Ctl::Label3).colour = column.label3;
  at(Ctl::txtPort).enabled = column.txtPortEnabled;
  at(Ctl::shapeOn).visible = column.shapeOn;
  at(Ctl::shapeOff).visible = column.shapeOff;
}

std::optional<std::vector<std::string>> Panel::restFolders() const {
  if (!showsRunning() || launchUnseen_ || settingsUnread_ || !openers_.empty() || !tickRead_)
    return std::nullopt;
  // The settings file's (an edit, a save through a temporary file) and the log's (the
  // server writing: the tick keeps it below its limit).
  std::vector<std::string> folders{std::string(parentFolder(config_.path()))};
  const std::string logFolder(parentFolder(serverLog_));
  if (!logFolder.empty() && !platform_.samePathText(logFolder, folders.front()))
    folders.push_back(logFolder);
  return folders;
}

std::unique_ptr<RestAlarm> Panel::restAlarm() {
  const auto folders = restFolders();
  return folders ? platform_.restAlarm(*folders) : nullptr;
}

std::optional<ServerSettings> Panel::tickSettings() {
  // The tick runs once a second for as long as the panel is open: a file whose stamp is
  // the one last read is not read again. Every other operation reads it afresh.
  const std::optional<FileStamp> stamp = config_.stamp();
  if (stamp && tickRead_ && tickRead_->stamp == *stamp) return tickRead_->settings;
  std::optional<ServerSettings> s = readServerSettings(config_);
  tickRead_.reset();
  if (s && stamp) tickRead_ = TickRead{*stamp, *s};
  return s;
}

void Panel::killPHP() {
  // Every match and what appears meanwhile, the port holder among their descendants,
  // never the panel or its groups; back once they are gone and their port is closed, so
  // that a start right after (a restart) finds the port free; at most 2 s. A stop that
  // leaves the server running says why, as a failed start does (a root refusal, as there,
  // shows nothing).
  if (const auto s = readServerSettings(config_))
    if (const StopResult stopped = ServerControl(platform_, config_.programFolder(), *s).stop();
        stopped.why && !stopped.untrusted)
      showWhy(*stopped.why);
}

void Panel::restartServer() {
  window_.focusControl(std::nullopt);  // the hidden box txtFocus
  killPHP();
  writePort();
  platform_.sleepMs(1000);
  startPHP();
}

void Panel::clickStartStop() {
  window_.focusControl(std::nullopt);  // the hidden box txtFocus
  if (!showsRunning())
    startPHP();
  else
    killPHP();
}

void Panel::clickCMDSwitch() {
  if (!mayWriteSettings()) return;  // the switch stores the choice first
  const bool shown = showsConsole();
  at(Ctl::shpCMDOn).visible = !shown;
  at(Ctl::shpCMDOff).visible = shown;
  storeSetting(Key::command_prompt, shown ? "hide" : "show");
  loadConfig();
  restartServer();
}

}  // namespace tovanik
