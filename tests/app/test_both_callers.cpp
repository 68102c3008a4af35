// The panel and tovanikctl on the recording platform's process table and clock, through
// the same scenarios: both act through one server control, so each row holds for both.
// Nothing here runs a real process, so the same rows run in the Linux and Windows builds;
// paths are built with the system's separator.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "app/ctl_commands.h"
#include "panel/panel.h"
#include "platform/path_text.h"
#include "tests/support/ctl_run.h"
#include "tests/support/fake_platform.h"
#include "tests/support/no_view.h"
#include "tests/support/server_scene.h"
#include "tests/support/test_support.h"

namespace tovanik {
namespace {

using namespace test;
namespace fs = std::filesystem;

class BothCallers : public ServerScene {
 public:
  CtlRun ctlRun(FakePlatform& p, const std::string& command) const {
    std::ostringstream out, err;
    const int rc = tovanik::ctl::run(p, {"--folder", dir.path(), command}, out, err);
    return {rc, out.str(), err.str()};
  }
  NoView view;
};

// The stop of both, as a front end shows it (its rules: tests/server/test_server_control.cpp).
TEST_F(BothCallers, StopEndsTheSameProcesses) {
  struct Row {
    const char* what;
    std::function<void(BothCallers&, FakePlatform&)> setup;
    std::set<int> ended, spared;
    int rc;
    std::string said;  // tovanikctl's output and error
    int atLeastMs;     // on the clock when the stop returns
  };
  const Row rows[] = {
      {"one server", [](BothCallers& t, FakePlatform& p) { p.table_[200] = t.server(200); },
       {200}, {}, 0, "stopped pid 200 (this folder's server)\n", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakePlatform ctlSide = fresh(), panelSide = fresh();
    row.setup(*this, ctlSide);
    row.setup(*this, panelSide);
    std::set<int> before;
    for (const auto& [pid, process] : ctlSide.table_) before.insert(pid);
    const CtlRun r = ctlRun(ctlSide, "stop");
    EXPECT_EQ(r.rc, row.rc);
    EXPECT_NE((r.out + r.err).find(row.said), std::string::npos) << r.out << r.err;
    Panel(panelSide, view).killPHP();
    for (FakePlatform* p : {&ctlSide, &panelSide}) {
      EXPECT_EQ(endedIn(*p, before), row.ended);
      for (const int pid : row.spared) EXPECT_TRUE(p->alive(pid)) << pid;
      EXPECT_GE(p->clockMs(), row.atLeastMs);
      if (row.rc == 0 && !row.ended.empty() && !row.spared.count(150)) {
        EXPECT_FALSE(*p->portListening(8080)) << "back before the port closed";
      }
    }
  }
}

// The start of both: tovanikctl waits and says why; the panel launches, its tick finds
// out, and the switch's and the address's tooltips carry the same words (the start's
// rules: tests/server/test_server_control.cpp).
TEST_F(BothCallers, StartRefusesAndExplainsAlike) {
  const std::string failedToListen = "Failed to listen on 0.0.0.0:8080 (reason: ";
  struct Row {
    const char* what;
    std::map<std::string, std::string> settings;
    std::function<void(BothCallers&, FakePlatform&)> setup;
    int rc;
    std::string said;  // in tovanikctl's output or error
    std::string why;   // in the panel's tooltips ("" none); in tovanikctl's error too
    std::size_t launches;
  };
  auto portTaken = [&](BothCallers&, FakePlatform& p) {
    p.table_[150] = process("nc", 1, 150, 8080);
    p.launch_exits_after_ms_ = 5;
    p.launch_output_ = {failedToListen + "Address already in use)"};
  };
  const Row rows[] = {
      // Nothing is launched onto a port another program holds, named or not (Wine).
      {"the port is taken", {}, portTaken, 1, "", "port 8080 is taken by nc (pid 150)", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    configure(row.settings);
    fs::remove_all(state.path());
    fs::create_directory(state.path());
    FakePlatform ctlSide = fresh(), panelSide = fresh();
    row.setup(*this, ctlSide);
    row.setup(*this, panelSide);
    const CtlRun r = ctlRun(ctlSide, "start");
    EXPECT_EQ(r.rc, row.rc) << r.err;
    EXPECT_NE((r.out + r.err).find(row.said), std::string::npos) << r.out << r.err;
    EXPECT_NE(r.err.find(row.why), std::string::npos) << r.err;
    EXPECT_EQ(ctlSide.launches_.size(), row.launches);
    // PHP_CLI_SERVER_WORKERS (test_command.cpp) for workers alone; the panel's the same.
    EXPECT_EQ(row.launches ? ctlSide.launch_environments_[0].size() : 0,
              row.launches ? row.settings.count("workers") : 0);
    if (row.rc != 0) expectCleanFailure(r);

    Panel panel(panelSide, view);
    panel.startPHP();
    for (int tick = 0; tick < 3; ++tick) {
      panelSide.advanceMs(1000);
      panel.statusTick();
    }
    EXPECT_EQ(panelSide.launches_.size(), row.launches);
    EXPECT_EQ(panelSide.launches_, ctlSide.launches_);
    EXPECT_EQ(panelSide.launch_environments_, ctlSide.launch_environments_);
    EXPECT_NE(panel.why().find(row.why), std::string::npos) << panel.why();
    EXPECT_EQ(panel.why().empty(), row.why.empty()) << panel.why();
    EXPECT_EQ(panel[Ctl::lblStartStop].tooltip,
              row.why.empty() ? "Start / Stop Server" : panel.why());
    panel.hover(Ctl::lblURL);
    if (!panel.showsRunning()) {
      EXPECT_EQ(panel[Ctl::lblURL].tooltip, panel.why());
    }
    // Word for word; tovanikctl adds where the rest is when the server ended at once.
    if (r.rc != 0 && !row.why.empty()) {
      EXPECT_TRUE(r.err == "tovanikctl: " + panel.why() + "\n" ||
                  r.err == "tovanikctl: " + panel.why() + " (see tovanikctl log)\n")
          << r.err << panel.why();
    }
  }
}

// A successful start clears the reason; restart stops, pauses and starts in both.
TEST_F(BothCallers, RestartAndTheNextStartClearTheReason) {
  FakePlatform ctlSide = fresh(), panelSide = fresh();
  ctlSide.table_[200] = server(200);
  panelSide.table_[200] = server(200);
  const CtlRun r = ctlRun(ctlSide, "restart");
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out,
            "stopped pid 200 (this folder's server)\nserving http://localhost:8080 (pid 100)\n");
  Panel panel(panelSide, view);
  panel.loadConfig();
  panel.restartServer();
  EXPECT_GE(panelSide.clockMs(), 1000);
  for (FakePlatform* p : {&ctlSide, &panelSide}) {
    EXPECT_FALSE(p->alive(200));
    EXPECT_TRUE(p->alive(100));
    EXPECT_EQ(p->launches_.size(), 1u);
  }

  // A failed launch leaves its reason until a start comes up.
  FakePlatform again = fresh();
  Panel second(again, view);
  again.launch_succeeds_ = false;
  second.startPHP();
  EXPECT_NE(second.why(), "");
  again.launch_succeeds_ = true;
  second.startPHP();
  EXPECT_NE(second.why(), "");
  again.advanceMs(1000);
  second.statusTick();
  EXPECT_EQ(second.why(), "");
  EXPECT_EQ(second[Ctl::lblStartStop].tooltip, "Start / Stop Server");
}

// Made untrusted while the panel runs, the folder keeps it from stopping or launching,
// silently; trusted again, it acts again.
TEST_F(BothCallers, UntrustedFolderStopsThePanelUntilTrustedAgain) {
  FakePlatform p = fresh();
  p.table_[200] = server(200);
  Panel panel(p, view);
  p.untrusted_ = "refusing, as root, to use /srv: owned by atk (uid 1001)";
  panel.killPHP();
  EXPECT_TRUE(p.alive(200));
  p.table_[200].endsAtMs = 0;
  panel.startPHP();
  EXPECT_TRUE(p.launches_.empty());
  EXPECT_EQ(panel.why(), "");
  p.untrusted_.reset();
  panel.startPHP();
  EXPECT_EQ(p.launches_.size(), 1u);
  panel.killPHP();
  EXPECT_FALSE(p.alive(100));
}

// tovanikctl's status and url of a running server (status's rules:
// tests/server/test_server_control.cpp; the panel's status is its tick, test_panel.cpp).
TEST_F(BothCallers, StatusAndUrlOfTheRunningServer) {
  FakePlatform p = fresh();
  p.table_[200] = server(200);
  p.table_[200].arguments[2] = "[::1]:8080";
  const CtlRun r = ctlRun(p, "status");
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("running 200\nport 8080: listening (server)\n"), std::string::npos) << r.out;
  EXPECT_EQ(ctlRun(p, "url").out, "http://[::1]:8080\n");
}

// tovanikctl in-process, on the recording platform: what each command line asks of the
// system, and what it answers, where no real process is the point.
TEST(CtlInProcess, AnswersAndWhatIsAsked) {
  const TempDir dir;
  for (const char* folder : {"config", "php", "www"}) fs::create_directory(dir.file(folder));
  writeBytes(dir.file("php/t-server.exe"), "");  // never run: the platform is made up
  fs::permissions(dir.file("php/t-server.exe"), fs::perms::owner_all);
  struct Row {
    std::vector<std::string> args;
    std::string config;                    // server_port, with the other defaults
    std::optional<std::string> untrusted;  // what the platform says of the folder
    std::optional<std::string> runningAs;  // argv[0] of a running t-server.exe (pid 1)
    int rc;
    std::string said;  // found in the output or the error
  };
  const std::string refusal = "refusing, as root, to use /srv: owned by atk (uid 1001)";
  const Row rows[] = {
      {{"start"}, "8080", refusal, std::nullopt, 1, "tovanikctl: " + refusal + "\n"},
      {{"stop"}, "8080", refusal, "/srv/php/t-server.exe", 1, refusal},
      {{"status"}, "8080", refusal, std::nullopt, 1, refusal},
      {{"frobnicate"}, "8080", std::nullopt, std::nullopt, 2, "unknown command"},
      {{"status", "now"}, "8080", std::nullopt, std::nullopt, 2, "takes no arguments"},
      {{"url"}, "018070", std::nullopt, std::nullopt, 1, "is not a port number"},
      {{"url"}, "8080", std::nullopt, std::nullopt, 0, "http://localhost:8080\n"},
      // A quote in a value is escaped on the command line, a control byte shown escaped.
      {{"status"}, "80\"8\x1b", std::nullopt, std::nullopt, 3,
       "-S 0.0.0.0:80\\\"8\\x1b -t"},
      {{"status"}, "80\x7f", std::nullopt, std::nullopt, 3, "-S 0.0.0.0:80\\x7f -t"},
      {{"status"},
       "8080",
       std::nullopt,
       kElsewhereServer,
       0,
       "pid 1 is the server of another program folder, " + kElsewhere +
           ": give this folder an "
       "exe_name of its own"},
      {{"start"},
       "8080",
       std::nullopt,
       kElsewhereServer,
       1,
       "nothing started: pid 1 is the server of another program folder, " + kElsewhere},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.args));
    writeBytes(dir.file("config/config.ini"),
               "[Config]\r\ncommand_prompt=hide\r\nserver_port=" + row.config +
                   "\r\nroot_directory=www\r\nphp_folder=php\r\nexe_name=t-server.exe\r\n");
    FakePlatform platform;
    platform.program_folder_ = dir.path();
    platform.untrusted_ = row.untrusted;
    if (row.runningAs) {
      platform.running_names_.insert("t-server.exe");
      platform.processes_[1] = ProcessInfo{1, "/usr/bin/php8.2", {*row.runningAs, "-S"}};
    }
    std::ostringstream out, err;
    EXPECT_EQ(tovanik::ctl::run(platform, row.args, out, err), row.rc) << err.str();
    EXPECT_NE((out.str() + err.str()).find(row.said), std::string::npos) << out.str() << err.str();
    EXPECT_TRUE(platform.launches_.empty());  // none asks for a launch or a kill
    EXPECT_TRUE(platform.kills_.empty());
  }
}

