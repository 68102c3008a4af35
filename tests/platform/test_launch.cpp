// The detached launcher, the terminal for a shown console and the Linux platform
// around them, checked with real PHP servers started under test-only names.

#include <fcntl.h>
#include <pwd.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/detached_launch.h"
#include "platform/linux/launch_environment.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/proc_table.h"
#include "tests/support/live_processes.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace tovanik;
using namespace tovanik::test;
using tovanik::test::TempDir;

TEST(TerminalProgram, FirstOfTheTwoKnownTerminalsOnPath) {
  TempDir bin;
  auto makeProgram = [&](const std::string& name, fs::perms perms) {
    test::writeBytes(bin.file(name), "#!/bin/sh\n");
    fs::permissions(bin.file(name), perms);
  };
  const auto executable = fs::perms::owner_all;
  const auto plain = fs::perms::owner_read | fs::perms::owner_write;
  const std::string& path = bin.path();

  EXPECT_EQ(findTerminalProgram(path), "");
  makeProgram("x-terminal-emulator", plain);
  EXPECT_EQ(findTerminalProgram(path), "") << "a file that cannot run is no terminal";
  makeProgram("xterm", executable);
  EXPECT_EQ(findTerminalProgram(path), bin.file("xterm"));
  fs::permissions(bin.file("x-terminal-emulator"), executable);
  EXPECT_EQ(findTerminalProgram(path), bin.file("x-terminal-emulator"));
  // Root looks only in the system's folders, whatever PATH says.
  ScopedEnv users("PATH", path.c_str());
  EXPECT_EQ(launchSearchPath(), geteuid() == 0 ? kRootSearchPath : path);

  // The console's title for every terminal; for xterm, reached through links too, a UTF-8
  // title and a place on screen.
  const std::string title = "Tovanik PHP Web Server \xE2\x80\x94 server";
  const std::vector<std::string> xterm = {"-xrm", "*utf8Title: true", "-geometry", "+40+40"};
  makeProgram("uxterm", executable);
  makeProgram("gnome-terminal", executable);
  fs::remove(bin.file("x-terminal-emulator"));
  fs::create_symlink(bin.file("uxterm"), bin.file("x-terminal-emulator"));
  const std::pair<std::string, bool> terminals[] = {
      {"/usr/bin/xterm", true},
      {bin.file("x-terminal-emulator"), true},
      {bin.file("gnome-terminal"), false},
  };
  for (const auto& [terminal, isXterm] : terminals) {
    std::vector<std::string> expected{terminal, "-T", title};
    if (isXterm) expected.insert(expected.end(), xterm.begin(), xterm.end());
    expected.insert(expected.end(), {"-e", "/p/t.exe", "-S", "0.0.0.0:80"});
    EXPECT_EQ(terminalArgv(terminal, {"/p/t.exe", "-S", "0.0.0.0:80"}), expected) << terminal;
  }
}

// What root hands on to what it launches: the system's search path, root's own home, and
// of the variables that name files to read, load or run only those naming root's files.
TEST(LaunchEnvironment, RootKeepsOnlyWhatNamesRootsFiles) {
  const TempDir users;
  if (geteuid() == 0) {
    ASSERT_EQ(chown(users.path().c_str(), 65534, 65534), 0);
  }
  const std::string u = users.path();
  std::vector<std::string> given{"PATH=" + u + ":/usr/bin", "HOME=" + u, "DISPLAY=:7",
                                 "PHP_INI_SCAN_DIR=" + u, "PHP_INI_SCAN_DIR=:/usr/share",
                                 "PHPRC=relative", "LD_PRELOAD=/usr/lib " + u + "/x.so",
                                 "LD_LIBRARY_PATH=/usr/lib", "LD_BIND_NOW=1", "BROWSER=firefox",
                                 "XDG_DATA_HOME=" + u + "/../" + fs::path(u).filename().string(),
                                 "LANG=C.UTF-8"};
  std::vector<char*> environment;
  for (std::string& entry : given) environment.push_back(entry.data());
  environment.push_back(nullptr);
  const std::vector<std::string> expected{
      std::string("PATH=") + kRootSearchPath,
      "HOME=" + (geteuid() == 0 ? std::string(getpwuid(0)->pw_dir) : u),
      "DISPLAY=:7", "PHP_INI_SCAN_DIR=:/usr/share", "LD_LIBRARY_PATH=/usr/lib", "LANG=C.UTF-8"};
  ScopedEnv home("HOME", u.c_str());
  EXPECT_EQ(rootLaunchEnvironment(environment.data()), expected);
}

TEST(LaunchDetached, ReportsWhatCannotBeExecuted) {
  TempDir dir;
  test::writeBytes(dir.file("not-executable.exe"), "#!/bin/sh\n");
  fs::create_directory(dir.file("folder.exe"));
  const std::vector<std::vector<std::string>> cases = {
      {},
      {""},
      {dir.file("missing.exe"), "-S", "0.0.0.0:80"},
      {"tovanik-no-such-program-on-path"},
      {dir.file("not-executable.exe")},
      {dir.file("folder.exe")},
  };
  for (const auto& argv : cases) {
    EXPECT_FALSE(launchDetachedProcess(argv)) << (argv.empty() ? "(empty)" : argv[0]);
    EXPECT_TRUE(hasNoChildren()) << "a failed start left a child behind";
  }
  EXPECT_TRUE(findProcessesByImageName("missing.exe").empty());
}

