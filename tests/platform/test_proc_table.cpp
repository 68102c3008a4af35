// The process table reader and the matcher, checked against a made-up /proc tree and
// against real PHP servers started under test-only names.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/detached_launch.h"
#include "platform/proc_table.h"
#include "tests/support/live_processes.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace tovanik;
using namespace tovanik::test;
using tovanik::test::TempDir;

TEST(ParseProcStat, TakesNameBetweenFirstOpenAndLastCloseParenthesis) {
  struct Case {
    std::string text;
    std::optional<std::string> comm;
    char state;
  };
  const Case cases[] = {
      {"1234 (php8.2) S 1 1234 1234 0 -1", "php8.2", 'S'},
      {"7 (my t'ser\"v) R 1 7 7", "my t'ser\"v", 'R'},
      {"8 (a) b (c) Z 1 8 8", "a) b (c", 'Z'},
      {"9 ((sd-pam)) S 1\n", "(sd-pam)", 'S'},
      {"10 () S 1", "", 'S'},
      {"11 (x) X", "x", 'X'},
      {"", std::nullopt, 0},
      {"1234", std::nullopt, 0},
      {"1234 (php", std::nullopt, 0},
      {"1234 php) S 1", std::nullopt, 0},
      {"1234 (php)", std::nullopt, 0},
      {"1234 (php) ", std::nullopt, 0},
      {"1234 (php)S 1", std::nullopt, 0},
      {"abc (php) S 1", std::nullopt, 0},
      {"(php) S 1", std::nullopt, 0},
      {"12 ) (php S", std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto parsed = parseProcStat(c.text);
    ASSERT_EQ(parsed.has_value(), c.comm.has_value());
    if (!parsed) continue;
    EXPECT_EQ(parsed->comm, *c.comm);
    EXPECT_EQ(parsed->state, c.state);
  }
}

TEST(SameImageName, FoldsAsciiLettersOnly) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"t-server.exe", "T-SERVER.EXE", true},
      {"T-Server.Exe", "t-sErVeR.eXe", true},
      {"", "", true},
      {"t-server.exe", "t-server.ex", false},
      {"vér.exe", "VéR.EXE", true},
      {"vér.exe", "VÉR.EXE", false},
      {"a[b", "A{B", false},
      {"@", "`", false},
  };
  for (const Case& c : cases) EXPECT_EQ(sameImageName(c.a, c.b), c.same) << c.a << " / " << c.b;
}

// A /proc look-alike in which every case of the matcher has its own process.
class MadeUpProcTable : public ::testing::Test {
 protected:
  void addProcess(const std::string& pid, const std::string& stat, const char* exeTarget,
                  const std::string& cmdline) {
    std::string dir = root_.file(pid);
    fs::create_directories(dir);
    test::writeBytes(dir + "/stat", stat);
    test::writeBytes(dir + "/cmdline", cmdline);
    if (exeTarget) fs::create_symlink(exeTarget, dir + "/exe");
  }

  void SetUp() override {
    using namespace std::string_literals;
    addProcess("100", "100 (t-server.exe) S 1", "/usr/bin/php8.2", "t-server.exe\0-S\0"s);
    addProcess("101", "101 (t-server.exe) Z 1", nullptr, "");
    addProcess("102", "102 (t-server.exe) X 1", nullptr, "");
    addProcess("103", "103 (t-server.ex) S 1", "/usr/bin/php8.2", "t-server.ex\0"s);
    addProcess("110", "110 (tovanik-sleeper) S 1", "/opt/x/tovanik-sleeper-x.ab", "sleep\0"s);
    addProcess("111", "111 (tovanik-sleeper) S 1", "/usr/bin/php8.2",
               "/srv/php/tovanik-sleeper-y.ab\0-S\0"s);
    addProcess("112", "112 (tovanik-sleeper) S 1", "/opt/x/tovanik-sleeper-z.ab (deleted)", "z\0"s);
    addProcess("113", "113 (tovanik-sleeper) S 1", nullptr, "tovanik-sleeper-w.ab\0"s);
    addProcess("114", "114 (my t'ser\"v\xC3\xA9r.e) S 1", "/usr/bin/php8.2",
               "./my t'ser\"v\xC3\xA9r.exe\0-S\0"s);
    addProcess("120", "120 (abcdefghijklmno) S 1", "/usr/bin/php8.2", "./abcdefghijklmno\0"s);
    addProcess("130", "garbage", "/usr/bin/t-server.exe", "t-server.exe\0"s);
    addProcess("self", "1 (t-server.exe) S 1", "/usr/bin/php8.2", "t-server.exe\0"s);
  }

