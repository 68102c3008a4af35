#pragma once
// The server's life, for both front ends: the checks before a launch, the launch, the
// wait for the port, "ended at once", the stop, and the words that say why. The panel
// takes these one step at a time (its launch is fire-and-forget); tovanikctl runs them
// whole and prints their results.
//
// Failure: as for all of server/ (command.h): a step that fails returns its reason as
// text, in the words both front ends show; nothing here prints.

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "server/command.h"
#include "server/server_processes.h"

namespace tovanik {

// The first setting that keeps these settings from making a server, named; nullopt when
// they can. The one rule for both front ends: neither launches what this refuses.
std::optional<std::string> invalidSetting(Platform& platform, const std::string& programFolder,
                                          const ServerSettings& s);

// "pid 123 is the server of another program folder, /srv/a: ...\n" for each one.
std::string foreignNote(const std::vector<ForeignServer>& foreign, const std::string& exeName);

// The lines the latest run printed, when it no longer runs and ended at once: nothing
// saw it listen or run since its launch mark, and its last output came within seconds.
std::optional<std::vector<std::string>> endedAtOnce(Platform& platform, const std::string& log);

struct ListenAddress {
  std::string host;
  int port = 0;
};

struct LaunchResult {
  int pid = 0;                     // what this launch started; 0 when nothing was
  std::vector<int> running;        // the server's processes found before the launch
  bool portWasFree = true;         // nothing listened on the port before the launch
  std::optional<std::string> why;  // why nothing was launched (and none runs)
  bool untrusted = false;          // refused for files another user can change
};

struct StartResult {
  int pid = 0;  // the server serving: the one launched, or the one found running
  std::optional<std::string> why;
};

// What status tells, for a front end to print as it is.
struct ServerStatus {
  std::vector<int> pids;               // the server's processes; none: stopped
  std::vector<ForeignServer> foreign;  // those of them that are another folder's
  // "port 8080: listening (server)", "port 8081: not listening; the running server
  // listens on port 8080", "port 'x': not a port number" (values as stored).
  std::string portState;
  std::string commandLine;  // what a launch starts, as the system is handed it
  // The last launch's last lines when it ended at once, and no server runs.
  std::optional<std::vector<std::string>> endedAtOnce;
};

struct StopResult {
  struct Ended {
    int pid = 0;
    std::string otherFolder;  // "" for this folder's server
  };
  std::vector<Ended> ended;
  std::optional<std::string> why;  // the stop could not finish (or was refused)
  bool untrusted = false;          // refused for files another user can change
};

class ServerControl {
 public:
  ServerControl(Platform& platform, std::string programFolder, ServerSettings settings);
  // With the log's path already known (the panel's tick: it never changes while it runs).
  ServerControl(Platform& platform, std::string programFolder, ServerSettings settings,
                std::string log);

  // Whether a process of the server runs: the cheap check a front end makes once a second.
  bool isRunning();

  // Everything status shows. Keeps the log within its limit, and notes a launch seen
  // running in it (it did not end at once).
  ServerStatus status();

  // The log kept within its limit (asked once a second while the panel runs, by tovanikctl
  // at each use); a launch seen running noted in it.
  void tendLog();
  void noteSeenRunning();

  // The processes that count as the server, by its name.
  std::vector<int> find();

  // Checks (the folder's files as root, the settings, a name held only by another
  // folder's server) and, unless the server runs already, launches it without waiting.
  LaunchResult launch();

  // Waits for what `launch` found or started to listen on the port (up to 5 s); a start
  // that fails ends everything it launched.
  StartResult waitUntilServing(const LaunchResult& launched);

  StartResult start();

  // Ends every match and any that appears meanwhile, the port holder among their
  // descendants, never the caller or its groups; returns once they are gone and the
  // port is closed (at most 2 s). Refused, like a launch, for untrusted files.
  StopResult stop();

  // Stops, then starts when the stop finished (tovanikctl's restart; the panel's keeps the
  // design's steps: stop, store the port, a second's pause, a launch not waited for).
  struct Restart {
    StopResult stopped;
    std::optional<StartResult> started;  // none when the stop did not finish
  };
  Restart restart();

  // Why the latest launch ended at once, in the words status uses: "the server exited at
  // once (port 80 is taken by nc (pid 12)): <its last line>". nullopt when it did not.
  std::optional<std::string> whyEndedAtOnce();

  // The address and port the server with this PID was started to listen on, from its
  // arguments (the host as in -S: "0.0.0.0", "[::1]").
  std::optional<ListenAddress> startedAddress(int pid);
  std::optional<int> startedPort(int pid);

 private:
  std::optional<std::string> untrusted();
  // "the server exited at once", who holds the port, and its last line when it printed one.
  std::string exitedAtOnce(const std::optional<std::vector<std::string>>& lines);
  void endLaunched(int launched);
  int ownServer(const std::vector<int>& pids);  // the first not another folder's
  // "; the running server listens on port N" when one of `pids` was started on another
  // port than the setting holds (changed while it ran), and listens there.
  std::string elsewhere(const std::vector<int>& pids, std::optional<int> port);
  std::string shownCommandLine();

  Platform& platform_;
  const std::string folder_;
  const ServerSettings settings_;
  const ServerImage image_;
  const std::string log_;
};

}  // namespace tovanik
