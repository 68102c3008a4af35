// tovanikctl's server commands: status, start, stop, log and the local address.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <iostream>
#include <ostream>
#include <set>

#include "app/ctl_commands.h"
#include "platform/output_log.h"
#include "platform/path_text.h"
#include "server/server_processes.h"
#include "server/server_settings.h"
#include "settings/config.h"

namespace tovanik::ctl {
namespace {

using Clock = std::chrono::steady_clock;

// A server whose last output came this soon after its launch, and that no longer runs,
// ended at once: its last lines say why.
constexpr std::time_t kEndedAtOnce = 5;
constexpr int kQuotedLines = 5;
constexpr auto kPollInterval = std::chrono::milliseconds(10);
// While the server starts, the kernel is asked every millisecond whether anything listens
// on the port yet (one netlink round trip); the process table is scanned only when
// something does, or every kPollInterval. After kQuickPhase the loop polls as usual.
constexpr auto kQuickPoll = std::chrono::milliseconds(1);
constexpr auto kQuickPhase = std::chrono::seconds(1);
constexpr auto kListenTimeout = std::chrono::seconds(5);
// How long a stop waits for the processes it ended to be gone and their port closed.
constexpr auto kStopPatience = std::chrono::seconds(2);
// A terminal starts the server itself, a moment after the terminal has been started.
constexpr auto kTerminalGrace = std::chrono::milliseconds(1500);

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
  auto s = readServerSettings(ConfigFile(c.programFolder), &why);
  if (!s) fail(c, "cannot read " + configPath(c.programFolder) + ": " + why);
  return s;
}

// The lines the latest run printed, when it no longer runs and ended at once: nothing
// saw it listen or run since its launch mark (tovanikctl start notes "server listening",
// the panel and status "server running"), and its last output came within seconds.
std::optional<std::vector<std::string>> endedAtOnce(const Context& c, const std::string& log) {
  const std::optional<LastRun> run = c.platform.outputLog().readLastRun(log);
  if (!run || run->note != kMarkStarted || run->lines.empty() ||
      run->lastOutput - run->launched > kEndedAtOnce)
    return std::nullopt;
  return run->lines;
}

std::string lastNonEmpty(const std::vector<std::string>& lines) {
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (!it->empty()) return *it;
  return {};
}

// What keeps the settings from making a server: the first wrong setting, named.
std::optional<std::string> invalidSetting(const Context& c, const ServerSettings& s) {
  if (s.exeName.empty()) return "exe_name is empty";
  if (s.exeName.find_first_of("/\\") != std::string::npos)
    return "exe_name '" + s.exeName + "' holds a path separator: it must be a file name";
  if (!portNumber(s.serverPort))
    return "server_port '" + s.serverPort + "' is not a port number (1-65535, digits only)";
  const std::string program = serverPath(c.programFolder, s);
  std::string why;
  const PathKind server = c.platform.pathKind(program, &why);
  if (server == PathKind::Unusable) return "exe_name/php_folder: cannot use " + program + ": " + why;
  if (server != PathKind::ExecutableFile)
    return "exe_name/php_folder: " + program + " is not an executable file";
  const std::string root = joinPath(c.programFolder, s.rootDirectory);
  const PathKind web = c.platform.pathKind(root, &why);
  if (web == PathKind::Unusable) return "root_directory: cannot use " + root + ": " + why;
  if (web != PathKind::Folder) return "root_directory: " + root + " is not a folder";
  return std::nullopt;
}

// Ends what this start launched, so that a failed start leaves no process behind: the
// launched process leads its own group, which holds whatever it started too, even a
// program it replaced itself with under another name.
void stopLaunched(const Context& c, const ServerImage& image, int launched) {
  if (launched <= 0) return;
  c.platform.killLaunched(launched);
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  while (c.platform.killProcesses(image) > 0 && Clock::now() < deadline) sleep(c, kPollInterval);
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
  return serverCommandLine(escape(folder), s);
}

// "pid 123 is the server of another program folder, /srv/a: ..." for each one.
std::string foreignNote(const std::vector<ForeignServer>& foreign, const std::string& exeName) {
  std::string note;
  for (const ForeignServer& f : foreign)
    note += "pid " + std::to_string(f.pid) + " is the server of another program folder, " +
            f.folder + ": give this folder an exe_name of its own (both use '" + exeName + "')\n";
  return note;
}

}  // namespace