  TempDir root_;
};

TEST_F(MadeUpProcTable, MatchesWholeFileNamesOfLiveProcessesOnly) {
  struct Case {
    std::string name;
    std::vector<int> pids;
  };
  const Case cases[] = {
      {"T-SERVER.EXE", {100}},  // zombie 101, dead 102, malformed 130 and "self" left out
      {"t-server.ex", {103}},
      {"tovanik-sleeper-x.ab", {110}},  // long name confirmed by the executable
      {"TOVANIK-SLEEPER-Y.AB", {111}},  // by argv[0] when exe is the symlink's target
      {"tovanik-sleeper-z.ab", {112}},  // a replaced executable is still itself
      {"tovanik-sleeper-w.ab", {113}},  // exe unreadable: argv[0]
      {"tovanik-sleeper-v.ab", {}},     // same first 15 bytes, another name
      {"tovanik-sleeper", {}},          // the cut-off start of longer names
      {"abcdefghijklmno", {120}},       // a name of exactly 15 bytes
      {"MY T'SER\"V\xC3\xA9R.EXE", {114}},
      {"my t'ser\"v\xC3\x89r.exe", {}},  // É is not folded to é
      {"php8.2", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    std::vector<int> found = findProcessesByImageName(c.name, root_.path());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, c.pids) << c.name;
  }
  EXPECT_TRUE(findProcessesByImageName("t-server.exe", root_.file("missing")).empty());
}

TEST_F(LiveProcesses, ServerIsFoundOnItsPortAndStoppedByName) {
  std::string name = uniqueName("ts");
  int port = test::freePort();
  ASSERT_TRUE(launchDetachedProcess(serverArgv(linkToPhp(name), port, documentRoot())));
  ASSERT_TRUE(answers(port));
  std::vector<int> pids = findProcessesByImageName(name);
  ASSERT_EQ(pids.size(), 1u);

  // Another program on a busy machine may hold the same port number on another address.
  std::vector<Listener> listeners = tcpListenersOnPort(port);
  auto ours = std::find_if(listeners.begin(), listeners.end(), [&](const Listener& listener) {
    return listener.localAddress == "127.0.0.1";
  });
  ASSERT_NE(ours, listeners.end()) << listeners.size() << " listeners, none on 127.0.0.1";
  EXPECT_EQ(ours->holders, (std::vector<std::pair<int, std::string>>{{pids[0], name}}));

  EXPECT_EQ(killProcessesByImageName(upper(name)), 1);
  EXPECT_TRUE(silent(port));
  EXPECT_TRUE(test::waitFor([&] { return findProcessesByImageName(name).empty(); }));
  for (const Listener& listener : tcpListenersOnPort(port))
    EXPECT_NE(listener.localAddress, "127.0.0.1") << "still listening";
}

