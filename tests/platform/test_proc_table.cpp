// The process table reader and the matcher, checked against a made-up /proc tree and
// against real PHP servers started under test-only names.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/detached_launch.h"
#include "platform/linux/kept_comms.h"
#include "platform/linux/proc_table.h"
#include "platform/linux/tcp_listeners.h"
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
    int ppid = 0, pgrp = 0;
  };
  const Case cases[] = {
      {"1234 (php8.2) S 1 1234 1234 0 -1", "php8.2", 'S', 1, 1234},
      {"7 (my t'ser\"v) R 1 7 7", "my t'ser\"v", 'R', 1, 7},
      {"8 (a) b (c) Z 1 8 8", "a) b (c", 'Z', 1, 8},
      {"9 ((sd-pam)) S 1\n", "(sd-pam)", 'S', 1},
      {"10 () S 1", "", 'S', 1},
      {"11 (x) X", "x", 'X'},
      {"12 (a 5 6) S 77 88 99", "a 5 6", 'S', 77, 88},
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
    EXPECT_EQ(parsed->ppid, c.ppid);
    EXPECT_EQ(parsed->pgrp, c.pgrp);
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

// A /proc look-alike in which every case of the matcher has its own process. The asker
// is process 150, a child of 151; both carry the wanted name.
class MadeUpProcTable : public ::testing::Test {
 protected:
  // Root gives the directory to `uid`, as the kernel shows a process of that user, unless
  // `shownAsRoots` (one that may not be dumped).
  void addProcess(const std::string& pid, const std::string& stat, const char* exeTarget,
                  const std::string& cmdline, uid_t uid = ::getuid(), bool shownAsRoots = false) {
    std::string dir = root_.file(pid);
    fs::create_directories(dir);
    if (::geteuid() == 0 && !shownAsRoots) {
      ASSERT_EQ(::chown(dir.c_str(), uid, static_cast<gid_t>(-1)), 0);
    }
    test::writeBytes(dir + "/stat", stat);
    test::writeBytes(dir + "/cmdline", cmdline);
    test::writeBytes(dir + "/status", "Name:\tx\nUmask:\t0022\nUid:\t" + std::to_string(uid) +
                                          "\t0\t0\t0\nGid:\t0\t0\t0\t0\n");
    // comm as the kernel shows it: the name in stat, cut to 15 bytes, and a line end.
    std::size_t open = stat.find('('), close = stat.rfind(')');
    std::string comm = open == std::string::npos || close == std::string::npos
                           ? std::string("t-server.exe")  // a garbled stat, a sane comm
                           : stat.substr(open + 1, std::min<std::size_t>(close - open - 1, 15));
    test::writeBytes(dir + "/comm", comm + "\n");
    if (exeTarget) fs::create_symlink(exeTarget, dir + "/exe");
  }

  void addScript(const std::string& name, const std::string& firstLine) {
    test::writeBytes(root_.file(name), firstLine + "\necho hi\n");
  }

  void SetUp() override {
    using namespace std::string_literals;
    addProcess("100", "100 (t-server.exe) S 1 100", "/usr/bin/php8.2", "t-server.exe\0-S\0"s);
    addProcess("101", "101 (t-server.exe) Z 1 101", nullptr, "");
    addProcess("102", "102 (t-server.exe) X 1 102", nullptr, "");
    addProcess("103", "103 (t-server.ex) S 1 103", "/usr/bin/php8.2", "t-server.ex\0"s);
    addProcess("110", "110 (tovanik-sleeper) S 1", "/opt/x/tovanik-sleeper-x.ab", "sleep\0"s);
    addProcess("111", "111 (tovanik-sleeper) S 1", "/usr/bin/php8.2",
               "/srv/php/tovanik-sleeper-y.ab\0-S\0"s);
    addProcess("112", "112 (tovanik-sleeper) S 1", "/opt/x/tovanik-sleeper-z.ab (deleted)", "z\0"s);
    addProcess("113", "113 (tovanik-sleeper) S 1", nullptr, "tovanik-sleeper-w.ab\0"s);
    addProcess("114", "114 (my t'ser\"v\xC3\xA9r.e) S 1", "/usr/bin/php8.2",
               "./my t'ser\"v\xC3\xA9r.exe\0-S\0"s);
    addProcess("120", "120 (abcdefghijklmno) S 1", "/usr/bin/php8.2", "./abcdefghijklmno\0"s);
    addProcess("121", "121 (aZaZ.exe) S 1", "/usr/bin/php8.2", "./AzAz.exe\0"s);
    addProcess("130", "garbage", "/usr/bin/t-server.exe", "t-server.exe\0"s);
    addProcess("self", "1 (t-server.exe) S 1", "/usr/bin/php8.2", "t-server.exe\0"s);
    // A program that renamed its comm (prctl) to a wanted name.
    addProcess("140", "140 (renamed.exe) S 1", "/usr/bin/python3", "python3\0-c\0"s);
    // Another user's processes named other.exe: started as this folder's server (argv[0]
    // is its path, the executable that path's target), a look-alike that copied the path
    // into argv[0], and a server of another folder.
    test::writeBytes(root_.file("server-binary"), "");
    fs::create_directory(root_.file("php"));
    fs::create_symlink(root_.file("server-binary"), serverPath());
    const uid_t other = ::getuid() + 1;
    const std::string server = root_.file("server-binary");
    addProcess("141", "141 (other.exe) S 1", server.c_str(), serverPath() + "\0-S\0"s, other);
    addProcess("142", "142 (other.exe) S 1", "/usr/bin/python3", serverPath() + "\0"s, other);
    addProcess("143", "143 (other.exe) S 1", server.c_str(), "/srv/tv/php/other.exe\0"s, other);
    // One of theirs that /proc shows as root's: not theirs to find.
    addProcess("144", "144 (other.exe) S 1", server.c_str(), serverPath() + "\0-S\0"s, other, true);
    // The asker and its parent.
    addProcess("150", "150 (kin.exe) S 151 151", "/usr/bin/php8.2", "kin.exe\0"s);
    addProcess("151", "151 (kin.exe) S 1 151", "/usr/bin/php8.2", "kin.exe\0"s);
    // Scripts started through their "#!" line: [interpreter, (argument,) script, ...].
    addScript("wrap.sh", "#!/bin/sh");
    addScript("wrap-e.sh", "#! /bin/sh -e ");
    addScript("wrap-bash.sh", "#!/bin/bash");
    addProcess("160", "160 (wrap.sh) S 1", "/usr/bin/dash", "/bin/sh\0"s + root_.file("wrap.sh"));
    addProcess("161", "161 (wrap-e.sh) S 1", "/usr/bin/dash",
               "/bin/sh\0-e\0"s + root_.file("wrap-e.sh") + "\0x\0"s);
    addProcess("162", "162 (wrap-bash.sh) S 1", "/usr/bin/dash",
               "/bin/sh\0"s + root_.file("wrap-bash.sh"));  // not the script's interpreter
    addProcess("163", "163 (wrap.sh) S 1", "/usr/bin/python3",
               "python3\0"s + root_.file("wrap.sh"));  // renamed, argument of that name
  }

  // As the test's own user, or as `asker` (root: 0).
  std::vector<int> find(const ServerImage& image, std::optional<uid_t> asker = std::nullopt) {
    std::vector<int> found =
        findProcessesByImageName(image, root_.path(), Asker{asker.value_or(::getuid()), 150});
    std::sort(found.begin(), found.end());
    return found;
  }

  // This folder's server: a link to the file process 141 runs.
  std::string serverPath() const { return root_.file("php/other.exe"); }

  TempDir root_;
};

struct NameCase {
  std::string name;
  std::vector<int> pids;
};
const NameCase kMadeUpCases[] = {
    {"T-SERVER.EXE", {100}},  // zombie 101, dead 102, malformed 130 and "self" left out
    {"t-server.ex", {103}},
    {"tovanik-sleeper-x.ab", {110}},  // long name confirmed by the executable
    {"TOVANIK-SLEEPER-Y.AB", {111}},  // by argv[0] when exe is the symlink's target
    {"tovanik-sleeper-z.ab", {112}},  // a replaced executable is still itself
    {"tovanik-sleeper-w.ab", {113}},  // exe unreadable: argv[0]
    {"tovanik-sleeper-v.ab", {}},     // same first 15 bytes, another name
    {"tovanik-sleeper", {}},          // the cut-off start of longer names
    {"abcdefghijklmno", {120}},       // a name of exactly 15 bytes
    {"AZAZ.EXE", {121}},              // the ends of the alphabet fold too
    {"azaz.exf", {}},
    {"MY T'SER\"V\xC3\xA9R.EXE", {114}},
    {"my t'ser\"v\xC3\x89r.exe", {}},  // É is not folded to é
    {"renamed.exe", {}},               // comm alone proves nothing
    {"python3", {}},                   // argv[0] and exe alone prove nothing either
    {"other.exe", {}},                 // another user's
    {"kin.exe", {}},                   // the asker and its ancestors
    {"wrap.sh", {160}},                // a script; 163 only renamed itself
    {"wrap-e.sh", {161}},              // a script with an interpreter argument
    {"wrap-bash.sh", {}},              // its "#!" line names another interpreter
    {"php8.2", {}},
    {"php/t-server.exe", {}},  // a name with '/' matches nothing
    {"/t-server.exe", {}},
    {"", {}},
};

TEST_F(MadeUpProcTable, MatchesWholeFileNamesOfLiveProcessesOnly) {
  for (const NameCase& c : kMadeUpCases) EXPECT_EQ(find(c.name), c.pids) << c.name;
  EXPECT_TRUE(findProcessesByImageName("t-server.exe", root_.file("missing")).empty());
}

// Only the asker's own processes count, root's too: another user's process started as
// this folder's server (141), a look-alike of it (142) and another folder's (143) count for
// their own user, never for root or anyone else; one of theirs that /proc shows as root's
// (144) for nobody.
TEST_F(MadeUpProcTable, OnlyTheAskersOwnProcessesCountRootIncluded) {
  const uid_t other = ::getuid() + 1;
  EXPECT_EQ(find({"other.exe", serverPath()}, 0), std::vector<int>{});
  EXPECT_EQ(find({"OTHER.EXE", serverPath()}, 0), std::vector<int>{});
  EXPECT_EQ(find("other.exe", 0), std::vector<int>{});  // no folder: none of theirs
  EXPECT_EQ(find({"other.exe", serverPath()}), std::vector<int>{});
  EXPECT_EQ(find({"kin.exe", serverPath()}, 0), std::vector<int>{});
  if (::geteuid() == 0) {  // only root can give the made-up processes to another user
    EXPECT_EQ(find({"other.exe", serverPath()}, other), (std::vector<int>{141, 142, 143}));
  }
  EXPECT_EQ(find("T-SERVER.EXE", other), std::vector<int>{}) << "nor do the test user's for them";
}

// Whatever PID the hint holds, the answer is the full scan's; the hint then names a
// match, or 0.
TEST_F(MadeUpProcTable, PidHintNeverChangesTheAnswer) {
  const Asker asker{::getuid(), 150};
  const int hints[] = {0, 100, 101, 103, 110, 140, 141, 150, 151, 160, 163, 99999};
  for (const NameCase& c : kMadeUpCases) {
    for (int hint : hints) {
      PresenceHint updated = PresenceHint::at(hint);
      SCOPED_TRACE(c.name + " with hint " + std::to_string(hint));
      EXPECT_EQ(anyProcessByImageName(c.name, updated, root_.path(), asker), !c.pids.empty());
      if (c.pids.empty())
        EXPECT_EQ(updated.pid, 0);
      else
        EXPECT_NE(std::find(c.pids.begin(), c.pids.end(), updated.pid), c.pids.end());
      // Asked again with what it learnt, it answers the same.
      EXPECT_EQ(anyProcessByImageName(c.name, updated, root_.path(), asker), !c.pids.empty());
    }
  }
}

TEST_F(MadeUpProcTable, PidHintOfAGoneOrRecycledProcessFallsBackToTheScan) {
  const Asker asker{::getuid(), 150};
  PresenceHint hint = PresenceHint::at(100);
  ASSERT_TRUE(anyProcessByImageName("t-server.exe", hint, root_.path(), asker));
  // PID 100 now belongs to another program, and another server runs as 170.
  fs::remove_all(root_.file("100"));
  addProcess("100", "100 (bash) S 1 100", "/usr/bin/bash", "bash\0");
  addProcess("170", "170 (t-server.exe) S 1 170", "/usr/bin/php8.2", "t-server.exe\0");
  EXPECT_TRUE(anyProcessByImageName("t-server.exe", hint, root_.path(), asker));
  EXPECT_EQ(hint.pid, 170);
  fs::remove_all(root_.file("170"));
  EXPECT_FALSE(anyProcessByImageName("t-server.exe", hint, root_.path(), asker));
  EXPECT_EQ(hint.pid, 0);
}

// A process that execs keeps its PID, start time and, renamed, its comm: the hint that
// confirmed it is confirmed again by its image and user, so the answer stays the scan's.
TEST_F(MadeUpProcTable, PidHintOfAProcessThatExecedIsConfirmedByItsImage) {
  using namespace std::string_literals;
  const std::string stat = "180 (exec.exe) S 1 180 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 777";
  const Asker asker{::getuid(), 150};
  const struct {
    const char* what;
    const char* exe;
    std::string cmdline;
    uid_t uid;
    bool counts;
  } rows[] = {
      {"unchanged", "/usr/bin/php8.2", "exec.exe\0-S\0"s, ::getuid(), true},
      {"execed into python, comm renamed back", "/usr/bin/python3", "python3\0"s, ::getuid(),
       false},
      {"changed its user", "/usr/bin/php8.2", "exec.exe\0-S\0"s, ::getuid() + 1, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    addProcess("180", stat, "/usr/bin/php8.2", "exec.exe\0-S\0"s);
    PresenceHint hint = PresenceHint::at(180);
    ASSERT_TRUE(anyProcessByImageName("exec.exe", hint, root_.path(), asker));
    ASSERT_EQ(hint.startTime, 777u);
    fs::remove_all(root_.file("180"));
    addProcess("180", stat, row.exe, row.cmdline, row.uid);
    EXPECT_EQ(anyProcessByImageName("exec.exe", hint, root_.path(), asker), row.counts);
    EXPECT_EQ(find("exec.exe").size(), row.counts ? 1u : 0u);
    fs::remove_all(root_.file("180"));
  }
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
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    char byte;
    if (::read(go[0], &byte, 1) == 1) ::execv(link.c_str(), args.data());
    ::_exit(127);
  }
  children_.push_back(child);
  // Read under this test's name first, then the same process becomes the server: the
  // kept name is read again.
  ::close(go[0]);
  PresenceHint hint;
  KeptComms comms;
  EXPECT_FALSE(anyProcessByImageName(name, hint, "/proc", currentAsker(), &comms));
  ASSERT_EQ(::write(go[1], "x", 1), 1);
  ::close(go[1]);
  ASSERT_TRUE(answers(port));
  EXPECT_TRUE(anyProcessByImageName(name, hint, "/proc", currentAsker(), &comms));

  EXPECT_EQ(findProcessesByImageName(name), std::vector<int>{child});
  EXPECT_EQ(killProcessesByImageName(name), 1);
  EXPECT_TRUE(silent(port));
  // Killed but never reaped by us: it stays a zombie, which no longer counts. (The port
  // closes while the process is still exiting, so this too needs polling.)
  EXPECT_TRUE(test::waitFor([&] { return findProcessesByImageName(name).empty(); }));
  // A dying process stops counting once its memory (and with it argv) is gone, a moment
  // before it turns into the zombie.
  EXPECT_TRUE(test::waitFor([&] { return stateOf(child) == 'Z'; }));
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

TEST_F(LiveProcesses, RenamedCommIsNeitherCountedNorKilled) {
  std::string name = uniqueName("rn");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::prctl(PR_SET_NAME, name.substr(0, 15).c_str());
    ::pause();
    ::_exit(0);
  }
  children_.push_back(child);
  const std::string commPath = "/proc/" + std::to_string(child) + "/comm";
  ASSERT_TRUE(
      test::waitFor([&] { return test::readBytes(commPath) == name.substr(0, 15) + "\n"; }));
  EXPECT_TRUE(findProcessesByImageName(name).empty());
  PresenceHint hint = PresenceHint::at(child);
  EXPECT_FALSE(anyProcessByImageName(name, hint));
  EXPECT_EQ(killProcessesByImageName(name), 0);
  EXPECT_EQ(::waitpid(child, nullptr, WNOHANG), 0) << "the renamed process was killed";
}

// A stop is not a request: a process that ignores SIGTERM ends all the same.
TEST_F(LiveProcesses, StopEndsAProcessThatIgnoresTerm) {
  const std::string name = uniqueName("tm");
  const std::string copy = dir_.file("php/" + name);
  fs::copy_file(fs::canonical("/bin/sleep"), copy);
  fs::permissions(copy, fs::perms::owner_all);
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGTERM, SIG_IGN);
    ::execl(copy.c_str(), copy.c_str(), "300", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  children_.push_back(child);
  ASSERT_TRUE(test::waitFor([&] { return findProcessesByImageName(name).size() == 1; }));
  EXPECT_EQ(killProcessesByImageName(name), 1);
  int status = 0;
  EXPECT_TRUE(test::waitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

// A wrapper that ignores SIGTERM and runs PHP as its child (which inherits the ignored
// SIGTERM): one stop ends both, and the port is free again.
TEST_F(LiveProcesses, WrapperScriptAndItsServerEndTogether) {
  std::string name = uniqueName("wr");
  std::string script = dir_.file("php/" + name);
  int port = test::freePort();
  test::writeBytes(script, "#!/bin/sh\ntrap '' TERM\n'" + php_ + "' -S 127.0.0.1:" +
                               std::to_string(port) + " -t '" + documentRoot() + "'\n");
  fs::permissions(script, fs::perms::owner_all);
  ASSERT_TRUE(launchDetachedProcess({script}));
  ASSERT_TRUE(answers(port));
  std::vector<int> pids = findProcessesByImageName(name);
  ASSERT_EQ(pids.size(), 1u) << "the script itself is the match";
  EXPECT_EQ(cmdlineOf(pids[0]).at(1), script);

  EXPECT_EQ(killProcessesByImageName(name), 1);
  EXPECT_TRUE(silent(port));
  EXPECT_TRUE(test::waitFor([&] { return tcpListenersOnPort(port).empty(); }));
  EXPECT_TRUE(test::waitFor([&] { return findProcessesByImageName(name).empty(); }));
}

TEST_F(LiveProcesses, PidHintFollowsAReplacedServerAndIgnoresOtherPrograms) {
  std::string name = uniqueName("hr");
  std::string link = linkToPhp(name);
  PresenceHint hint;
  int port = test::freePort();
  ASSERT_TRUE(launchDetachedProcess(serverArgv(link, port, documentRoot())));
  ASSERT_TRUE(answers(port));
  ASSERT_TRUE(anyProcessByImageName(name, hint));
  const int first = hint.pid;
  EXPECT_TRUE(anyProcessByImageName(name, hint));  // the same process, at once
  EXPECT_EQ(hint.pid, first);
  // A query for another folder's server of the name is asked afresh: for this user it
  // counts the same process.
  EXPECT_TRUE(anyProcessByImageName(ServerImage{name, "/elsewhere/php/" + name}, hint));
  EXPECT_EQ(findProcessesByImageName(name), std::vector<int>{first});

  // Replaced between two ticks: the hint is dead, the new server is found.
  killProcessesByImageName(name);
  ASSERT_TRUE(silent(port));
  ASSERT_TRUE(launchDetachedProcess(serverArgv(link, port, documentRoot())));
  ASSERT_TRUE(answers(port));
  EXPECT_TRUE(anyProcessByImageName(name, hint));
  EXPECT_EQ(findProcessesByImageName(name), std::vector<int>{hint.pid});
  EXPECT_NE(hint.pid, first);

  // A hint that names a live process of another name (as a recycled PID would) counts
  // for nothing.
  killProcessesByImageName(name);
  ASSERT_TRUE(test::waitFor([&] { return findProcessesByImageName(name).empty(); }));
  hint = PresenceHint::at(::getpid());
  EXPECT_FALSE(anyProcessByImageName(name, hint));
  EXPECT_EQ(hint.pid, 0);
}

// The kernel's socket diagnostics and the /proc/net tables describe the same sockets.
TEST(TcpListeners, SockDiagAgreesWithProcNet) {
  struct Family {
    int family;
    const char* address;  // as both sources write it
  };
  for (const Family& f : {Family{AF_INET6, "::1"}, Family{AF_INET, "127.0.0.1"}}) {
    SCOPED_TRACE(f.address);
    int holder = ::socket(f.family, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (f.family == AF_INET6) {
      auto* six = reinterpret_cast<sockaddr_in6*>(&address);
      six->sin6_family = AF_INET6;
      six->sin6_addr = in6addr_loopback;
      length = sizeof *six;
    } else {
      auto* four = reinterpret_cast<sockaddr_in*>(&address);
      four->sin_family = AF_INET;
      four->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      length = sizeof *four;
    }
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = f.family == AF_INET6
                         ? ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port)
                         : ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);

    auto key = [](const std::vector<Listener>& listeners) {
      std::vector<std::pair<std::string, unsigned long>> keys;
      for (const Listener& l : listeners) keys.emplace_back(l.localAddress, l.inode);
      std::sort(keys.begin(), keys.end());
      return keys;
    };
    const auto fromKernel = listenersFromSockDiag(port);
    ASSERT_TRUE(fromKernel.has_value()) << "no NETLINK_SOCK_DIAG here";
    const auto fromTables = listenersFromProcNet(port);
    EXPECT_EQ(key(*fromKernel), key(fromTables));
    ASSERT_EQ(fromTables.size(), 1u);
    EXPECT_EQ(fromTables.front().localAddress, f.address);

    const auto withHolders = tcpListenersOnPort(port, {::getpid()});
    ASSERT_EQ(withHolders.size(), fromKernel->size());
    EXPECT_EQ(withHolders.front().holders.at(0).first, ::getpid());
    ::close(holder);
    EXPECT_TRUE(listenersFromSockDiag(port)->empty());
    EXPECT_TRUE(listenersFromProcNet(port).empty());
  }
}
