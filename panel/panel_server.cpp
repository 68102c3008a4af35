// The panel's server control: launch, the status tick, stop, restart and the two switches.
#include <algorithm>
#include <set>

#include "panel/panel.h"
#include "panel/status.h"
#include "platform/file_store.h"
#include "platform/output_log.h"
#include "server/server_processes.h"
#include "server/server_settings.h"
#include "server/trust.h"

namespace tovanik {
namespace {

// A stop waits for the processes it ended at most kStopPolls times kStopPollMs.
constexpr int kStopPolls = 200;
constexpr int kStopPollMs = 10;

}  // namespace

void Panel::startPHP() {
  loadConfig();
  const auto s = readServerSettings(config_);  // unread: no address to show, nothing to start
  if (s) at(Ctl::lblURL).caption = localUrl(s->serverPort);
  const std::string& folder = config_.programFolder();
  // Never a launch without a server name or a port (a folder whose settings could not
  // be written), and, run as root, never from files another user can change.
  if (s && !s->exeName.empty() && !s->serverPort.empty() &&
      !untrustedServerFiles(platform_, folder, *s) && !isServerRunning(serverImage(folder, *s))) {
    // Fire and forget: a launch that fails shows nothing; the status tick keeps
    // showing the server as stopped.
    launchUnseen_ =
        platform_.launchDetached(serverArgv(folder, *s), consoleModeFor(s->commandPrompt),
                                 serverLog_) != 0;
  }
  at(Ctl::txtPort).background = colour::kCard;
  MakeTopMost();
}

void Panel::MakeTopMost() { view_.makeTopMost(); }

bool Panel::isServerRunning(const ServerImage& image) {
  return !image.imageName.empty() && platform_.anyProcess(image);
}

void Panel::statusTick() {
  // When the configuration cannot be read (its folder gone, say) there is no name to
  // look for, and the panel shows the server as stopped.
  const auto s = tickSettings();
  const bool running = s && isServerRunning(serverImage(config_.programFolder(), *s));
  // Once a second is often enough to keep the hidden server's log below its limit.
  trimOutputLog(serverLog_);
  if (running && launchUnseen_) {
    // The launch came up: whenever it ends, it did not end at once.
    markLaunch(serverLog_, kMarkRunning);
    launchUnseen_ = false;
  }
  const StatusColumn column = statusColumn(running);
  at(Ctl::lineStartStop).colour = column.lineStartStop;
  at(Ctl::lblURL).colour = column.lblURL;
  at(Ctl::Label3).colour = column.label3;
  at(Ctl::txtPort).enabled = column.txtPortEnabled;
  at(Ctl::shapeOn).visible = column.shapeOn;
  at(Ctl::shapeOff).visible = column.shapeOff;
}

std::optional<ServerSettings> Panel::tickSettings() {
  // The tick runs once a second for as long as the panel is open: a file whose stamp is
  // the one last read is not read again. Every other operation reads it afresh.
  const std::optional<FileStamp> stamp = fileStamp(config_.path());
  if (stamp && tickRead_ && tickRead_->stamp == *stamp) return tickRead_->settings;
  std::optional<ServerSettings> s = readServerSettings(config_);
  tickRead_.reset();
  if (s && stamp) tickRead_ = TickRead{*stamp, *s};
  return s;
}

void Panel::killPHP() {
  const auto s = readServerSettings(config_);
  if (!s || s->exeName.empty()) return;
  const std::string& folder = config_.programFolder();
  const ServerImage image = serverImage(folder, *s);
  const std::vector<int> found = platform_.findProcesses(image);
  if (platform_.killProcesses(image) <= 0) return;
  // Noted, so that a server stopped soon after its launch is not later taken for one
  // that could not start.
  if (outputLogExists(serverLog_)) markLaunch(serverLog_, kMarkStopped);
  // Back only once they are gone and their port is closed, so that a start right after
  // (a restart) finds the port free; at most 2 s.
  const std::set<int> ended(found.begin(), found.end());
  const std::optional<int> port = portNumber(s->serverPort);
  for (int poll = 0; poll < kStopPolls; ++poll) {
    const bool living = std::any_of(ended.begin(), ended.end(),
                                    [&](int pid) { return platform_.isLiveProcess(pid); });
    if (!living && !(port && portState(platform_, *port, ended).heldByServer)) return;
    platform_.sleepMs(kStopPollMs);
  }
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
  if (!mayWriteSettings()) return;  // the switch stores the choice first
  const bool shown = showsConsole();
  at(Ctl::shpCMDOn).visible = !shown;
  at(Ctl::shpCMDOff).visible = shown;
  config_.write(Key::command_prompt, shown ? "hide" : "show");
  loadConfig();
  restartServer();
}

}  // namespace tovanik
