// ServerControl's rules on the recording platform's process table and clock, run once:
// the launch's checks and marks in the log, the wait for the port, the stop, status and
// isRunning. The front ends that use it (the panel, tovanikctl) keep a row per action in
// tests/app/test_both_callers.cpp. Nothing here runs a real process, so the same rows run
// in the Linux and Windows builds; paths are built with the system's separator.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "platform/path_text.h"
#include "server/output_log.h"
#include "server/server_control.h"
#include "server/server_settings.h"
#include "tests/support/fake_platform.h"
#include "tests/support/server_scene.h"
#include "tests/support/test_support.h"

namespace tovanik {
namespace {

using namespace test;
namespace fs = std::filesystem;

class ControlTest : public ServerScene {
 public:
  ServerControl control(FakePlatform& p) const {
    return ServerControl(p, dir.path(), *readServerSettings(ConfigFile(dir.path(), p)));
  }
};

// The stop: every match and what appears meanwhile, the port holder among their
// descendants, never the caller's line; back once they are gone and the port is closed.
TEST_F(ControlTest, StopEndsEveryMatchAndWhatHoldsThePort) {
  struct Row {
    const char* what;
    std::function<void(ControlTest&, FakePlatform&)> setup;
    std::set<int> ended, spared;
    int rc;
    std::string said;  // in what it ended ("pid N\n", "pid N of FOLDER\n") or why not
    int atLeastMs;     // on the clock when the stop returns
  };
  const Row rows[] = {
      {"one server", [](ControlTest& t, FakePlatform& p) { p.table_[200] = t.server(200); },
       {200}, {}, 0, "pid 200\n", 0},
      {"a wrapper whose php holds the port in a session of its own",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].port = 0;
         p.table_[201] = process("php", 200, 201, 8080);
       },
       {200, 201}, {}, 0, "pid 200\n", 0},
      {"a restart loop starts it again twice",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].respawns = 2;
       },
       {200, 100, 101}, {}, 0, "pid 100\npid 101\n", 20},
      // Exiting, it no longer shows its name, and holds no port: only its PID tells.
      {"it dies 300 ms after its kill",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].port = 0;
         p.table_[200].diesAfterMs = 300;
       },
       {200}, {}, 0, "pid 200\n", 300},
      {"its port closes 400 ms after it died",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].portClosesAfterMs = 400;
       },
       {200}, {}, 0, "pid 200\n", 400},
      // A wrapper whose php (in a session of its own) runs a page that runs tovanikctl
      // restart in the background: the caller, left to init, is in php's group.
      {"the caller is in the group of the server's php",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].port = 0;
         p.table_[201] = process("php", 200, 201, 8080);
         p.table_[301] = process("tovanikctl", 1, 201, 0);
         p.self_ = 301;
       },
       {200, 201}, {301}, 0, "pid 200\n", 0},
      {"the caller's shell below the server's php waits for it",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].port = 0;
         p.table_[201] = process("php", 200, 201, 8080);
         p.table_[300] = process("sh", 201, 201, 0);
         p.table_[301] = process("tovanikctl", 300, 201, 0);
         p.self_ = 301;
       },
       {}, {200, 201, 300, 301}, 0, "", 0},
      {"another program holds the port",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].port = 0;
         p.table_[150] = process("nc", 1, 150, 8080);
       },
       {200}, {150}, 0, "pid 200\n", 0},
      {"not ours to stop",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].killable = false;
       },
       {}, {200}, 1, "still running 2 s after the stop: 200 (not ours to stop?)",
       2000},
      {"another folder's server of the name",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200, kElsewhereServer);
       },
       {200}, {}, 0,
       "pid 200 of " + kElsewhere + "\n", 0},
      {"another user's server of the name",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].uid = 0;
       },
       {}, {200}, 0, "", 0},
      {"the server and its two workers",
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[201] = p.table_[202] = t.server(200);
         p.table_[201].parent = p.table_[202].parent = 200;
       },
       {200, 201, 202}, {}, 0, "pid 200\npid 201\n", 0},
      {"nothing runs", [](ControlTest&, FakePlatform&) {}, {}, {}, 0, "", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakePlatform p = fresh();
    row.setup(*this, p);
    std::set<int> before;
    for (const auto& [pid, process] : p.table_) before.insert(pid);
    const StopResult r = control(p).stop();
    std::string said;
    for (const auto& e : r.ended)
      said += "pid " + std::to_string(e.pid) + (e.otherFolder.empty() ? "" : " of " + e.otherFolder) + "\n";
    said += r.why.value_or("");
    EXPECT_EQ(r.why.has_value(), row.rc != 0) << said;
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    EXPECT_EQ(endedIn(p, before), row.ended);
    for (const int pid : row.spared) EXPECT_TRUE(p.alive(pid)) << pid;
    EXPECT_GE(p.clockMs(), row.atLeastMs);
    if (row.rc == 0 && !row.ended.empty() && !row.spared.count(150)) {
      EXPECT_FALSE(*p.portListening(8080)) << "back before the port closed";
    }
  }
}

