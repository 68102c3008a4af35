// tovanikctl's server commands, run as the real binary against the real PHP server on a
// free loopback port. Logs go to a state folder of the test's own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "platform/linux/proc_table.h"
#include "platform/linux/tcp_listeners.h"
#include "server/output_log.h"
#include "tests/support/ctl_run.h"
#include "tests/support/live_processes.h"
#include "tests/support/test_support.h"
#include "tests/support/system_log.h"

namespace tovanik {
namespace {

using namespace test;
using test::ctl;  // the program run as a user would; tovanik::ctl is its library
namespace fs = std::filesystem;

class CtlServer : public ::testing::Test {
 protected:
  void SetUp() override { layoutProgramFolder(dir.path(), exeName, port); }
  void TearDown() override {
    killProcessesByImageName(exeName);
    EXPECT_TRUE(waitFor([&] { return findProcessesByImageName(exeName).empty(); }));
  }
  CtlRun run(const std::string& command) { return ctl({"--folder", dir.path(), command}); }

  // Rewrites the configuration with some settings changed.
  void configure(const std::map<std::string, std::string>& changed) {
    std::map<std::string, std::string> keys{{"command_prompt", "hide"},
                                            {"server_port", std::to_string(port)},
                                            {"root_directory", "www"},
                                            {"php_folder", "php"},
                                            {"exe_name", exeName}};
    for (const auto& [key, value] : changed) keys[key] = value;
    std::string text = "[Config]\r\n";
    for (const auto& [key, value] : keys) text += key + "=" + value + "\r\n";
    writeBytes(dir.file("config/config.ini"), text);
  }

  std::string log() const { return test::systemLog().outputLogPath(dir.path()); }
  std::string commandLine() const {
    return "command: \"" + dir.path() + "/php/" + exeName +
           "\" -S 0.0.0.0:" + std::to_string(port) + " -t \"" + dir.path() + "/www\"\n";
  }
  bool nothingLeft() const {
    return findProcessesByImageName(exeName).empty() && tcpListenersOnPort(port).empty();
  }

  TempDir dir, state;
  ScopedEnv stateHome{"XDG_STATE_HOME", state.path().c_str()};
  // A name of its own, so these tests never touch another server.
  const std::string exeName = "ctl" + std::to_string(getpid()) + ".exe";
  const int port = freePort();
};

TEST_F(CtlServer, StartStatusStopRestart) {
  CtlRun r = run("status");
  EXPECT_EQ(r.rc, 3);
  EXPECT_EQ(r.out, "stopped\nport " + std::to_string(port) + ": not listening\n" + commandLine());

  r = run("start");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(httpStatus(port), 200);
  const auto pids = findProcessesByImageName(exeName);
  ASSERT_EQ(pids.size(), 1u);

  r = run("status");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "running " + std::to_string(pids[0]) + "\nport " + std::to_string(port) +
                       ": listening (server)\n" + commandLine());

  EXPECT_EQ(run("start").rc, 0);  // already running: no second server
  EXPECT_EQ(findProcessesByImageName(exeName), pids);

  // The folder named as "." or through a link is the same folder: the same command line
  // and the same log.
  fs::create_directory_symlink(dir.path(), state.file("via-link"));
  for (const std::string& named : {std::string("."), state.file("via-link")}) {
    const std::string out = state.file("relative.out");
    const std::string command = "cd " + quoted(dir.path()) + " && " +
                                quoted(binDir() + "/tovanikctl") + " --folder " + quoted(named);
    EXPECT_EQ(std::system((command + " status >" + quoted(out)).c_str()), 0);
    EXPECT_EQ(readBytes(out), r.out) << named;
    EXPECT_EQ(std::system((command + " log -n 1000 >" + quoted(out)).c_str()), 0);
    EXPECT_NE(readBytes(out).find("] server started"), std::string::npos) << named;
  }

  EXPECT_EQ(run("restart").rc, 0);
  EXPECT_EQ(httpStatus(port), 200);
  const auto restarted = findProcessesByImageName(exeName);
  ASSERT_EQ(restarted.size(), 1u);
  EXPECT_NE(restarted, pids);

