// The hidden server's log: where it lives, how it is cut, what the launch marks say.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/linux/log_files.h"
#include "server/output_log.h"
#include "tests/support/fake_platform.h"
#include "tests/support/live_processes.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace tovanik;
using namespace tovanik::test;

TEST(OutputLog, LivesInTheUsersStateFolderOnePerProgramFolder) {
  LinuxLogFiles files;
  OutputLog logs(files);
  // Private folders of this test's, which root trusts as its own.
  const TempDir scratch;
  const std::string s = scratch.file("s"), h = scratch.file("h");
  fs::create_directory(s);
  fs::create_directory(h);
  struct Case {
    std::optional<std::string> stateHome, home;
    std::string folder;
  };
  const Case cases[] = {
      {s, h, s + "/tovanik"},
      {s + "/", h, s + "/tovanik"},
      {"relative", h, h + "/.local/state/tovanik"},  // only absolute paths count
      {"", h, h + "/.local/state/tovanik"},
      {std::nullopt, h, h + "/.local/state/tovanik"},
      // Without either, the home comes from the password database.
      {std::nullopt, std::nullopt,
       std::string(getpwuid(geteuid())->pw_dir) + "/.local/state/tovanik"},
  };
  for (const Case& c : cases) {
    ScopedEnv state("XDG_STATE_HOME", c.stateHome ? c.stateHome->c_str() : nullptr);
    ScopedEnv home("HOME", c.home ? c.home->c_str() : nullptr);
    EXPECT_EQ(logs.stateFolder(), c.folder) << c.stateHome.value_or("(unset)");
  }
  // Run as root with a user's environment (sudo -E), a folder that user owns, or one that
  // is missing, is not taken: the log would go wherever the user points it.
  if (geteuid() == 0) {
    TempDir users;
    ASSERT_EQ(chown(users.path().c_str(), 65534, 65534), 0);
    ScopedEnv state("XDG_STATE_HOME", users.path().c_str());
    ScopedEnv home("HOME", h.c_str());
    EXPECT_EQ(logs.stateFolder(), h + "/.local/state/tovanik");
    ScopedEnv usersHome("HOME", users.path().c_str());
    EXPECT_EQ(logs.stateFolder(), "/root/.local/state/tovanik");
    // A missing one only where nobody else could create it.
    ScopedEnv missing("HOME", scratch.file("gone").c_str());
    EXPECT_EQ(logs.stateFolder(), scratch.file("gone") + "/.local/state/tovanik");
    ScopedEnv missingInTmp("HOME", (users.path() + "-gone").c_str());
    EXPECT_EQ(logs.stateFolder(), "/root/.local/state/tovanik");
  }
  ScopedEnv state("XDG_STATE_HOME", s.c_str());
  const std::string a = logs.outputLogPath("/opt/my panel");
  const std::string b = logs.outputLogPath("/srv/my panel");
  EXPECT_EQ(a.rfind(s + "/tovanik/my_panel-", 0), 0u) << a;
  EXPECT_NE(a, b) << "two folders of one name share a log";
  EXPECT_EQ(a, logs.outputLogPath("/opt/my panel"));
}

TEST(OutputLog, IsCutInPlaceToItsNewestWholeLines) {
  LinuxLogFiles files;
  OutputLog logs(files);
  TempDir dir;
  const std::string log = dir.file("server.log");
  struct Case {
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"0123456789\n", "0123456789\n"},      // at the limit: untouched
      {"aaaa\nbbbb\ncccc\n", "cccc\n"},      // the newest 8 bytes, "bbb\ncccc\n", from a line start
      {"aaaa\nbb\ncccc\n", "bb\ncccc\n"},    // a line starting right at the cut
      {"aaaaaaaaaaaaaaaaaaaa", "aaaaaaaa"},  // no line end at all
      {"aaaaaaaaaaaaaaaa\nbbbbbbb\n", "bbbbbbb\n"},
  };
  for (const Case& c : cases) {
    writeBytes(log, c.before);
    fs::permissions(log, fs::perms::owner_read | fs::perms::owner_write);
    // The file stays the same file: PHP holds it open.
    struct stat before {
    }, after{};
    ::stat(log.c_str(), &before);
    EXPECT_TRUE(logs.trimOutputLog(log, 11, 8));
    ::stat(log.c_str(), &after);
    EXPECT_EQ(readBytes(log), c.after) << c.before;
    EXPECT_EQ(after.st_ino, before.st_ino);
  }
  EXPECT_TRUE(logs.trimOutputLog(dir.file("missing.log"), 11, 8));
}