// The start: the checks before a launch, each refusal naming its reason; the wait for the
// port; a failed start ends what it launched; the log's marks.
TEST_F(ControlTest, StartChecksLaunchesWaitsAndSaysWhy) {
  const std::string failedToListen = "Failed to listen on 0.0.0.0:8080 (reason: ";
  const std::string elsewhere =
      "nothing started: pid 200 is the server of another program folder, " + kElsewhere +
      ": give "
      "this folder an exe_name of its own (both use 't-server.exe')";
  struct Row {
    const char* what;
    std::map<std::string, std::string> settings;
    std::function<void(ControlTest&, FakePlatform&)> setup;
    int rc;
    std::string said;  // "pid N on HOST:PORT" when it serves, else in why it did not
    std::string why;   // in why it did not ("" none)
    std::size_t launches;
  };
  auto none = [](ControlTest&, FakePlatform&) {};
  auto portTaken = [&](ControlTest&, FakePlatform& p) {
    p.table_[150] = process("nc", 1, 150, 8080);
    p.launch_exits_after_ms_ = 5;
    p.launch_output_ = {failedToListen + "Address already in use)"};
  };
  const Row rows[] = {
      {"serves", {}, none, 0, "pid 100 on 0.0.0.0:8080", "", 1},
      {"serves in a console", {{"command_prompt", "show"}}, none, 0,
       "pid 100 on 0.0.0.0:8080", "", 1},
      // Its name comes a moment after the launch: from the console, within 1.5 s.
      {"a console that starts it after 1 s", {{"command_prompt", "show"}},
       [](ControlTest&, FakePlatform& p) { p.launch_named_after_ms_ = 1000; }, 0,
       "pid 100 on 0.0.0.0:8080", "", 1},
      {"its name shows 50 ms after the launch", {},
       [](ControlTest&, FakePlatform& p) { p.launch_named_after_ms_ = 50; }, 0,
       "pid 100 on 0.0.0.0:8080", "", 1},
      // Nothing is launched onto a port another program holds, named or not (Wine).
      {"the port is taken", {}, portTaken, 1, "", "port 8080 is taken by nc (pid 150)", 0},
      {"the port is taken by a holder not named", {},
       [](ControlTest&, FakePlatform& p) { p.ports_[8080] = {true, {{0, ""}}}; }, 1, "",
       "port 8080 is taken by another program", 0},
      {"a port only root may use", {{"server_port", "80"}},
       [&](ControlTest&, FakePlatform& p) {
         p.launch_exits_after_ms_ = 5;
         p.launch_output_ = {"Failed to listen on 0.0.0.0:80 (reason: Permission denied)"};
       },
       1, "",
       "the server exited at once: Failed to listen on 0.0.0.0:80 (reason: Permission denied)",
       1},
      // Five seconds are waited for, as said: a server that listens after four serves.
      {"it listens after 4 s", {},
       [](ControlTest&, FakePlatform& p) { p.launch_listens_after_ms_ = 4000; }, 0,
       "pid 100 on 0.0.0.0:8080", "", 1},
      // A hand-edited value is checked by the same rule as config set.
      {"php folder absolute", {{"php_folder", kElsewhere}}, none, 1, "",
       "php_folder must be a path relative to the program folder", 0},
      {"it never listens", {},
       [](ControlTest&, FakePlatform& p) { p.launch_listens_after_ms_ = -1; }, 1,
       "the server did not listen on port 8080 within 5 s and was stopped", "", 1},
      {"it never listens, and its php escapes the group", {},
       [](ControlTest&, FakePlatform& p) {
         p.launch_listens_after_ms_ = -1;
         p.launch_respawns_ = 1;
       },
       1, "the server did not listen on port 8080 within 5 s and was stopped", "", 1},
      {"the launch fails", {}, [](ControlTest&, FakePlatform& p) { p.launch_succeeds_ = false; },
       1, "could not start " + dir.file("php/t-server.exe") + ": ",
       "could not start " + dir.file("php/t-server.exe") + ": ", 1},
      {"another folder's server holds the name", {},
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200, kElsewhereServer);
       },
       1, "", elsewhere, 0},
      {"another folder's server runs as a script", {},
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200);
         p.table_[200].arguments = {"/bin/sh", "-e", kElsewhereServer};
       },
       1, "", elsewhere, 0},