TEST_F(LiveProcesses, OneStopEndsEveryWorker) {
  std::string name = uniqueName("tw");
  int port = test::freePort();
  {
    ScopedEnv workers("PHP_CLI_SERVER_WORKERS", "3");
    ASSERT_TRUE(launchDetachedProcess(serverArgv(linkToPhp(name), port, documentRoot())));
  }
  ASSERT_TRUE(answers(port));
  EXPECT_TRUE(test::waitFor([&] { return findProcessesByImageName(name).size() == 4; }))
      << findProcessesByImageName(name).size() << " processes";

  EXPECT_EQ(killProcessesByImageName(name), 4);
  EXPECT_TRUE(silent(port));
  EXPECT_TRUE(test::waitFor([&] { return findProcessesByImageName(name).empty(); }));
}

TEST_F(LiveProcesses, ServerStartedByAnotherProgramCountsToo) {
  std::string name = uniqueName("to");
  std::string link = linkToPhp(name);
  int port = test::freePort();
  std::vector<std::string> argv = serverArgv(link, port, documentRoot());
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execv(link.c_str(), args.data());
    ::_exit(127);
  }
  children_.push_back(child);
  ASSERT_TRUE(answers(port));

  EXPECT_EQ(findProcessesByImageName(name), std::vector<int>{child});
  EXPECT_EQ(killProcessesByImageName(name), 1);
  EXPECT_TRUE(silent(port));
  // Killed but never reaped by us: it stays a zombie, which no longer counts. (The port
  // closes while the process is still exiting, so this too needs polling.)
  EXPECT_TRUE(test::waitFor([&] { return findProcessesByImageName(name).empty(); }));
  EXPECT_EQ(stateOf(child), 'Z');
}

TEST_F(LiveProcesses, LongNameNeedsTheWholeName) {
  std::string name = "tovanik-sleeper" + std::to_string(::getpid() % 100000) + ".a";
  std::string sibling = name.substr(0, name.size() - 1) + "b";
  started_names_.push_back(name);
  std::string copy = dir_.file(name);
  fs::copy_file("/bin/sleep", copy);
  fs::permissions(copy, fs::perms::owner_all);
  ASSERT_TRUE(launchDetachedProcess({copy, "600"}));
  EXPECT_TRUE(test::waitFor([&] { return findProcessesByImageName(upper(name)).size() == 1; }));
  EXPECT_TRUE(findProcessesByImageName(sibling).empty());
  EXPECT_TRUE(findProcessesByImageName(name.substr(0, 15)).empty());
  EXPECT_EQ(killProcessesByImageName(name), 1);
}

TEST_F(LiveProcesses, ExitedChildIsNotCountedWhileAZombie) {
  std::string name = uniqueName("zb");
  std::string copy = dir_.file(name);
  fs::copy_file("/bin/sleep", copy);
  fs::permissions(copy, fs::perms::owner_all);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl(copy.c_str(), copy.c_str(), "0", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  children_.push_back(child);  // reaped only in TearDown
  ASSERT_TRUE(test::waitFor([&] { return stateOf(child) == 'Z'; }));
  EXPECT_EQ(parseProcStat(test::readBytes("/proc/" + std::to_string(child) + "/stat"))->comm, name);
  EXPECT_TRUE(findProcessesByImageName(name).empty());
  EXPECT_EQ(killProcessesByImageName(name), 0);
}

TEST_F(LiveProcesses, NamesWithBlanksQuotesAndNonAsciiArriveIntact) {
  // Longer than 15 bytes, so comm is cut and the rest is confirmed through argv[0].
  const std::string name = "my t'ser\"v\xC3\xA9r" + std::to_string(::getpid()) + ".exe";
  std::string link = linkToPhp(name);
  std::string root = documentRoot("doc root 'q\" \xC3\xA9 $HOME;");
  int port = test::freePort();
  std::vector<std::string> argv = serverArgv(link, port, root);
  ASSERT_TRUE(launchDetachedProcess(argv));
  ASSERT_TRUE(answers(port));

  std::vector<int> pids = findProcessesByImageName(upper(name));
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_EQ(cmdlineOf(pids[0]), argv);
  EXPECT_EQ(killProcessesByImageName(name), 1);
  EXPECT_TRUE(silent(port));
}
