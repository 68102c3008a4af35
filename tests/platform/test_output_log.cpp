// The hidden server's log: where it lives, how it is cut, what the launch marks say.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/output_log.h"
#include "tests/support/live_processes.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace tovanik;
using namespace tovanik::test;

TEST(OutputLog, LivesInTheUsersStateFolderOnePerProgramFolder) {
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
    EXPECT_EQ(stateFolder(), c.folder) << c.stateHome.value_or("(unset)");
  }
  // Run as root with a user's environment (sudo -E), a folder that user owns, or one that
  // is missing, is not taken: the log would go wherever the user points it.
  if (geteuid() == 0) {
    TempDir users;
    ASSERT_EQ(chown(users.path().c_str(), 65534, 65534), 0);
    ScopedEnv state("XDG_STATE_HOME", users.path().c_str());
    ScopedEnv home("HOME", h.c_str());
    EXPECT_EQ(stateFolder(), h + "/.local/state/tovanik");
    ScopedEnv usersHome("HOME", users.path().c_str());
    EXPECT_EQ(stateFolder(), "/root/.local/state/tovanik");
    ScopedEnv missing("HOME", scratch.file("gone").c_str());
    EXPECT_EQ(stateFolder(), "/root/.local/state/tovanik");
  }
  ScopedEnv state("XDG_STATE_HOME", s.c_str());
  const std::string a = outputLogPath("/opt/my panel"), b = outputLogPath("/srv/my panel");
  EXPECT_EQ(a.rfind(s + "/tovanik/my_panel-", 0), 0u) << a;
  EXPECT_NE(a, b) << "two folders of one name share a log";
  EXPECT_EQ(a, outputLogPath("/opt/my panel"));
}

TEST(OutputLog, IsCutInPlaceToItsNewestWholeLines) {
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
    // The file stays the same file: PHP holds it open.
    struct stat before {
    }, after{};
    ::stat(log.c_str(), &before);
    EXPECT_TRUE(trimOutputLog(log, 11, 8));
    ::stat(log.c_str(), &after);
    EXPECT_EQ(readBytes(log), c.after) << c.before;
    EXPECT_EQ(after.st_ino, before.st_ino);
  }
  EXPECT_TRUE(trimOutputLog(dir.file("missing.log"), 11, 8));
}

TEST(OutputLog, TheLatestMarkTellsWhatTheLastRunPrinted) {
  TempDir dir;
  const std::string log = dir.file("state/tovanik/x.log");
  EXPECT_FALSE(readLastRun(log));
  ASSERT_TRUE(markLaunch(log, kMarkStarted));
  EXPECT_EQ(fs::status(dir.file("state/tovanik")).permissions(), fs::perms::owner_all);
  writeBytes(log, readBytes(log) + "one\ntwo\n");
  ASSERT_TRUE(markLaunch(log, kMarkStopped));
  auto run = readLastRun(log);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->note, kMarkStopped);
  EXPECT_TRUE(run->lines.empty());
  ASSERT_TRUE(markLaunch(log, kMarkStarted));
  writeBytes(log, readBytes(log) + "[tovanik bad] not a mark\nFailed to listen\n");
  run = readLastRun(log);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->note, kMarkStarted);
  EXPECT_EQ(run->lines, (std::vector<std::string>{"[tovanik bad] not a mark", "Failed to listen"}));
  EXPECT_LE(std::abs(run->lastOutput - run->launched), 2);
  EXPECT_EQ(tailLines(log, 1), std::vector<std::string>{"Failed to listen"});
  EXPECT_EQ(tailLines(log, -1)->size(), 7u);
  EXPECT_FALSE(tailLines(dir.file("missing.log"), 1));
}