#ifndef _WIN32
      {"a server whose path differs in letter case is another file", {},
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200, t.dir.file("php/T-server.exe"));
       },
       1, "", "nothing started: pid 200 is the server of another program folder", 0},
#else
      {"a server whose path differs only in letter case is this folder's", {},
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200, t.dir.file("php/T-server.exe"));
       },
       0, "pid 200 on 0.0.0.0:8080", "", 0},
#endif
      {"this folder's server runs beside another folder's", {},
       [](ControlTest& t, FakePlatform& p) {
         p.table_[200] = t.server(200, kElsewhereServer);
         p.table_[200].port = 0;
         p.table_[201] = t.server(201);
       },
       0, "pid 201 on 0.0.0.0:8080", "", 0},
      // The settings are checked before anything is launched; each refusal names one.
      {"port 0", {{"server_port", "0"}}, none, 1, "server_port '0'", "server_port '0'", 0},
      {"port empty", {{"server_port", ""}}, none, 1, "server_port ''", "server_port ''", 0},
      {"port of six digits", {{"server_port", "018232"}}, none, 1, "server_port '018232'",
       "server_port '018232'", 0},
      {"port too high", {{"server_port", "99999"}}, none, 1, "server_port '99999'",
       "server_port '99999'", 0},
      {"port of eleven digits", {{"server_port", "12345678901"}}, none, 1,
       "server_port '12345678901'", "server_port '12345678901'", 0},
      {"port with a blank", {{"server_port", "80 "}}, none, 1, "server_port '80 '",
       "server_port '80 '", 0},
      {"no exe_name", {{"exe_name", ""}}, none, 1, "exe_name", "exe_name is empty", 0},
      {"exe_name with a slash", {{"exe_name", "php/t-server.exe"}}, none, 1, "exe_name",
       "exe_name 'php/t-server.exe' holds a path separator: it must be a file name", 0},
      {"exe_name with a backslash", {{"exe_name", "php\\t-server.exe"}}, none, 1, "exe_name",
       "exe_name 'php\\t-server.exe' holds a path separator: it must be a file name", 0},
      {"exe_name above the folder", {{"exe_name", "..\\t-server.exe"}}, none, 1, "exe_name",
       "exe_name '..\\t-server.exe' holds a path separator: it must be a file name", 0},
      {"server not executable", {{"php_folder", "."}, {"exe_name", "plain.txt"}}, none, 1,
       "is not an executable file", "is not an executable file", 0},
      {"server missing", {{"exe_name", "missing.exe"}}, none, 1, "exe_name/php_folder",
       "exe_name/php_folder", 0},
      {"server a folder", {{"php_folder", "."}, {"exe_name", "not-a-program.exe"}}, none, 1,
       "exe_name/php_folder", "exe_name/php_folder", 0},
      {"server the config folder", {{"php_folder", "."}, {"exe_name", "config"}}, none, 1,
       "exe_name/php_folder", "exe_name/php_folder", 0},
      {"web folder missing", {{"root_directory", "nowhere"}}, none, 1, "root_directory",
       "root_directory", 0},
      {"web folder a file", {{"root_directory", "www/index.php"}}, none, 1, "root_directory",
       "root_directory", 0},
      // The optional keys, by the one value rule; the files they name must be files.
      {"listens on loopback", {{"listen_address", "::1"}}, none, 0,
       "pid 100 on [::1]:8080", "", 1},
      {"listen address a name", {{"listen_address", "localhost"}}, none, 1, "",
       "listen_address must be 0.0.0.0, 127.0.0.1, :: or ::1, got 'localhost'", 0},
      {"router missing", {{"router", "r.php"}}, none, 1, "", "router: cannot use ", 0},
      {"php_ini a folder", {{"php_ini", "www"}}, none, 1, "", "php_ini: ", 0},
      {"php_settings without a value", {{"php_settings", "display_errors"}}, none, 1, "",
       "php_settings must be name=value pairs", 0},
