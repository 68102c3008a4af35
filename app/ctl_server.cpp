// tovanikctl's server commands: status, start, stop, log and the local address.
#include <algorithm>
#include <chrono>

#include "app/ctl_commands.h"
#include "platform/output_log.h"
#include "platform/path_text.h"
#include "server/server_control.h"
#include "server/server_settings.h"
#include "settings/config.h"

namespace tovanik::ctl {
namespace {


constexpr int kQuotedLines = 5;

// "; the running server listens on port N" when a running server was started on another
// port than the setting holds (the port was changed while it ran), and listens there.
std::string elsewhere(ServerControl& control, Platform& platform, const std::vector<int>& pids,
                      std::optional<int> port) {
  for (const int pid : pids) {
    const std::optional<int> started = control.startedPort(pid);
    if (!started || started == port) continue;
    const PortState state = portState(platform, *started, {pids.begin(), pids.end()});
    if (state.heldByServer || (state.listening && state.holderUnknown))
      return "; the running server listens on port " + std::to_string(*started);
  }
  return {};
}

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

// The command line as status shows it: a quote inside a value is escaped, so the line
// reads back as the arguments really started.
std::string shownCommandLine(const std::string& folder, ServerSettings s) {
  auto escape = [](std::string text) {
    std::string out;
    for (const char c : text) out += c == '"' ? std::string("\\\"") : std::string(1, c);
    return out;
  };
  s.exeName = escape(s.exeName);
  s.phpFolder = escape(s.phpFolder);
  s.rootDirectory = escape(s.rootDirectory);
  s.serverPort = escape(s.serverPort);
  for (std::string* optional : {&s.router, &s.listenAddress, &s.phpIni, &s.phpSettings})
    *optional = escape(*optional);
  return serverCommandLine(escape(folder), s);
}

}  // namespace

int status(const Context& c) {
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  OutputLog serverLog = c.platform.outputLog();
  const std::string log = serverLogPath(c.platform, c.programFolder);
  serverLog.trimOutputLog(log);
  ServerControl control(c.platform, c.programFolder, *s);
  const std::vector<int> pids = control.find();
  c.out << (pids.empty() ? "stopped" : "running" + pidList(pids)) << '\n';
  c.out << foreignNote(foreignServers(c.platform, c.programFolder, *s, pids), s->exeName);
  if (const auto port = portNumber(s->serverPort)) {
    const PortState state = portState(c.platform, *port, {pids.begin(), pids.end()});
    c.out << "port " << *port << ": ";
    if (!state.listening)
      c.out << "not listening";
    else if (!state.otherHolders.empty())
      c.out << "held by another program: " << state.otherHolders;
    else if (state.heldByServer)
      c.out << "listening (server)";
    else
      c.out << "listening (holder not visible)";
    c.out << elsewhere(control, c.platform, pids, port) << '\n';
  } else {
    c.out << "port '" << escaped(s->serverPort) << "': not a port number"
          << elsewhere(control, c.platform, pids, std::nullopt) << '\n';
  }
  // What is really launched: where the system takes a command line, that very line.
  const std::string launched = c.platform.launchCommandLine(serverArgv(c.programFolder, *s));
  c.out << "command: "
        << escaped(launched.empty() ? shownCommandLine(c.programFolder, *s) : launched) << '\n';
  if (pids.empty()) {
    if (const auto lines = endedAtOnce(c.platform, log)) {
      c.out << "the last launch ended at once; its last lines (tovanikctl log):\n";
      const std::size_t first = lines->size() > kQuotedLines ? lines->size() - kQuotedLines : 0;
      for (std::size_t i = first; i < lines->size(); ++i) c.out << "  " << (*lines)[i] << '\n';
    }
  } else if (const auto run = serverLog.readLastRun(log); run && run->note == kMarkStarted) {
    serverLog.markLaunch(log, kMarkRunning);  // seen running: it did not end at once
  }
  return pids.empty() ? 3 : 0;
}

int start(const Context& c) {
  ConfigFile(c.programFolder, c.platform).writeDefaultsIfIncomplete();
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  const StartResult started = ServerControl(c.platform, c.programFolder, *s).start();
  if (started.why) return fail(c, *started.why);
  c.out << "serving http://" << browsableHost(s->listenAddress) << ':'
        << *portNumber(s->serverPort) << " (pid " << started.pid << ")\n";
  return 0;
}

int stop(const Context& c) {
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  const StopResult stopped = ServerControl(c.platform, c.programFolder, *s).stop();
  for (const StopResult::Ended& e : stopped.ended)
    c.out << "stopped pid " << e.pid
          << (e.otherFolder.empty() ? std::string(" (this folder's server)")
                                    : ", the server of another program folder, " + e.otherFolder)
          << '\n';
  return stopped.why ? fail(c, *stopped.why) : 0;
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
  OutputLog serverLog = c.platform.outputLog();
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