// Whatever stands in the log's place but a file of the caller's alone is never read nor
// waited for (a FIFO would block, another user's file would leak the server's output):
// readers refuse it, and the launch's mark replaces it with a new file, 0600.
TEST(OutputLog, AnythingButTheCallersOwnPrivateFileIsReplaced) {
  LinuxLogFiles files;
  OutputLog logs(files);
  TempDir dir;
  const std::string log = dir.file("x.log"), other = dir.file("other");
  writeBytes(other, "secret\n");
  std::vector<std::function<void()>> plants{
      [&] { ASSERT_EQ(mkfifo(log.c_str(), 0666), 0); },
      [&] { fs::create_symlink(other, log); },
      [&] { fs::create_hard_link(other, log); },
      [&] { writeBytes(log, "x\n"), fs::permissions(log, fs::perms::all); }};
  if (geteuid() == 0)  // another user's file, private to them
    plants.push_back([&] {
      writeBytes(log, "x\n"), (void)chown(log.c_str(), 65534, 0);
      fs::permissions(log, fs::perms::owner_read | fs::perms::owner_write);
    });
  for (std::size_t i = 0; i < plants.size(); ++i) {
    SCOPED_TRACE(i);
    plants[i]();
    EXPECT_FALSE(logs.tailLines(log, 5));
    ASSERT_TRUE(logs.markLaunch(log, kMarkStarted));
    struct stat info {};
    ASSERT_EQ(lstat(log.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode, S_IFREG | 0600);
    EXPECT_EQ(info.st_uid, geteuid());
    EXPECT_EQ(logs.tailLines(log, 5)->size(), 1u);
    EXPECT_EQ(readBytes(other), "secret\n");
    fs::remove(log);
  }
  // A folder others may write is no place for it.
  fs::permissions(dir.path(), fs::perms::all);
  EXPECT_FALSE(logs.markLaunch(log, kMarkStarted));
}

TEST(OutputLog, TheLatestMarkTellsWhatTheLastRunPrinted) {
  LinuxLogFiles files;
  OutputLog logs(files);
  TempDir dir;
  const std::string log = dir.file("state/tovanik/x.log");
  EXPECT_FALSE(logs.readLastRun(log));
  ASSERT_TRUE(logs.markLaunch(log, kMarkStarted));
  EXPECT_EQ(fs::status(dir.file("state/tovanik")).permissions(), fs::perms::owner_all);
  writeBytes(log, readBytes(log) + "one\ntwo\n");
  ASSERT_TRUE(logs.markLaunch(log, kMarkStopped));
  auto run = logs.readLastRun(log);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->note, kMarkStopped);
  EXPECT_TRUE(run->lines.empty());
  ASSERT_TRUE(logs.markLaunch(log, kMarkStarted));
  writeBytes(log, readBytes(log) + "[tovanik bad] not a mark\nFailed to listen\n");
  run = logs.readLastRun(log);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->note, kMarkStarted);
  EXPECT_EQ(run->lines, (std::vector<std::string>{"[tovanik bad] not a mark", "Failed to listen"}));
  EXPECT_LE(std::abs(run->lastOutput - run->launched), 2);
  EXPECT_EQ(logs.tailLines(log, 1), std::vector<std::string>{"Failed to listen"});
  EXPECT_EQ(logs.tailLines(log, -1)->size(), 7u);
  EXPECT_FALSE(logs.tailLines(dir.file("missing.log"), 1));
}

// The log's rules once more on files held in memory: what every system's backend runs.
TEST(OutputLog, RulesHoldOverAnyFiles) {
  FakeLogFiles files;
  OutputLog logs(files);
  EXPECT_EQ(logs.outputLogPath("/opt/my panel"), "/state/tovanik/my_panel-618c6f4d.log");
  struct Case {
    std::string before;
    bool cutLocked;  // another program is cutting it
    std::string after;
    int opens;       // a file below the limit is not opened
  } cases[] = {
      {"0123456789\n", false, "0123456789\n", 0},
      {"aaaa\nbbbb\ncccc\n", false, "cccc\n", 1},
      {"aaaa\nbb\ncccc\n", false, "bb\ncccc\n", 1},
      {"aaaaaaaaaaaaaaaaaaaa", false, "aaaaaaaa", 1},
      {"aaaa\nbbbb\ncccc\n", true, "aaaa\nbbbb\ncccc\n", 1},
  };
  for (const Case& c : cases) {
    files.files_["/l"] = {c.before, 0, c.cutLocked};
    files.opens_ = 0;
    EXPECT_TRUE(logs.trimOutputLog("/l", 11, 8)) << c.before;
    EXPECT_EQ(files.files_["/l"].bytes, c.after) << c.before;
    EXPECT_EQ(files.opens_, c.opens) << c.before;
  }
  EXPECT_TRUE(logs.trimOutputLog("/missing", 11, 8));
  EXPECT_FALSE(logs.outputLogExists("/missing"));
  EXPECT_FALSE(logs.markLaunch("", kMarkStarted));

  ASSERT_TRUE(logs.markLaunch("/state/tovanik/x.log", kMarkStarted));
  EXPECT_EQ(files.folders_, std::set<std::string>{"/state/tovanik"});
  files.files_["/state/tovanik/x.log"].bytes += "Failed to listen\n";
  const auto run = logs.readLastRun("/state/tovanik/x.log");
  ASSERT_TRUE(run);
  EXPECT_EQ(run->note, "server started");
  EXPECT_EQ(run->lines, std::vector<std::string>{"Failed to listen"});
  EXPECT_EQ(logs.readOutputLogFrom("/state/tovanik/x.log", 46), "Failed to listen\n");
  EXPECT_EQ(logs.outputLogSize("/state/tovanik/x.log"), 63u);
  files.state_folder_.clear();
  EXPECT_EQ(logs.outputLogPath("/opt/my panel"), "");
}