#ifdef _WIN32
      {"workers", {{"workers", "2"}}, none, 1, "", "PHP's built-in server has no workers there", 0},
#else
      {"workers", {{"workers", "2"}}, none, 0, "pid 100 on 0.0.0.0:8080", "", 1},
#endif
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    configure(row.settings);
    fs::remove_all(state.path());
    fs::create_directory(state.path());
    FakePlatform p = fresh();
    row.setup(*this, p);
    const StartResult r = control(p).start();
    std::string said = r.why.value_or("");
    if (const auto at = r.pid ? control(p).startedAddress(r.pid) : std::nullopt)
      said = "pid " + std::to_string(r.pid) + " on " + at->host + ":" + std::to_string(at->port);
    EXPECT_EQ(r.pid != 0, row.rc == 0) << said;
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    EXPECT_NE(r.why.value_or("").find(row.why), std::string::npos) << said;
    EXPECT_EQ(p.launches_.size(), row.launches);
    // PHP_CLI_SERVER_WORKERS (test_command.cpp) for workers alone.
    EXPECT_EQ(row.launches ? p.launch_environments_[0].size() : 0,
              row.launches ? row.settings.count("workers") : 0);
    if (row.rc != 0 && !p.launches_.empty()) {
      EXPECT_FALSE(p.alive(100)) << "a failed start left its server running";
      EXPECT_EQ(p.tableMatches("t-server.exe"), std::vector<int>{}) << "nor its php";
    }
    // A timeout lasts as long as its message says.
    if (const auto within = said.find(" within "); within != std::string::npos) {
      EXPECT_EQ(p.clockMs() / 1000, std::stoi(said.substr(within + 8))) << said;
    }
    OutputLog serverLog(p.logFiles());
    const std::string logPath = serverLog.outputLogPath(dir.path());
    if (row.launches == 0) {
      EXPECT_FALSE(p.logFiles().exists(logPath)) << "launched";
    }
    if (!p.launch_succeeds_) {  // one mark, which says why
      EXPECT_EQ(serverLog.readLastRun(logPath)->note.rfind("server could not be started: ", 0), 0u);
    }
    if (row.settings.count("command_prompt")) {  // its output is not in the log, and it says so
      EXPECT_NE(serverLog.tailLines(logPath, 2)->front().find("] server started in a terminal"),
                std::string::npos);
    }
  }
}

// status names the port the running server listens on when the setting says another.
TEST_F(ControlTest, StatusNamesThePortTheServerReallyListensOn) {
  FakePlatform p = fresh();
  p.table_[200] = server(200);
  p.table_[200].port = 8081;
  p.table_[200].arguments[2] = "0.0.0.0:8081";
  EXPECT_TRUE(control(p).isRunning());
  ServerStatus status = control(p).status();
  EXPECT_EQ(status.pids, std::vector<int>{200});
  EXPECT_EQ(status.portState, "port 8080: not listening; the running server listens on port 8081");
  EXPECT_EQ(control(p).startedPort(200), 8081);  // the running server's
  p.table_[200].arguments[2] = "[::1]:8081";  // the port after the last colon
  const ListenAddress at = control(p).startedAddress(200).value_or(ListenAddress{"none", 0});
  EXPECT_EQ(at.host + " " + std::to_string(at.port), "[::1] 8081");
  EXPECT_NE(control(p).status().portState.find("the running server listens on port 8081"),
            std::string::npos);
  p.table_[200].port = 8080;
  p.table_[200].arguments[2] = "0.0.0.0:8080";
  EXPECT_EQ(control(p).status().portState, "port 8080: listening (server)");

  // The status of a port no number can hold says so, and does not abort.
  configure({{"server_port", "12345678901"}});
  FakePlatform stopped = fresh();
  EXPECT_FALSE(control(stopped).isRunning());
  status = control(stopped).status();
  EXPECT_TRUE(status.pids.empty());
  EXPECT_EQ(status.portState, "port '12345678901': not a port number");
}

}  // namespace
}  // namespace tovanik