TEST(LinuxPlatformFolder, IsTheFolderOfTheRunningExecutable) {
  std::string folder = LinuxPlatform().programFolder();
  EXPECT_EQ(folder, fs::canonical("/proc/self/exe").parent_path().string());
  EXPECT_NE(folder.back(), '/');
}

TEST_F(LiveProcesses, LaunchedServerIsDetachedAndInheritsNothing) {
  std::string link = linkToPhp(uniqueName("ts"));
  std::string marker = dir_.file("inheritable-marker");
  int inheritable = ::open(marker.c_str(), O_CREAT | O_RDWR, 0600);  // no O_CLOEXEC on purpose
  ASSERT_GE(inheritable, 0);
  int port = test::freePort();
  bool started = launchDetachedProcess(serverArgv(link, port, documentRoot()));
  ::close(inheritable);
  ASSERT_TRUE(started);
  ASSERT_TRUE(answers(port));

  std::vector<int> pids = findProcessesByImageName(upper(fs::path(link).filename().string()));
  ASSERT_EQ(pids.size(), 1u);
  int pid = pids[0];
  auto numbers = statNumbers(pid);
  ASSERT_TRUE(numbers);
  EXPECT_EQ((*numbers)[0], ::getpid()) << "not the caller's own child";
  EXPECT_EQ((*numbers)[1], pid) << "not the leader of its process group";
  EXPECT_EQ((*numbers)[2], pid) << "not the leader of a session of its own";
  std::vector<std::string> fds = descriptorTargets(pid);
  EXPECT_EQ(std::count(fds.begin(), fds.end(), marker), 0) << "inherited a descriptor";
  for (int fd = 0; fd <= 2; ++fd)
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd)),
              "/dev/null");
}

TEST_F(LiveProcesses, PlatformShowsNoConsoleWithoutADisplay) {
  ScopedEnv noX("DISPLAY", nullptr);
  ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
  LinuxPlatform platform;
  std::string name = uniqueName("tp");
  int port = test::freePort();
  const std::string log = dir_.file("state/tovanik/server.log");
  fs::create_directories(dir_.file("state/tovanik"));
  fs::permissions(dir_.file("state/tovanik"), fs::perms::owner_all);
  EXPECT_FALSE(platform.consoleCanBeShown());
  EXPECT_FALSE(platform.launchDetached({dir_.file("php/missing.exe")}, ConsoleMode::Shown, log));
  const int launched = platform.launchDetached(serverArgv(linkToPhp(name), port, documentRoot()),
                                               ConsoleMode::Shown, log);
  ASSERT_GT(launched, 0);
  ASSERT_TRUE(answers(port));
  std::vector<int> pids = platform.findProcesses(upper(name));
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_EQ(cmdlineOf(pids[0]).front(), dir_.file("php/" + name)) << "started in a terminal";
  EXPECT_TRUE(platform.anyProcess(name));
  // Run hidden, its output went to the log given, a file of the caller's alone.
  EXPECT_TRUE(test::waitFor([&] {
    return test::readBytes(log).find("[200]: GET /") != std::string::npos;
  })) << test::readBytes(log);
  EXPECT_EQ(fs::status(log).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(platform.killProcesses(name), 1);
  EXPECT_TRUE(silent(port));
  // Its port closes a moment before the process has finished dying; the check that finds
  // it gone reaps it, so no zombie stays.
  EXPECT_TRUE(test::waitFor([&] {
    return !platform.anyProcess(name) && !fs::exists("/proc/" + std::to_string(launched));
  }));
  // One of two servers it launched ends (as the old one of a restart): it is reaped while
  // the other runs.
  const std::string server = dir_.file("php/" + name);
  const int ended = platform.launchDetached(serverArgv(server, port, documentRoot()),
                                            ConsoleMode::Hidden, log);
  const int successor = test::freePort();
  ASSERT_GT(platform.launchDetached(serverArgv(server, successor, documentRoot()),
                                    ConsoleMode::Hidden, log),
            0);
  ASSERT_TRUE(answers(port) && answers(successor));
  EXPECT_TRUE(platform.killLaunched(ended));
  EXPECT_TRUE(test::waitFor([&] {
    return platform.anyProcess(name) && !fs::exists("/proc/" + std::to_string(ended));
  }));
}

// The launcher starts from a clean slate of signals, whatever the caller had set up:
// here SIGINT ignored and SIGTERM blocked. (A copy of sleep stands in for the server,
// because PHP ignores SIGPIPE itself.)
TEST_F(LiveProcesses, LaunchedProgramHasDefaultSignalsAndAnEmptyMask) {
  std::string name = uniqueName("sg");
  std::string copy = dir_.file(name);
  fs::copy_file("/bin/sleep", copy);
  fs::permissions(copy, fs::perms::owner_all);
  struct sigaction ignore {
  }, previousInt{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGINT, &ignore, &previousInt);
  sigset_t term, previousMask;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &term, &previousMask);
  const bool started = launchDetachedProcess({copy, "600"});
  ::sigprocmask(SIG_SETMASK, &previousMask, nullptr);
  ::sigaction(SIGINT, &previousInt, nullptr);
  ASSERT_TRUE(started);

  std::vector<int> pids;
  ASSERT_TRUE(test::waitFor([&] { return (pids = findProcessesByImageName(name)).size() == 1; }));
  const std::string status = test::readBytes("/proc/" + std::to_string(pids[0]) + "/status");
  for (const char* field : {"SigIgn:", "SigBlk:", "SigCgt:"})
    EXPECT_NE(status.find(std::string(field) + "\t0000000000000000\n"), std::string::npos)
        << field << "\n"
        << status;
}
