// tovanikctl's server commands: status, start, stop, log and the local address.
#include <algorithm>
#include <chrono>

#include "app/ctl_commands.h"
#include "server/output_log.h"
#include "platform/path_text.h"
#include "server/server_control.h"
#include "server/server_settings.h"
#include "settings/config.h"

namespace tovanik::ctl {
namespace {


constexpr int kQuotedLines = 5;

void sleep(const Context& c, std::chrono::milliseconds length) {
  c.platform.sleepMs(static_cast<int>(length.count()));
}

std::string pidList(const std::vector<int>& pids) {
  std::string s;
  for (int pid : pids) s += ' ' + std::to_string(pid);
  return s;
}

// Reads the server settings or says why not.
std::optional<ServerSettings> settingsOrFail(const Context& c) {
  std::string why;
  auto s = readServerSettings(ConfigFile(c.programFolder, c.platform), &why);
  if (!s) fail(c, "cannot read " + configPath(c.programFolder) + ": " + why);
  return s;
}

}  // namespace

int status(const Context& c) {
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  const ServerStatus status = ServerControl(c.platform, c.programFolder, *s).status();
  c.out << (status.pids.empty() ? "stopped" : "running" + pidList(status.pids)) << '\n';
  c.out << foreignNote(status.foreign, s->exeName);
  c.out << escaped(status.portState) << '\n';
  c.out << "command: " << escaped(status.commandLine) << '\n';
  if (status.endedAtOnce) {
    const auto& lines = *status.endedAtOnce;
    c.out << "the last launch ended at once; its last lines (tovanikctl log):\n";
    const std::size_t first = lines.size() > kQuotedLines ? lines.size() - kQuotedLines : 0;
    for (std::size_t i = first; i < lines.size(); ++i) c.out << "  " << lines[i] << '\n';
  }
  return status.pids.empty() ? 3 : 0;
}

namespace {

int saidStarted(const Context& c, const ServerSettings& s, const StartResult& started) {
  if (started.why) return fail(c, *started.why);
  c.out << "serving http://" << browsableHost(s.listenAddress) << ':' << *portNumber(s.serverPort)
        << " (pid " << started.pid << ")\n";
  return 0;
}

int saidStopped(const Context& c, const StopResult& stopped) {
  for (const StopResult::Ended& e : stopped.ended)
    c.out << "stopped pid " << e.pid
          << (e.otherFolder.empty() ? std::string(" (this folder's server)")
                                    : ", the server of another program folder, " + e.otherFolder)
          << '\n';
  return stopped.why ? fail(c, *stopped.why) : 0;
}

}  // namespace

int start(const Context& c) {
  ConfigFile(c.programFolder, c.platform).writeDefaultsIfIncomplete();
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  return saidStarted(c, *s, ServerControl(c.platform, c.programFolder, *s).start());
}

int stop(const Context& c) {
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  return saidStopped(c, ServerControl(c.platform, c.programFolder, *s).stop());
}

int restart(const Context& c) {
  ConfigFile(c.programFolder, c.platform).writeDefaultsIfIncomplete();
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  const ServerControl::Restart done = ServerControl(c.platform, c.programFolder, *s).restart();
  const int stopped = saidStopped(c, done.stopped);
  return done.started ? saidStarted(c, *s, *done.started) : stopped;
}

int serverLog(const Context& c, const std::vector<std::string>& args) {
  long count = -1;
  bool follow = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-f") {
      follow = true;
    } else if (args[i] == "-n" && i + 1 < args.size() && isNumericPort(args[i + 1]) &&
               args[i + 1].size() <= 9) {
      count = std::stol(args[++i]);
    } else {
      return usageError(c, "usage: tovanikctl log [-n LINES] [-f]");
    }
  }
  OutputLog serverLog(c.platform.logFiles());
  const std::string path = serverLogPath(c.platform, c.programFolder);
  if (path.empty()) return fail(c, "no state folder: " + serverLog.noStateFolderReason());
  serverLog.trimOutputLog(path);
  const auto lines = serverLog.tailLines(path, count);
  if (!lines) return fail(c, "cannot read " + path + ": " + lastSystemError());
  for (const std::string& line : *lines) c.out << line << '\n';
  c.out.flush();
  if (!follow) return 0;

  // Follows until interrupted. A cut (the file grew past its limit) restarts from the
  // new end; the lines kept by the cut were shown already.
  std::uint64_t shown = serverLog.outputLogSize(path).value_or(0);
  for (;;) {
    sleep(c, std::chrono::milliseconds(200));
    serverLog.trimOutputLog(path);
    const auto size = serverLog.outputLogSize(path);
    if (!size) continue;
    if (*size < shown) shown = *size;
    if (*size == shown) continue;
    const auto fresh = serverLog.readOutputLogFrom(path, shown);
    if (!fresh) continue;
    c.out << *fresh;
    shown += fresh->size();
    c.out.flush();
  }
}

int url(const Context& c) {
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  // The running server's own address first: its port and listen address may no longer
  // be the settings' (changed while it ran).
  ServerControl control(c.platform, c.programFolder, *s);
  const std::vector<int> pids = control.find();
  const auto foreign = foreignServers(c.platform, c.programFolder, *s, pids);
  for (const int pid : pids) {
    if (std::any_of(foreign.begin(), foreign.end(),
                    [&](const ForeignServer& f) { return f.pid == pid; }))
      continue;
    if (const auto address = control.startedAddress(pid)) {
      c.out << "http://" << browsableHost(address->host)
            << portSuffix(std::to_string(address->port)) << '\n';
      return 0;
    }
  }
  if (!portNumber(s->serverPort))
    return fail(c, "server_port '" + s->serverPort +
                       "' is not a port number (1-65535, digits only)");
  c.out << "http://" << browsableHost(s->listenAddress) << portSuffix(s->serverPort) << '\n';
  return 0;
}

}  // namespace tovanik::ctl