// What the commands print goes through ctl::Output (no stream on Windows): text,
// characters and whole numbers of every width come out as a stream prints them.
TEST(CtlInProcess, OutputPrintsTextAndNumbersAsAStreamWould) {
  struct Collected final : tovanik::ctl::Output {
    std::string text;
    void write(std::string_view more) override { text += more; }
  };
  Collected out;
  out << "pid " << 0 << ' ' << -1 << ' ' << std::numeric_limits<int>::min() << ' '
      << std::numeric_limits<unsigned long long>::max() << ' ' << std::size_t{42} << ' '
      << static_cast<unsigned short>(65535) << ' ' << 4294967295ul << ' ' << -9000000000ll
      << ' ' << std::string("Zoë") << std::string_view(":\n");
  EXPECT_EQ(out.text,
            "pid 0 -1 -2147483648 18446744073709551615 42 65535 4294967295 -9000000000 Zoë:\n");
}

// config set refuses what no server could be started from, in one line naming the key, and
// leaves the file as it was.
TEST(CtlInProcess, ConfigSetRefusesAndKeepsTheFile) {
  const TempDir dir;
  fs::create_directory(dir.file("config"));
  const std::string config = dir.file("config/config.ini");
  writeBytes(config, "[Config]\r\nserver_port=8080\r\nexe_name=t-server.exe\r\n");
  struct Row {
    const char* key;
    const char* value;
    std::string error;  // the whole line, or (ending in a blank) how it starts
  };
  const std::string notAFileName =
      "tovanikctl: exe_name must be a file name, not empty and without '/' or '\\'\n";
  const Row rows[] = {
      {"exe_name", "php\\t-server.exe", notAFileName},
      {"exe_name", "php/t-server.exe", notAFileName},
      {"exe_name", "..\\t-server.exe", notAFileName},
#ifdef _WIN32
      // What no Windows file name can hold, and folders given from a drive or its root.
      {"root_directory", "tovanik\"", "tovanikctl: root_directory "},
      {"root_directory", "a<b", "tovanikctl: root_directory "},
      {"php_folder", "a>b", "tovanikctl: php_folder "},
      {"php_folder", "a|b", "tovanikctl: php_folder "},
      {"root_directory", "a?", "tovanikctl: root_directory "},
      {"root_directory", "*", "tovanikctl: root_directory "},
      {"exe_name", "t-server.exe:x", "tovanikctl: exe_name "},
      {"root_directory", "C:\\site", "tovanikctl: root_directory "},
      {"root_directory", "\\site", "tovanikctl: root_directory "},
#endif
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    const std::string before = readBytes(config);
    FakePlatform platform;
    std::ostringstream out, err;
    const int rc = tovanik::ctl::run(
        platform, {"--folder", dir.path(), "config", "set", row.key, row.value}, out, err);
    expectCleanFailure({rc, out.str(), err.str()});
    if (row.error.ends_with(' ')) {
      EXPECT_EQ(err.str().rfind(row.error, 0), 0u) << err.str();
    } else {
      EXPECT_EQ(err.str(), row.error);
    }
    EXPECT_EQ(readBytes(config), before);
  }
  // A folder above the program folder, relative to it, is fine.
  FakePlatform platform;
  std::ostringstream out, err;
  const std::string above = joinPath("..", "site");
  EXPECT_EQ(tovanik::ctl::run(platform,
                              {"--folder", dir.path(), "config", "set", "root_directory", above},
                              out, err),
            0)
      << err.str();
}

}  // namespace
}  // namespace tovanik
