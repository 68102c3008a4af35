// tovanikctl's server commands: status, start, stop and the local address.
#include <unistd.h>

#include <chrono>
#include <ostream>
#include <set>
#include <thread>

#include "app/ctl_commands.h"
#include "platform/proc_table.h"
#include "server/server_settings.h"
#include "settings/config.h"

namespace tovanik::ctl {
namespace {

using Clock = std::chrono::steady_clock;

// Who listens on the port, described for a person; "" when nobody does. Holders that are
// the server itself are named as such.
struct PortState {
  bool listening = false;
  bool heldByServer = false;
  std::string otherHolders;  // "nc (pid 123), ..." of holders that are not the server
};

PortState portState(int port, const std::vector<int>& serverPids) {
  PortState state;
  const std::set<int> server(serverPids.begin(), serverPids.end());
  std::set<int> seen;
  for (const Listener& l : tcpListenersOnPort(port)) {
    state.listening = true;
    for (const auto& [pid, name] : l.holders) {
      if (server.count(pid)) {
        state.heldByServer = true;
      } else if (seen.insert(pid).second) {
        if (!state.otherHolders.empty()) state.otherHolders += ", ";
        state.otherHolders += name + " (pid " + std::to_string(pid) + ")";
      }
    }
  }
  return state;
}

std::optional<int> portNumber(const std::string& text) {
  if (!isNumericPort(text) || text.size() > 5) return std::nullopt;
  const int port = std::stoi(text);
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

std::string pidList(const std::vector<int>& pids) {
  std::string s;
  for (int pid : pids) s += ' ' + std::to_string(pid);
  return s;
}

// Reads the server settings or says why not.
std::optional<ServerSettings> settingsOrFail(const Context& c) {
  bool allRead = false;
  ServerSettings s = readServerSettings(ConfigFile(c.programFolder), &allRead);
  if (!allRead) {
    fail(c, "cannot read " + configPath(c.programFolder));
    return std::nullopt;
  }
  return s;
}

}  // namespace

int status(const Context& c) {
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  const std::vector<int> pids =
      s->exeName.empty() ? std::vector<int>{} : c.platform.findProcesses(s->exeName);
  c.out << (pids.empty() ? "stopped" : "running" + pidList(pids)) << '\n';
  if (const auto port = portNumber(s->serverPort)) {
    const PortState state = portState(*port, pids);
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
    c.out << "port '" << s->serverPort << "': not a port number\n";
  }
  return pids.empty() ? 3 : 0;
}

int start(const Context& c) {
  ConfigFile(c.programFolder).writeDefaultsIfIncomplete();
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  if (s->exeName.empty()) return fail(c, "exe_name is empty in " + configPath(c.programFolder));
  const auto argv = serverArgv(c.programFolder, *s);
  if (c.platform.findProcesses(s->exeName).empty()) {
    if (access(argv[0].c_str(), X_OK) != 0)
      return fail(c, "server executable " + argv[0] + " is missing or not executable");
    if (!c.platform.launchDetached(argv, consoleModeFor(s->commandPrompt)))
      return fail(c, "could not start " + argv[0]);
  }
  const auto port = portNumber(s->serverPort);
  if (!port) return fail(c, "server_port '" + s->serverPort + "' is not a port number");

  const auto launched = Clock::now();
  const auto deadline = launched + std::chrono::seconds(5);
  for (;;) {
    const auto pids = c.platform.findProcesses(s->exeName);
    const PortState state = portState(*port, pids);
    if (state.heldByServer) return 0;
    if (!state.otherHolders.empty()) {
      // The server cannot listen and is about to exit; let it, so that whoever asks for
      // the status next does not see it still running.
      while (!c.platform.findProcesses(s->exeName).empty() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return fail(c, "port " + std::to_string(*port) + " is taken by " + state.otherHolders);
    }
    // Half a second without a process: it has gone, not yet to come.
    if (pids.empty() && Clock::now() - launched > std::chrono::milliseconds(500))
      return fail(c, "the server exited at once (see its output with command_prompt=show)");
    if (Clock::now() > deadline)
      return fail(c, "the server did not listen on port " + std::to_string(*port) + " within 5 s");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

int stop(const Context& c) {
  const auto s = settingsOrFail(c);
  if (!s) return 1;
  if (s->exeName.empty()) return 0;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  for (;;) {
    c.platform.killProcesses(s->exeName);
    const auto left = c.platform.findProcesses(s->exeName);
    if (left.empty()) return 0;
    if (Clock::now() > deadline)
      return fail(c, "still running after 5 s:" + pidList(left) + " (not ours to stop?)");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int url(const Context& c) {
  const auto port = ConfigFile(c.programFolder).read("server_port");
  if (!port) return fail(c, "cannot read " + configPath(c.programFolder));
  c.out << localUrl(*port) << '\n';
  return 0;
}

}  // namespace tovanik::ctl