int status(const Context& c) {
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  OutputLog serverLog = c.platform.outputLog();
  const std::string log = serverLogPath(c.platform, c.programFolder);
  serverLog.trimOutputLog(log);
  const std::vector<int> pids = c.platform.findProcesses(serverImage(c.programFolder, *s));
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
    c.out << '\n';
  } else {
    c.out << "port '" << escaped(s->serverPort) << "': not a port number\n";
  }
  c.out << "command: " << escaped(shownCommandLine(c.programFolder, *s)) << '\n';
  if (pids.empty()) {
    if (const auto lines = endedAtOnce(c, log)) {
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
  ConfigFile(c.programFolder).writeDefaultsIfIncomplete();
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  if (const auto wrong = invalidSetting(c, *s)) return fail(c, *wrong);
  const int port = *portNumber(s->serverPort);
  const std::string log = serverLogPath(c.platform, c.programFolder);

  int launched = 0;  // the PID of what this start launched
  const ConsoleMode mode = consoleModeFor(s->commandPrompt);
  const ServerImage image = serverImage(c.programFolder, *s);
  // Where the system does not name a port's holders (Wine), a port that listens while
  // the server runs is taken to be the server's when it was free before this start
  // launched the server, or when the server ran already.
  const bool portWasFree = c.platform.portListening(port) != true;
  const std::vector<int> running = c.platform.findProcesses(image);
  const auto foreign = foreignServers(c.platform, c.programFolder, *s, running);
  if (!running.empty() && foreign.size() == running.size()) {
    // The name is taken by another folder's server: waiting for this port would fail.
    const std::string note = foreignNote(foreign, s->exeName);
    return fail(c, "nothing started: " + note.substr(0, note.size() - 1));
  }
  if (running.empty()) {
    const auto argv = serverArgv(c.programFolder, *s);
    launched = c.platform.launchDetached(argv, mode, log);
    if (launched == 0) return fail(c, "could not start " + argv[0] + ": " + lastSystemError());
  }

  const auto begun = Clock::now();
  const auto grace = mode == ConsoleMode::Shown ? kTerminalGrace : Clock::duration::zero();
  auto nextScan = begun;
  for (;;) {
    const auto now = Clock::now();
    if (now - begun < kQuickPhase && now < nextScan) {
      if (c.platform.portListening(port) == false) {
        sleep(c, kQuickPoll);
        continue;
      }
    }
    nextScan = now + kPollInterval;
    const auto pids = c.platform.findProcesses(image);
    std::set<int> server(pids.begin(), pids.end());
    if (launched > 0) server.insert(launched);  // a wrapper that runs php as its child
    if (!pids.empty()) {
      const PortState state = portState(c.platform, port, server);
      if (state.heldByServer ||
          (state.holderUnknown && state.otherHolders.empty() && (portWasFree || launched == 0))) {
        OutputLog serverLog = c.platform.outputLog();
        if (launched > 0 && serverLog.outputLogExists(log))
          serverLog.markLaunch(log, kMarkListening);
        return 0;
      }
    }
    // The launched process takes its name a moment after its exec has let us go on, so
    // while it lives it is not taken for gone.
    if (pids.empty() && Clock::now() - begun >= grace &&
        (launched == 0 || mode == ConsoleMode::Shown || !c.platform.isLiveProcess(launched))) {
      // PHP reports why on its output and exits: quote it, with whoever holds the port.
      const PortState state = portState(c.platform, port, {});
      std::string why = "the server exited at once";
      if (!state.otherHolders.empty())
        why += " (port " + std::to_string(port) + " is taken by " + state.otherHolders + ")";
      if (const auto lines = endedAtOnce(c, log)) why += ": " + lastNonEmpty(*lines);
      stopLaunched(c, image, launched);
      return fail(c, why + " (see tovanikctl log)");
    }
    if (Clock::now() - begun > kListenTimeout) {
      stopLaunched(c, image, launched);
      return fail(c, "the server did not listen on port " + std::to_string(port) + " within 5 s" +
                         (launched ? " and was stopped" : ""));
    }
    sleep(c, Clock::now() - begun < kQuickPhase ? kQuickPoll : kPollInterval);
  }
}

int stop(const Context& c) {
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  if (s->exeName.empty()) return 0;
  const ServerImage image = serverImage(c.programFolder, *s);
  const std::optional<int> port = portNumber(s->serverPort);
  // Ends every match, and any that appears meanwhile (a restart loop), until none is
  // left and the port is closed: a start right after the stop then finds it free.
  const auto deadline = Clock::now() + kStopPatience;
  std::set<int> ended;
  for (;;) {
    const std::vector<int> found = c.platform.findProcesses(image);
    std::vector<int> fresh;
    for (const int pid : found)
      if (!ended.count(pid)) fresh.push_back(pid);
    const auto foreign = foreignServers(c.platform, c.programFolder, *s, fresh);
    for (const int pid : fresh) {
      const auto other = std::find_if(foreign.begin(), foreign.end(),
                                      [&](const ForeignServer& f) { return f.pid == pid; });
      c.out << "stopped pid " << pid
            << (other == foreign.end() ? std::string(" (this folder's server)")
                                       : ", the server of another program folder, " + other->folder)
            << '\n';
    }
    if (!found.empty()) {
      // What holds the port among their descendants goes too, and is waited for: a
      // wrapper's php in a session of its own escapes the group the stop ends.
      const std::set<int> matched(found.begin(), found.end());
      if (port) {
        for (const auto& [holder, name] : c.platform.portUse(*port, found).holders) {
          if (holder <= 0 || matched.count(holder) || !descendsFrom(c.platform, holder, matched))
            continue;
          c.platform.killLaunched(holder);
          ended.insert(holder);
        }
      }
      c.platform.killProcesses(image);
    }
    ended.insert(found.begin(), found.end());
    bool left = false;
    for (const int pid : ended) left = left || c.platform.isLiveProcess(pid);
    const bool open = !ended.empty() && port && portState(c.platform, *port, ended).heldByServer;
    if (!left && !open && c.platform.findProcesses(image).empty()) break;
    if (Clock::now() > deadline) {
      std::vector<int> living;
      for (const int pid : ended)
        if (c.platform.isLiveProcess(pid)) living.push_back(pid);
      if (!living.empty())
        return fail(c,
                    "still running 2 s after the stop:" + pidList(living) + " (not ours to stop?)");
      return fail(c, "port " + std::to_string(*port) +
                         " still held by the stopped server 2 s after the stop");
    }
    sleep(c, kPollInterval);
  }
  // Marked, so that a server stopped soon after its launch is not taken for one that
  // could not start.
  const std::string log = serverLogPath(c.platform, c.programFolder);
  OutputLog serverLog = c.platform.outputLog();
  if (!ended.empty() && serverLog.outputLogExists(log)) serverLog.markLaunch(log, kMarkStopped);
  return 0;
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
  std::string why;
  const auto port = ConfigFile(c.programFolder).read(Key::server_port, &why);
  if (!port) return fail(c, "cannot read " + configPath(c.programFolder) + ": " + why);
  if (!portNumber(*port))
    return fail(c, "server_port '" + *port + "' is not a port number (1-65535, digits only)");
  c.out << localUrl(*port) << '\n';
  return 0;
}

}  // namespace tovanik::ctl
