// The panel's server control: launch, the status tick, stop, restart and the two switches.
#include "panel/panel.h"
#include "panel/status.h"
#include "server/server_settings.h"

namespace tovanik {

void Panel::startPHP() {
  loadConfig();
  const ServerSettings s = readServerSettings(config_);
  at(Ctl::lblURL).caption = localUrl(s.serverPort);
  if (!isServerRunning(s.exeName)) {
    // Fire and forget: a launch that fails shows nothing; the status tick keeps
    // showing the server as stopped.
    platform_.launchDetached(serverArgv(config_.programFolder(), s),
                             consoleModeFor(s.commandPrompt),
                             serverLogPath(config_.programFolder()));
  }
  at(Ctl::txtPort).background = colour::kCard;
  MakeTopMost();
}

void Panel::MakeTopMost() { view_.makeTopMost(); }

bool Panel::isServerRunning(const std::string& exeName) {
  return !exeName.empty() && platform_.anyProcess(exeName);
}

void Panel::statusTick() {
  // When the configuration cannot be read (its folder gone, say) there is no name to
  // look for, and the panel shows the server as stopped.
  const auto exeName = config_.read("exe_name");
  const StatusColumn column = statusColumn(exeName && isServerRunning(*exeName));
  at(Ctl::lineStartStop).colour = column.lineStartStop;
  at(Ctl::lblURL).colour = column.lblURL;
  at(Ctl::Label3).colour = column.label3;
  at(Ctl::txtPort).enabled = column.txtPortEnabled;
  at(Ctl::shapeOn).visible = column.shapeOn;
  at(Ctl::shapeOff).visible = column.shapeOff;
}

void Panel::killPHP() {
  const std::string exeName = config_.read("exe_name").value_or("");
  if (!exeName.empty()) platform_.killProcesses(exeName);
}

void Panel::restartServer() {
  view_.focusTxtFocus();
  killPHP();
  writePort();
  platform_.sleepMs(1000);
  startPHP();
}

void Panel::clickStartStop() {
  view_.focusTxtFocus();
  if (!showsRunning())
    startPHP();
  else
    killPHP();
}

void Panel::clickCMDSwitch() {
  const bool shown = at(Ctl::shpCMDOn).visible;
  at(Ctl::shpCMDOn).visible = !shown;
  at(Ctl::shpCMDOff).visible = shown;
  config_.write("command_prompt", shown ? "hide" : "show");
  loadConfig();
  restartServer();
}

}  // namespace tovanik
