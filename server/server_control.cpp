#include "server/server_control.h"

#include <algorithm>
#include <set>

#include "server/output_log.h"
#include "platform/path_text.h"
#include "server/trust.h"
#include "settings/config.h"

namespace tovanik {
namespace {

using Clock = Platform::Clock;
using std::chrono::milliseconds;

// A server whose last output came this soon after its launch, and that no longer runs,
// ended at once: its last lines say why.
constexpr std::time_t kEndedAtOnce = 5;
constexpr int kPollMs = 10;
// While the server starts, the kernel is asked every millisecond whether anything listens
// on the port yet (one netlink round trip); the process table is scanned only when
// something does, or every kPollMs. After kQuickPhase the loop polls as usual.
constexpr int kQuickPollMs = 1;
constexpr milliseconds kQuickPhase{1000};
constexpr milliseconds kListenTimeout{5000};
// How long a stop waits for the processes it ended to be gone and their port closed.
constexpr milliseconds kStopPatience{2000};
// A terminal starts the server itself, a moment after the terminal has been started.
constexpr milliseconds kTerminalGrace{1500};

std::string lastNonEmpty(const std::vector<std::string>& lines) {
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (!it->empty()) return *it;
  return {};
}

std::string pidList(const std::vector<int>& pids) {
  std::string s;
  for (int pid : pids) s += ' ' + std::to_string(pid);
  return s;
}

// The optional keys, by the same value rule as config set; the router script and the
// php.ini they name must be files.
std::optional<std::string> invalidOptionalSetting(Platform& platform,
                                                  const std::string& programFolder,
                                                  const ServerSettings& s) {
  const std::pair<Key, const std::string&> named[] = {{Key::router, s.router},
                                                      {Key::workers, s.workers},
                                                      {Key::listen_address, s.listenAddress},
                                                      {Key::php_ini, s.phpIni},
                                                      {Key::php_settings, s.phpSettings}};
  for (const auto& [key, value] : named)
    if (auto why = settingProblem(key, value)) return why;
  const std::pair<const char*, std::string> files[] = {{"router", routerPath(programFolder, s)},
                                                       {"php_ini", phpIniPath(programFolder, s)}};
  for (const auto& [key, path] : files) {
    if (path.empty()) continue;
    std::string why;
    const PathKind kind = platform.pathKind(path, &why);
    if (kind == PathKind::Unusable) return std::string(key) + ": cannot use " + path + ": " + why;
    if (kind == PathKind::Folder) return std::string(key) + ": " + path + " is not a file";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> invalidSetting(Platform& platform, const std::string& programFolder,
                                          const ServerSettings& s) {
  if (s.exeName.empty()) return "exe_name is empty";
  if (s.exeName.find_first_of("/\\") != std::string::npos)
    return "exe_name '" + s.exeName + "' holds a path separator: it must be a file name";
  if (!portNumber(s.serverPort))
    return "server_port '" + s.serverPort + "' is not a port number (1-65535, digits only)";
  // What config set refuses is never launched either: an absolute folder, or on Windows a
  // character no file name can hold.
  const std::pair<Key, const std::string&> named[] = {
      {Key::exe_name, s.exeName}, {Key::php_folder, s.phpFolder}, {Key::root_directory, s.rootDirectory}};
  for (const auto& [key, value] : named)
    if (auto why = settingProblem(key, value)) return why;
  const std::string program = serverPath(programFolder, s);
  std::string why;
  const PathKind server = platform.pathKind(program, &why);
  if (server == PathKind::Unusable)
    return "exe_name/php_folder: cannot use " + program + ": " + why;
  if (server != PathKind::ExecutableFile)
    return "exe_name/php_folder: " + program + " is not an executable file";
  const std::string root = joinPath(programFolder, s.rootDirectory);
  const PathKind web = platform.pathKind(root, &why);
  if (web == PathKind::Unusable) return "root_directory: cannot use " + root + ": " + why;
  if (web != PathKind::Folder) return "root_directory: " + root + " is not a folder";
  return invalidOptionalSetting(platform, programFolder, s);
}

std::string foreignNote(const std::vector<ForeignServer>& foreign, const std::string& exeName) {
  std::string note;
  for (const ForeignServer& f : foreign)
    note += "pid " + std::to_string(f.pid) + " is the server of another program folder, " +
            f.folder + ": give this folder an exe_name of its own (both use '" + exeName + "')\n";
  return note;
}

std::optional<std::vector<std::string>> endedAtOnce(Platform& platform, const std::string& log) {
  const std::optional<LastRun> run = OutputLog(platform.logFiles()).readLastRun(log);
  if (!run || run->note != kMarkStarted || run->lines.empty() ||
      run->lastOutput - run->launched > kEndedAtOnce)
    return std::nullopt;
  return run->lines;
}

ServerControl::ServerControl(Platform& platform, std::string programFolder, ServerSettings settings)
    : ServerControl(platform, programFolder, std::move(settings),
                    serverLogPath(platform, programFolder)) {}

ServerControl::ServerControl(Platform& platform, std::string programFolder, ServerSettings settings,
                             std::string log)
    : platform_(platform),
      folder_(std::move(programFolder)),
      settings_(std::move(settings)),
      image_(serverImage(folder_, settings_)),
      log_(std::move(log)) {}

bool ServerControl::isRunning() {
  return !settings_.exeName.empty() && platform_.anyProcess(image_);
}

void ServerControl::tendLog() { OutputLog(platform_.logFiles()).trimOutputLog(log_); }

void ServerControl::noteSeenRunning() {
  OutputLog serverLog(platform_.logFiles());
  if (const auto run = serverLog.readLastRun(log_); run && run->note == kMarkStarted)
    serverLog.markLaunch(log_, kMarkRunning);
}

std::string ServerControl::elsewhere(const std::vector<int>& pids, std::optional<int> port) {
  for (const int pid : pids) {
    const std::optional<int> started = startedPort(pid);
    if (!started || started == port) continue;
    const PortState state = portState(platform_, *started, {pids.begin(), pids.end()});
    if (state.heldByServer || (state.listening && state.holderUnknown))
      return "; the running server listens on port " + std::to_string(*started);
  }
  return {};
}

ServerStatus ServerControl::status() {
  tendLog();
  ServerStatus status;
  status.pids = find();
  status.foreign = foreignServers(platform_, folder_, settings_, status.pids);
  if (const auto port = portNumber(settings_.serverPort)) {
    const PortState state = portState(platform_, *port, {status.pids.begin(), status.pids.end()});
    status.portState = "port " + std::to_string(*port) + ": " +
                       (!state.listening                ? "not listening"
                        : !state.otherHolders.empty()   ? "held by another program: " + state.otherHolders
                        : state.heldByServer            ? "listening (server)"
                                                        : "listening (holder not visible)") +
                       elsewhere(status.pids, port);
  } else {
    status.portState = "port '" + settings_.serverPort + "': not a port number" +
                       elsewhere(status.pids, std::nullopt);
  }
  status.commandLine = shownCommandLine();
  if (status.pids.empty())
    status.endedAtOnce = tovanik::endedAtOnce(platform_, log_);
  else
    noteSeenRunning();  // seen running: it did not end at once
  return status;
}

std::string ServerControl::shownCommandLine() {
  // Where the system takes a command line, that very line; else the design's text with a
  // quote inside a value escaped, so the line reads back as the arguments really started.
  const std::string launched = platform_.launchCommandLine(serverArgv(folder_, settings_));
  if (!launched.empty()) return launched;
  auto escape = [](std::string text) {
    std::string out;
    for (const char c : text) out += c == '"' ? std::string("\\\"") : std::string(1, c);
    return out;
  };
  ServerSettings s = settings_;
  for (std::string* value : {&s.exeName, &s.phpFolder, &s.rootDirectory, &s.serverPort, &s.router,
                             &s.listenAddress, &s.phpIni, &s.phpSettings})
    *value = escape(*value);
  return serverCommandLine(escape(folder_), s);
}

ServerControl::Restart ServerControl::restart() {
  Restart done{stop(), std::nullopt};
  if (!done.stopped.why) done.started = start();
  return done;
}

std::vector<int> ServerControl::find() {
  if (settings_.exeName.empty()) return {};
  return platform_.findProcesses(image_);
}

std::optional<std::string> ServerControl::untrusted() {
  // Asked before every act, not once: a folder made untrusted meanwhile stops both.
  return untrustedServerFiles(platform_, folder_, settings_);
}

LaunchResult ServerControl::launch() {
  LaunchResult result;
  if (auto why = untrusted()) {
    result.why = std::move(why);
    result.untrusted = true;
    return result;
  }
  if (auto wrong = invalidSetting(platform_, folder_, settings_)) {
    result.why = std::move(wrong);
    return result;
  }
  // Where the system does not name a port's holders (Wine), a port that listens while
  // the server runs is taken to be the server's when it was free before this launch, or
  // when the server ran already.
  result.portWasFree = platform_.portListening(*portNumber(settings_.serverPort)) != true;
  result.running = find();
  const auto foreign = foreignServers(platform_, folder_, settings_, result.running);
  if (!result.running.empty() && foreign.size() == result.running.size()) {
    // The name is taken by another folder's server: waiting for this port would fail.
    const std::string note = foreignNote(foreign, settings_.exeName);
    result.why = "nothing started: " + note.substr(0, note.size() - 1);
    return result;
  }
  if (!result.running.empty()) return result;
  // Nothing is launched onto a port another program holds: on Windows PHP binds it
  // beside that program and runs without serving; elsewhere it would only fail.
  if (!result.portWasFree) {
    const int port = *portNumber(settings_.serverPort);
    if (const PortState state = portState(platform_, port, {}); state.listening) {
      result.why = "port " + std::to_string(port) + " is taken by " +
                   (state.otherHolders.empty() ? "another program" : state.otherHolders);
      return result;
    }
  }
  const auto argv = serverArgv(folder_, settings_);
  // Shown only where a console can be: else hidden, its output in the log.
  const bool shown = consoleModeFor(settings_.commandPrompt) == ConsoleMode::Shown &&
                     platform_.consoleCanBeShown();
  // A line of ours marks each launch, so the output of the latest run can be told from
  // older runs; a shown one's output is not in the log. A launch that cannot start leaves
  // one mark, which says why.
  OutputLog serverLog(platform_.logFiles());
  const std::uint64_t markedAt = serverLog.outputLogSize(log_).value_or(0);
  const bool logged = serverLog.markLaunch(log_, shown ? kMarkStartedInTerminal : kMarkStarted);
  result.pid = platform_.launchDetached(argv, shown ? ConsoleMode::Shown : ConsoleMode::Hidden,
                                       logged && !shown ? log_ : std::string(),
                                       serverEnvironment(settings_));
  if (result.pid == 0) {
    const std::string reason = lastSystemError();
    result.why = "could not start " + argv[0] + ": " + reason;
    if (logged) serverLog.markFailedLaunch(log_, markedAt, reason);
  }
  return result;
}

std::string ServerControl::exitedAtOnce(const std::optional<std::vector<std::string>>& lines) {
  std::string why = "the server exited at once";
  if (const std::optional<int> port = portNumber(settings_.serverPort)) {
    const PortState state = portState(platform_, *port, {});
    if (!state.otherHolders.empty())
      why += " (port " + std::to_string(*port) + " is taken by " + state.otherHolders + ")";
  }
  return lines ? why + ": " + lastNonEmpty(*lines) : why;
}

std::optional<std::string> ServerControl::whyEndedAtOnce() {
  const auto lines = endedAtOnce(platform_, log_);
  if (!lines) return std::nullopt;
  return exitedAtOnce(lines);
}

void ServerControl::endLaunched(int launched) {
  // The launched process leads its own group, which holds whatever it started too, even
  // a program it replaced itself with under another name.
  if (launched <= 0) return;
  platform_.killLaunched(launched);
  const auto deadline = platform_.now() + milliseconds(2000);
  while (platform_.killProcesses(image_) > 0 && platform_.now() < deadline)
    platform_.sleepMs(kPollMs);
}

int ServerControl::ownServer(const std::vector<int>& pids) {
  const auto foreign = foreignServers(platform_, folder_, settings_, pids);
  for (const int pid : pids)
    if (std::none_of(foreign.begin(), foreign.end(),
                     [&](const ForeignServer& f) { return f.pid == pid; }))
      return pid;
  return pids.front();
}

StartResult ServerControl::waitUntilServing(const LaunchResult& l) {
  const int port = *portNumber(settings_.serverPort);
  const int launched = l.pid;
  const ConsoleMode mode = consoleModeFor(settings_.commandPrompt);
  const auto begun = platform_.now();
  const auto grace = mode == ConsoleMode::Shown ? kTerminalGrace : milliseconds(0);
  auto nextScan = begun;
  for (;;) {
    const auto now = platform_.now();
    if (now - begun < kQuickPhase && now < nextScan && platform_.portListening(port) == false) {
      platform_.sleepMs(kQuickPollMs);
      continue;
    }
    nextScan = now + milliseconds(kPollMs);
    const auto pids = find();
    std::set<int> server(pids.begin(), pids.end());
    if (launched > 0) server.insert(launched);  // a wrapper that runs php as its child
    if (!pids.empty()) {
      const PortState state = portState(platform_, port, server);
      if (state.heldByServer ||
          (state.holderUnknown && state.otherHolders.empty() && (l.portWasFree || launched == 0))) {
        OutputLog serverLog(platform_.logFiles());
        if (launched > 0 && serverLog.outputLogExists(log_))
          serverLog.markLaunch(log_, kMarkListening);
        return {launched > 0 ? launched : ownServer(pids), std::nullopt};
      }
    }
    // The launched process takes its name a moment after its exec has let us go on, so
    // while it lives it is not taken for gone.
    if (pids.empty() && platform_.now() - begun >= grace &&
        (launched == 0 || mode == ConsoleMode::Shown || !platform_.isLiveProcess(launched))) {
      // PHP reports why on its output and exits: quote it, with whoever holds the port.
      const std::string why = exitedAtOnce(endedAtOnce(platform_, log_));
      endLaunched(launched);
      return {0, why + " (see tovanikctl log)"};
    }
    if (platform_.now() - begun > kListenTimeout) {
      endLaunched(launched);
      return {0, "the server did not listen on port " + std::to_string(port) + " within 5 s" +
                     (launched ? " and was stopped" : "")};
    }
    platform_.sleepMs(platform_.now() - begun < kQuickPhase ? kQuickPollMs : kPollMs);
  }
}

StartResult ServerControl::start() {
  const LaunchResult l = launch();
  if (l.why) return {0, l.why};
  return waitUntilServing(l);
}

StopResult ServerControl::stop() {
  StopResult result;
  if (settings_.exeName.empty()) return result;
  if (auto why = untrusted()) {
    result.why = std::move(why);
    result.untrusted = true;
    return result;
  }
  const std::optional<int> port = portNumber(settings_.serverPort);
  // Ends every match, and any that appears meanwhile (a restart loop), until none is
  // left and the port is closed: a start right after the stop then finds it free.
  const auto deadline = platform_.now() + kStopPatience;
  std::set<int> ended;
  for (;;) {
    const std::vector<int> found = find();
    std::vector<int> fresh;
    for (const int pid : found)
      if (!ended.count(pid)) fresh.push_back(pid);
    const auto foreign = foreignServers(platform_, folder_, settings_, fresh);
    for (const int pid : fresh) {
      const auto other = std::find_if(foreign.begin(), foreign.end(),
                                      [&](const ForeignServer& f) { return f.pid == pid; });
      result.ended.push_back({pid, other == foreign.end() ? std::string() : other->folder});
    }
    if (!found.empty()) {
      // What holds the port among their descendants goes too, and is waited for: a
      // wrapper's php in a session of its own escapes the group the stop ends. (The
      // platform spares the caller, its ancestors and their groups, as the name match.)
      const std::set<int> matched(found.begin(), found.end());
      if (port) {
        for (const auto& [holder, name] : platform_.portUse(*port, found).holders) {
          if (holder <= 0 || matched.count(holder) || !descendsFrom(platform_, holder, matched))
            continue;
          if (platform_.killLaunched(holder)) ended.insert(holder);
        }
      }
      platform_.killProcesses(image_);
    }
    ended.insert(found.begin(), found.end());
    bool left = false;
    for (const int pid : ended) left = left || platform_.isLiveProcess(pid);
    const bool open = !ended.empty() && port && portState(platform_, *port, ended).heldByServer;
    if (!left && !open && find().empty()) break;
    if (platform_.now() >= deadline) {
      std::vector<int> living;
      for (const int pid : ended)
        if (platform_.isLiveProcess(pid)) living.push_back(pid);
      if (!living.empty())
        result.why = "still running 2 s after the stop:" + pidList(living) + " (not ours to stop?)";
      else if (open)
        result.why = "port " + std::to_string(*port) +
                     " still held by the stopped server 2 s after the stop";
      else
        result.why = "a server of this name appeared again and again during the stop";
      return result;
    }
    platform_.sleepMs(kPollMs);
  }
  // Marked, so that a server stopped soon after its launch is not taken for one that
  // could not start.
  OutputLog serverLog(platform_.logFiles());
  if (!ended.empty() && serverLog.outputLogExists(log_)) serverLog.markLaunch(log_, kMarkStopped);
  // Never ended, and never to be said ended: the server this stop runs inside.
  if (const std::vector<int> own = platform_.callerServers(image_); !own.empty())
    result.why = "not stopped: this stop runs inside the server (pid" + pidList(own) +
                 "), started from one of its pages; stop it from outside the server";
  return result;
}

std::optional<ListenAddress> ServerControl::startedAddress(int pid) {
  const std::optional<ProcessInfo> info = platform_.processInfo(pid);
  if (!info) return std::nullopt;
  const auto& args = info->arguments;
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] != "-S") continue;
    const std::string& address = args[i + 1];
    const std::size_t colon = address.rfind(':');
    const std::optional<int> port = portNumber(address.substr(colon + 1));  // npos + 1 == 0
    if (!port) return std::nullopt;
    return ListenAddress{colon == std::string::npos ? "" : address.substr(0, colon), *port};
  }
  return std::nullopt;
}

std::optional<int> ServerControl::startedPort(int pid) {
  const std::optional<ListenAddress> address = startedAddress(pid);
  if (!address) return std::nullopt;
  return address->port;
}

}  // namespace tovanik