  EXPECT_EQ(run("stop").rc, 0);
  EXPECT_TRUE(findProcessesByImageName(exeName).empty());
  EXPECT_EQ(httpStatus(port), 0);
  EXPECT_EQ(run("stop").rc, 0);  // nothing to stop is fine

  // The log holds both runs; a stop soon after a start is not taken for a failed start.
  r = ctl({"--folder", dir.path(), "log"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("[200]: GET /"), std::string::npos) << r.out;
  EXPECT_EQ(run("status").out.find("ended at once"), std::string::npos);
}

TEST_F(CtlServer, PortHeldByAnotherProgramIsNamedAndNothingLaunched) {
  int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);  // held by this program alone
  int yes = 1;
  setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  CtlRun r = run("start");
  expectCleanFailure(r);
  EXPECT_EQ(r.err, "tovanikctl: port " + std::to_string(port) + " is taken by test_ctl_server (pid " +
                       std::to_string(getpid()) + ")\n");
  EXPECT_FALSE(fs::exists(log())) << "something was launched";

  r = run("status");
  EXPECT_EQ(r.rc, 3);
  EXPECT_NE(r.out.find("held by another program"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("ended at once"), std::string::npos) << r.out;
  close(holder);
}

TEST_F(CtlServer, LogStaysWithinItsLimitAndKeepsTheNewestLines) {
  ASSERT_EQ(run("start").rc, 0);
  // PHP logs each request's path; long paths take the file past its limit quickly.
  const std::string padding(6000, 'x');
  constexpr std::uintmax_t kLimit = 4 << 20, kKeep = 1 << 20;  // 4 MiB and 1 MiB
  for (int i = 0; fs::file_size(log()) <= kLimit; ++i) {
    ASSERT_LT(i, 5000) << "the log does not grow";
    ASSERT_EQ(httpStatus(port, "/old-" + std::to_string(i) + "-" + padding + ".txt"), 404);
  }
  const std::string newest = "/newest-" + std::to_string(getpid()) + ".txt";
  ASSERT_EQ(httpStatus(port, newest), 404);
  ASSERT_TRUE(waitFor([&] { return readBytes(log()).find(newest) != std::string::npos; }));

  // Any use of tovanikctl cuts it, while PHP goes on writing to it.
  EXPECT_EQ(run("status").rc, 0);
  EXPECT_LE(fs::file_size(log()), kKeep);
  EXPECT_GE(fs::file_size(log()), kKeep - 7000) << "the cut kept less than its newest MiB";
  const std::string kept = readBytes(log());
  EXPECT_NE(kept.find(newest), std::string::npos);
  EXPECT_EQ(kept.find("/old-0-"), std::string::npos);
  EXPECT_EQ(kept.front(), '[') << "the cut starts at a line";
  EXPECT_EQ(httpStatus(port, "/after-the-cut.txt"), 404);
  EXPECT_TRUE(waitFor([&] {
    const auto lines = test::systemLog().tailLines(log(), 3);
    return lines && !lines->empty() && readBytes(log()).find("/after-the-cut") != std::string::npos;
  }));
  const CtlRun r = ctl({"--folder", dir.path(), "log", "-n", "2"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("/after-the-cut"), std::string::npos) << r.out;
  EXPECT_EQ(readBytes(log()).find(std::string(1, '\0')), std::string::npos) << "holes in the file";
}

TEST_F(CtlServer, LogFollowsTheServersOutput) {
  ASSERT_EQ(run("start").rc, 0);
  const std::string out = state.file("follow.out");
  pid_t follower = fork();
  ASSERT_GE(follower, 0);
  if (follower == 0) {
    const std::string program = binDir() + "/tovanikctl";
    freopen(out.c_str(), "w", stdout);
    execl(program.c_str(), program.c_str(), "--folder", dir.path().c_str(), "log", "-n", "0", "-f",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  EXPECT_TRUE(waitFor([&] {
    httpStatus(port, "/followed");
    return readBytes(out).find("GET /followed") != std::string::npos;
  }));
  kill(follower, SIGKILL);
  waitpid(follower, nullptr, 0);
  EXPECT_EQ(readBytes(out).find("Development Server"), std::string::npos)
      << "-n 0 showed old lines";
  expectCleanFailure(ctl({"--folder", dir.path(), "log", "-n"}), 2);
  expectCleanFailure(ctl({"--folder", dir.path(), "log", "-x"}), 2);
}

// The optional keys on a real php: the front controller routes dotted paths to index.php
// and leaves existing files to PHP; two workers answer a page that asks its own server;
// -d and -c reach PHP; the listen address is what the kernel's socket table shows.
TEST_F(CtlServer, ServesTheApplicationsPeopleRun) {
  fs::copy_file(sourceDir() + "/packaging/front-controller.php", dir.file("front-controller.php"));
  writeBytes(dir.file("www/index.php"),
             "<?php echo 'routed ', $_SERVER['REQUEST_URI'], ' ', $_SERVER['SCRIPT_NAME'], ' ', "
             "ini_get('memory_limit'), ' ', ini_get('precision');\n");
  writeBytes(dir.file("www/style.css"), "p{}");
  writeBytes(dir.file("www/self.php"),
             "<?php echo 'inner: ', @file_get_contents('http://127.0.0.1:' . "
             "$_SERVER['SERVER_PORT'] . '/x.json', false, "
             "stream_context_create(['http' => ['timeout' => 1]]));\n");
  writeBytes(dir.file("config/php.ini"), "precision=7\n");
  configure({{"router", "front-controller"}, {"workers", "2"}, {"php_ini", "config/php.ini"},
             {"php_settings", "memory_limit=77M"}});
  ASSERT_EQ(run("start").rc, 0);
  EXPECT_EQ(httpGet(port, "/style.css"), "p{}");
  EXPECT_EQ(httpGet(port, "/a/b.json?q=1"), "routed /a/b.json?q=1 /index.php 77M 7");
  EXPECT_EQ(httpGet(port, "/robots.txt"), "routed /robots.txt /index.php 77M 7");
  EXPECT_EQ(httpGet(port, "/self.php"), "inner: routed /x.json /index.php 77M 7");
  EXPECT_EQ(findProcessesByImageName(exeName).size(), 3u);  // the server and its 2 workers
  ASSERT_EQ(run("stop").rc, 0);
  EXPECT_TRUE(nothingLeft());

  configure({{"listen_address", "127.0.0.1"}});
  ASSERT_EQ(run("start").rc, 0);
  const auto listeners = tcpListenersOnPort(port);
  ASSERT_EQ(listeners.size(), 1u);
  EXPECT_EQ(listeners[0].localAddress, "127.0.0.1");
  EXPECT_EQ(run("url").out, "http://127.0.0.1:" + std::to_string(port) + "\n");
  configure({{"listen_address", "::"}});
  ASSERT_EQ(run("restart").rc, 0);
  EXPECT_EQ(httpGet(port, "/style.css") + httpGet(port, "/style.css", "::1"), "p{}p{}");
}

// A server that came up and was later ended from outside is not blamed for ending at
// once; a stop returns only once the port is closed, so a start right after finds it
// free; a wrapper script that runs php as its child (no exec) counts as the server.
TEST_F(CtlServer, StatusAndStopSayWhatHappened) {
  ASSERT_EQ(run("start").rc, 0);
  EXPECT_EQ(httpStatus(port, "/healthy"), 200);
  killProcessesByImageName(exeName);  // as another program would, without a stop mark
  ASSERT_TRUE(waitFor([&] { return nothingLeft(); }));
  CtlRun r = run("status");
  EXPECT_EQ(r.rc, 3);
  EXPECT_EQ(r.out.find("ended at once"), std::string::npos) << r.out;

  for (int round = 0; round < 10; ++round) {
    ASSERT_EQ(run("start").rc, 0) << round;
    r = run("stop");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.rfind("stopped pid ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("(this folder's server)"), std::string::npos) << r.out;
    EXPECT_EQ(httpStatus(port), 0)
        << "the port still answered right after the stop, round " << round;
  }

  const std::string server = dir.file("php/" + exeName);
  fs::remove(server);
  // Its php in a session of its own, out of reach of the stop's group signal.
  writeBytes(server, "#!/bin/sh\nsetsid " + phpBinary() + " \"$@\" &\nwait\n");
  fs::permissions(server, fs::perms::owner_all);
  r = run("start");
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(httpStatus(port), 200);
  EXPECT_EQ(run("status").out.find("held by another program"), std::string::npos);
  EXPECT_EQ(run("stop").rc, 0);
  EXPECT_EQ(httpStatus(port), 0) << "the wrapper's php outlived the stop";
}

// With exe_name naming tovanikctl itself, the shell that runs it, or the program that
// runs that shell, a stop kills none of them. Copies under names of this run stand in
// for the real ones, which other programs on the machine may be running.
TEST_F(CtlServer, StopNeverKillsTheCallerOrItsAncestors) {
  const std::string suffix = std::to_string(getpid());
  const std::string ctlCopy = dir.file("ctlself" + suffix);
  const std::string shellCopy = dir.file("shself" + suffix);
  fs::copy_file(binDir() + "/tovanikctl", ctlCopy);
  fs::copy_file(fs::canonical("/bin/sh"), shellCopy);
  fs::permissions(ctlCopy, fs::perms::owner_all);
  fs::permissions(shellCopy, fs::perms::owner_all);
  // The program that runs the shell: another copy, not this test program, whose name the
  // other test programs ctest runs beside this one share (a stop that failed to spare it
  // would end them). This program still runs the whole line.
  const std::string runnerCopy = dir.file("runself" + suffix);
  fs::copy_file(fs::canonical("/bin/sh"), runnerCopy);
  fs::permissions(runnerCopy, fs::perms::owner_all);
  const std::string script =
      quoted(ctlCopy) + " --folder " + quoted(dir.path()) + " stop; echo \"rc=$?\"";
  const std::string inShell = quoted(shellCopy) + " -c " + quoted(script) + "; exit $?";
  for (const std::string& name :
       {fs::path(ctlCopy).filename().string(), fs::path(shellCopy).filename().string(),
        fs::path(runnerCopy).filename().string()}) {
    SCOPED_TRACE(name);
    configure({{"exe_name", name}});
    const std::string output = state.file("stop.out");
    const int status = std::system(
        (quoted(runnerCopy) + " -c " + quoted(inShell) + " >" + output).c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the shell or the program running it was killed";
    // It stopped nothing, and says so (exit 1): the server it should stop runs it.
    EXPECT_EQ(readBytes(output), "rc=1\n") << "tovanikctl was killed";
  }
}

// From a page of the server: a stop cannot end the server it runs inside, and says so;
// a restart sent to the background ends it and starts a new one that binds the port
// (tovanikctl drops the listening socket it inherited from the page).
TEST_F(CtlServer, StopAndRestartFromAPageOfTheServer) {
  const std::string ctlRun = quoted(binDir() + "/tovanikctl") + " --folder " + quoted(dir.path());
  const std::string stopped = state.file("stop.out"), restarted = state.file("restart.out");
  writeBytes(dir.file("stop.sh"), ctlRun + " stop >" + stopped + " 2>&1; echo rc=$? >>" + stopped);
  writeBytes(dir.file("restart.sh"), "(" + ctlRun + " restart >" + restarted + " 2>&1 &)");
  for (const char* page : {"stop", "restart"})
    writeBytes(dir.file("www/") + page + ".php",
               "<?php shell_exec('sh " + dir.file(page) + ".sh');\n");
  ASSERT_EQ(run("start").rc, 0);
  const std::vector<int> first = findProcessesByImageName(exeName);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(httpStatus(port, "/stop.php"), 200);
  EXPECT_EQ(readBytes(stopped), "tovanikctl: not stopped: this stop runs inside the server (pid " +
                                    std::to_string(first[0]) +
                                    "), started from one of its pages; stop it from outside the "
                                    "server\nrc=1\n");
  httpStatus(port, "/restart.php");
  EXPECT_TRUE(waitFor([&] { return readBytes(restarted).find("serving") != std::string::npos; }))
      << readBytes(restarted);
  EXPECT_EQ(httpStatus(port), 200);
  EXPECT_NE(findProcessesByImageName(exeName), first);
}

// A leader of the caller's own process group that is no ancestor of it (the caller was
// handed to init on the way) is stopped alone: its group, which holds the caller, is not.
TEST_F(CtlServer, StopSparesTheCallersGroup) {
  const std::string leader = dir.file("leader" + std::to_string(getpid()));
  fs::copy_file(fs::canonical("/bin/sh"), leader);
  fs::permissions(leader, fs::perms::owner_all);
  configure({{"exe_name", fs::path(leader).filename().string()}});
  const std::string output = state.file("orphan.out");
  const std::string stop = "(" + quoted(binDir() + "/tovanikctl") + " --folder " +
                           quoted(dir.path()) + " stop; echo rc=$?) >" + quoted(output) + " 2>&1 &";
  const std::string inLeader = "/bin/sh -c " + quoted(stop) + "; sleep 5";
  ASSERT_EQ(std::system(("setsid " + quoted(leader) + " -c " + quoted(inLeader) + " &").c_str()),
            0);
  EXPECT_TRUE(waitFor([&] { return readBytes(output).find("rc=") != std::string::npos; }))
      << "tovanikctl was killed: " << readBytes(output);
  EXPECT_NE(readBytes(output).find("rc=0"), std::string::npos) << readBytes(output);
}

// A wrapper server whose php, in a session of its own, serves a page that runs
// tovanikctl restart in the background: the stop ends the wrapper and the php holding
// the port, but not the php's group, which holds tovanikctl; the restart completes.
TEST_F(CtlServer, RestartFromTheServersOwnPageEndsNotItself) {
  const std::string server = dir.file("php/" + exeName);
  fs::remove(server);
  writeBytes(server, "#!/bin/sh\nsetsid " + phpBinary() + " \"$@\" &\nwait\n");
  fs::permissions(server, fs::perms::owner_all);
  const std::string output = state.file("restart.out");
  const std::string restart = "(" + quoted(binDir() + "/tovanikctl") + " --folder " +
                              quoted(dir.path()) + " restart; echo rc=$?) >" + quoted(output) +
                              " 2>&1 &";
  writeBytes(state.file("restart.sh"), restart + "\n");
  writeBytes(dir.file("www/restart.php"),
             "<?php exec('/bin/sh " + state.file("restart.sh") + "'); echo 'ok';\n");
  ASSERT_EQ(run("start").rc, 0);
  const auto before = findProcessesByImageName(exeName);
  EXPECT_EQ(httpStatus(port, "/restart.php"), 200);
  EXPECT_TRUE(waitFor([&] { return readBytes(output).find("rc=") != std::string::npos; }))
      << "tovanikctl was killed: " << readBytes(output);
  // It went on after the stop. (PHP hands its listening socket to the programs its
  // pages run, so the restart's own start finds the port held by tovanikctl itself.)
  EXPECT_EQ(readBytes(output).rfind("stopped pid " + std::to_string(before.at(0)), 0), 0u)
      << readBytes(output);
  EXPECT_NE(readBytes(output).find("\nrc="), std::string::npos) << readBytes(output);
  EXPECT_TRUE(waitFor([&] { return findProcessesByImageName(exeName).empty(); }));
  EXPECT_EQ(run("start").rc, 0);
  EXPECT_EQ(httpStatus(port), 200);
  EXPECT_EQ(run("stop").rc, 0);
  EXPECT_EQ(httpStatus(port), 0);
}

// A start that fails ends everything it launched, a child the server left behind
// included; a start with its own standard streams closed starts as any other.
TEST_F(CtlServer, FailedStartLeavesNothingAndClosedStreamsDoNotMatter) {
  const std::string orphan = "orphan" + std::to_string(getpid());
  fs::copy_file(fs::canonical("/bin/sleep"), dir.file(orphan));
  fs::permissions(dir.file(orphan), fs::perms::owner_all);
  const std::string server = dir.file("php/" + exeName);
  fs::remove(server);
  writeBytes(server, "#!/bin/sh\n" + dir.file(orphan) + " 300 &\nexit 3\n");
  fs::permissions(server, fs::perms::owner_all);
  expectCleanFailure(run("start"));
  EXPECT_TRUE(waitFor([&] { return findProcessesByImageName(orphan).empty(); }))
      << "what the failed server started outlived the start";
  killProcessesByImageName(orphan);

  fs::remove(server);
  fs::create_symlink(phpBinary(), server);
  const std::string closed =
      quoted(binDir() + "/tovanikctl") + " --folder " + quoted(dir.path()) + " start <&- >&- 2>&-";
  EXPECT_EQ(std::system(closed.c_str()), 0);
  EXPECT_EQ(httpStatus(port), 200);
}

// Other users' servers do not count: a server of this name run by root is not seen by
// a status run as nobody, and a stop run as nobody leaves it alone.
TEST_F(CtlServer, OtherUsersServersDoNotCount) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root and setpriv";
  const CtlRun started = run("start");
  ASSERT_EQ(started.rc, 0) << started.err;
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  const std::string asNobody = "setpriv --reuid=nobody --regid=nogroup --clear-groups " +
                               quoted(binDir() + "/tovanikctl") + " --folder " + quoted(dir.path());
  const std::string output = state.file("nobody.out");
  int status = std::system((asNobody + " status >" + output).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(readBytes(output).rfind("stopped\n", 0), 0u) << readBytes(output);
  status = std::system((asNobody + " stop >" + output).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(httpStatus(port), 200);
  EXPECT_EQ(run("status").rc, 0);
}

// Run as root, tovanikctl refuses a folder whose files another user could change, in one
// line naming the path and its owner, and starts and stops nothing: such a user could
// make root run a program of theirs, serve any file, or stop any process by naming it.
TEST_F(CtlServer, RootRefusesWhatAnotherUserCanChange) {
  const ThrowawayUser atk;
  if (!atk.ok()) GTEST_SKIP() << "needs root and useradd to make another user";
  const std::string owner = "owned by " + atk.name() + " (uid " + std::to_string(atk.uid()) + ")";
  struct Row {
    const char* what;
    std::function<std::string(const std::string& folder)> change;  // returns the path named
    std::string why;
  };
  const std::string server = "php/" + exeName;
  const std::string shared = fs::path(dir.path()).parent_path().string();
  const std::string missing = "tovanik-missing-" + std::to_string(getpid());
  const Row rows[] = {
      {"program folder",
       [&](const std::string& f) {
         atk.own(f);
         return f;
       },
       owner},
      {"config folder",
       [&](const std::string& f) {
         atk.own(f + "/config");
         return f + "/config";
       },
       owner},
      {"config.ini",
       [&](const std::string& f) {
         atk.own(f + "/config/config.ini");
         return f + "/config/config.ini";
       },
       owner},
      {"config.ini others may write",
       [&](const std::string& f) {
         fs::permissions(f + "/config/config.ini", fs::perms::all);
         return f + "/config/config.ini";
       },
       "group or others may write it (owner root (uid 0))"},
      {"php folder",
       [&](const std::string& f) {
         atk.own(f + "/php");
         return f + "/php";
       },
       owner},
      {"server a script of the user's",
       [&](const std::string& f) {
         fs::remove(f + "/" + server);
         writeBytes(f + "/" + server, "#!/bin/sh\nid > " + f + "/pwned.txt\nexec php \"$@\"\n");
         fs::permissions(f + "/" + server, fs::perms::owner_all);
         atk.own(f + "/" + server);
         return f + "/" + server;
       },
       owner},
      {"server link of the user's",
       [&](const std::string& f) {
         atk.own(f + "/" + server);  // the link itself, not its target
         return f + "/" + server;
       },
       "the link " + dir.path() + "/" + server + " is " + owner},
      {"web folder",
       [&](const std::string& f) {
         atk.own(f + "/www");
         return f + "/www";
       },
       owner},
      {"router script",
       [&](const std::string& f) {
         configure({{"router", "r.php"}});
         writeBytes(f + "/r.php", "");
         atk.own(f + "/r.php");
         return f + "/r.php";
       },
       owner},
      // A missing name is trusted only where nobody else can create it: in the shared
      // temporary folder a sticky bit guards existing names only.
      {"missing web folder others could create",
       [&](const std::string& f) {
         configure({{"root_directory", "../" + missing}});
         return f + "/../" + missing;
       },
       shared + "/" + missing + " does not exist, and group or others may create it in the folder " +
           shared},
      {"missing php folder others could create",
       [&](const std::string& f) {
         configure({{"php_folder", "../" + missing}});
         return f + "/../" + missing;
       },
       shared + "/" + missing + " does not exist"},
  };
  // A process of root's, named as a user might name their server to have root stop it.
  const pid_t victim = fork();
  if (victim == 0) {
    execl("/bin/sleep", exeName.c_str(), "300", static_cast<char*>(nullptr));
    _exit(127);
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    layoutProgramFolder(dir.path(), exeName, port);
    const std::string named = row.change(dir.path());
    for (const char* command : {"start", "stop", "status", "restart"}) {
      const CtlRun r = run(command);
      expectCleanFailure(r);
      EXPECT_EQ(r.err.rfind("tovanikctl: refusing, as root, to use " + named, 0), 0u) << r.err;
      EXPECT_NE(r.err.find(row.why), std::string::npos) << r.err;
    }
    EXPECT_TRUE(nothingLeft());
    EXPECT_FALSE(fs::exists(dir.file("pwned.txt")));
    EXPECT_EQ(::kill(victim, 0), 0) << "root's process of that name was stopped";
    fs::remove_all(dir.path());
    fs::create_directory(dir.path());
  }
  ::kill(victim, SIGKILL);
  ::waitpid(victim, nullptr, 0);
}

// Run as root, every real folder from "/" down to the program folder, and every link on
// the way, counts: each must be root's and not writable by group or others (a sticky
// folder others may write, such as /tmp, is fine when the entry below it is root's).
// Otherwise a user could swap root's folder for one of theirs after the check
// (renameat2 RENAME_EXCHANGE in a folder they own). The one line names the folder or
// link that failed and why; the settings commands refuse as the server commands do.
TEST_F(CtlServer, RootChecksEveryFolderAbove) {
  const ThrowawayUser atk;
  if (!atk.ok()) GTEST_SKIP() << "needs root and useradd to make another user";
  const std::string byAtk =
      "is owned by " + atk.name() + " (uid " + std::to_string(atk.uid()) + ")";
  const std::string base = dir.file("above");
  struct Row {
    const char* what;
    std::string folder;                  // the program folder given to --folder
    std::function<void()> change;        // after the layout, before the commands
    std::optional<std::string> refusal;  // after "refusing, as root, to use "
  };
  const auto mode = [](const std::string& path, mode_t bits) {
    ASSERT_EQ(::chmod(path.c_str(), bits), 0) << path;
  };
  const auto link = [](const std::string& target, const std::string& at) {
    ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0) << at;
  };
  const std::string srv = base + "/srv/tv", config = srv + "/config";
  const Row rows[] = {
      {"root's all through", srv, [] {}, std::nullopt},
      {"a folder above owned by the user", base + "/home/u/tv", [&] { atk.own(base + "/home/u"); },
       base + "/home/u/tv: the folder " + base + "/home/u " + byAtk},
      {"a folder above the group may write", srv, [&] { mode(base + "/srv", 0775); },
       srv + ": group or others may write the folder " + base + "/srv (owner root (uid 0))"},
      {"a folder above others may write", srv, [&] { mode(base + "/srv", 0757); },
       srv + ": group or others may write the folder " + base + "/srv (owner root (uid 0))"},
      {"a sticky folder others may write, root's entry below", base + "/shared/tv",
       [&] { mode(base + "/shared", 01777); }, std::nullopt},
      {"a sticky folder owned by the user", base + "/shared/tv",
       [&] {
         mode(base + "/shared", 01777);
         atk.own(base + "/shared");
       },
       base + "/shared/tv: the folder " + base + "/shared " + byAtk},
      {"an absolute link of the user's on the way", srv,
       [&] {
         fs::rename(config, base + "/srv/cfg");
         link(base + "/srv/cfg", config);
         atk.own(config);
       },
       config + ": the link " + config + " " + byAtk},
      {"root's link into a folder of the user's", srv,
       [&] {
         fs::rename(config, base + "/home/u/cfg");
         link(base + "/home/u/cfg", config);
         atk.own(base + "/home/u");
       },
       config + ": the folder " + base + "/home/u " + byAtk},
      {"config.ini the group may write", srv, [&] { mode(config + "/config.ini", 0664); },
       config + "/config.ini: group or others may write it (owner root (uid 0))"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(base);
    for (const char* folder : {"/srv/tv", "/home/u/tv", "/shared/tv"})
      layoutProgramFolder(base + folder, exeName, port);
    row.change();
    const std::string before = readBytes(row.folder + "/config/config.ini");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"status"},
                                                 {"start"},
                                                 {"config", "set", "server_port", "8081"},
                                                 {"config", "get", "server_port"}}) {
      std::vector<std::string> all{"--folder", row.folder};
      all.insert(all.end(), args.begin(), args.end());
      const CtlRun r = ctl(all);
      if (!row.refusal) {
        EXPECT_NE(r.rc, 1) << args[0] << ": " << r.err;
        continue;
      }
      expectCleanFailure(r);
      EXPECT_EQ(r.err, "tovanikctl: refusing, as root, to use " + *row.refusal + "\n") << args[0];
    }
    if (row.refusal) {
      EXPECT_TRUE(nothingLeft());
      EXPECT_EQ(readBytes(row.folder + "/config/config.ini"), before);
    }
    run("stop");
    ctl({"--folder", row.folder, "stop"});
    EXPECT_TRUE(waitFor([&] { return nothingLeft(); }));
  }
}

// Run as root, only root's own server counts by its name: another user's server of that
// name from their own folder, and a look-alike of theirs (argv[0] and comm set to the
// name) are neither shown as root's server, nor block its start, nor are stopped by it.
TEST_F(CtlServer, RootCountsOnlyItsOwnServer) {
  const ThrowawayUser vic;
  if (!vic.ok()) GTEST_SKIP() << "needs root and useradd to make another user";
  fs::permissions(dir.path(),
                  fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  const TempDir theirs;
  const int theirPort = freePort();
  layoutProgramFolder(theirs.path(), exeName, theirPort);
  fs::permissions(theirs.path(),
                  fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  vic.own(theirs.path(), true);
  const std::string asVic = vic.runAs() + "env HOME=" + quoted(theirs.path()) +
                            " XDG_STATE_HOME=" + quoted(theirs.path()) + " ";
  ASSERT_EQ(std::system((asVic + quoted(binDir() + "/tovanikctl") + " --folder " +
                         quoted(theirs.path()) + " start >/dev/null 2>&1")
                            .c_str()),
            0);
  ASSERT_EQ(httpStatus(theirPort), 200);
  // The look-alike: started as the name by argv[0], its comm renamed as prctl would.
  const pid_t lookAlike = fork();
  if (lookAlike == 0) {
    if (setgid(static_cast<gid_t>(vic.gid())) != 0 || setuid(static_cast<uid_t>(vic.uid())) != 0)
      _exit(126);
    execl("/bin/sleep", exeName.c_str(), "300", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_TRUE(waitFor([&] {
    return readBytes("/proc/" + std::to_string(lookAlike) + "/cmdline").starts_with(exeName);
  }));
  writeBytes("/proc/" + std::to_string(lookAlike) + "/comm", exeName.substr(0, 15));

  const CtlRun status = run("status");
  EXPECT_EQ(status.rc, 3) << status.out;
  EXPECT_EQ(status.out.rfind("stopped\n", 0), 0u) << status.out;
  const CtlRun started = run("start");
  EXPECT_EQ(started.rc, 0) << started.err;
  EXPECT_EQ(httpStatus(port), 200);
  EXPECT_EQ(run("stop").rc, 0);
  EXPECT_TRUE(waitFor([&] { return httpStatus(port) == 0; }));
  EXPECT_EQ(httpStatus(theirPort), 200) << "root's stop ended another user's server";
  EXPECT_EQ(::kill(lookAlike, 0), 0) << "root's stop ended another user's look-alike";
  ::kill(lookAlike, SIGKILL);
  ::waitpid(lookAlike, nullptr, 0);
}

}  // namespace
}  // namespace tovanik
