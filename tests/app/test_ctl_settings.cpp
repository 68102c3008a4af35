// tovanikctl's settings commands (ini, config, url), run as the real binary on real files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "platform/linux/proc_table.h"
#include "tests/support/ctl_run.h"
#include "tests/support/test_support.h"

namespace tovanik {
namespace {

using namespace test;
using namespace std::string_literals;

TEST(Ctl, IniGetAndSet) {
  TempDir dir;
  const std::string file = dir.file("a.ini");
  CtlRun r = ctl({"ini", "set", file, "Main", "name", "a value = with blanks "});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(readBytes(file), "[Main]\r\nname=a value = with blanks \r\n");
  r = ctl({"ini", "get", file, "MAIN", "NAME"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "a value = with blanks \n");
  // Reading never writes: a missing file is named, and left missing.
  r = ctl({"ini", "get", dir.file("new.ini"), "Main", "x"});
  expectCleanFailure(r);
  EXPECT_EQ(r.err, "tovanikctl: cannot read " + dir.file("new.ini") + ": No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("new.ini")));
  std::filesystem::create_directory(dir.file("config"));
  EXPECT_EQ(ctl({"--folder", dir.path(), "config", "get", "server_port"}).rc, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("config/config.ini")));

  // Notepad's "Unicode": the value is found, and a write keeps the file UTF-16; one that
  // is no valid UTF-16 is refused with the reason.
  const std::string utf16 =
      "\xFF\xFE[\0C\0o\0n\0f\0i\0g\0]\0\r\0\n\0"
      "s\0e\0r\0v\0e\0r\0_\0p\0o\0r\0t\0=\0\x38\0\x30\0\x38\0\x30\0"s;
  writeBytes(dir.file("config/config.ini"), utf16);
  r = ctl({"--folder", dir.path(), "config", "get", "server_port"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "8080\n");
  EXPECT_EQ(ctl({"--folder", dir.path(), "config", "set", "server_port", "8081"}).rc, 0);
  EXPECT_EQ(readBytes(dir.file("config/config.ini")),
            utf16.substr(0, utf16.size() - 2) + "1\0\r\0\n\0"s);
  writeBytes(dir.file("config/config.ini"), utf16 + "x");
  r = ctl({"--folder", dir.path(), "config", "get", "server_port"});
  expectCleanFailure(r);
  EXPECT_EQ(r.err, "tovanikctl: cannot read " + dir.file("config/config.ini") +
                       ": not valid UTF-16 text (it starts with the UTF-16 byte-order mark, but "
                       "its length is an odd number of bytes)\n");

  expectCleanFailure(ctl({"ini", "get", dir.file("no/such.ini"), "Main", "x"}));
  expectCleanFailure(ctl({"ini", "set", dir.file("no/such.ini"), "Main", "x", "1"}));
  EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
  // Usage errors of every kind exit 2: a wrong sub-command, command, option or count.
  for (const std::vector<std::string>& usage : {std::vector<std::string>{"ini", "frobnicate"},
                                                {"frobnicate"},
                                                {},
                                                {"--bogus"},
                                                {"config", "get"},
                                                {"status", "now"},
                                                {"log", "-n"},
                                                {"launcher", "add"},
                                                {"--folder"}})
    expectCleanFailure(ctl(usage), 2);
  r = ctl({"--help"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("usage:"), std::string::npos);
}

// Each refusal is one line on stderr naming the rule, exit 1, and the file as it was.
TEST(Ctl, SetRefusesWhatCannotBeReadBack) {
  TempDir dir;
  layoutProgramFolder(dir.path(), "t-server.exe", 8080);
  const std::string config = dir.file("config/config.ini");
  const std::string before = readBytes(config);
  struct Refusal {
    std::vector<std::string> args;
    const char* rule;  // a piece of the message
  };
  const Refusal refused[] = {
      {{"config", "set", "root_directory", "www\r\nexe_name=evil"}, "control character"},
      {{"config", "set", "root_directory", "tab\there"}, "control character"},
      {{"config", "set", "root_directory", "del\x7F"}, "control character"},
      {{"config", "set", "server_port", "80a"}, "1 to 65535"},
      {{"config", "set", "server_port", ""}, "1 to 65535"},
      {{"config", "set", "server_port", "-1"}, "1 to 65535"},
      {{"config", "set", "server_port", "0"}, "1 to 65535"},
      {{"config", "set", "server_port", "65536"}, "1 to 65535"},
      {{"config", "set", "server_port", "99999"}, "1 to 65535"},
      {{"config", "set", "server_port", "99999999999999999999999"}, "1 to 65535"},
      {{"config", "set", "server_port", "018070"}, "at most 5"},     // the one port rule
      {{"config", "set", "server_port", "\xd9\xa1"}, "1 to 65535"},  // no other digits
      {{"config", "set", "exe_name", "a\\b"}, "without '/' or '\\'"},
      {{"config", "set", "server_port", "8080\r\nexe_name=evil"}, "control character"},
      {{"config", "set", "command_prompt", "SHOW"}, "'show' or 'hide'"},
      {{"config", "set", "command_prompt", ""}, "'show' or 'hide'"},
      {{"config", "set", "exe_name", ""}, "without '/'"},
      {{"config", "set", "exe_name", "../evil"}, "without '/'"},
      {{"config", "set", "root_directory", "/srv/site"},
       "root_directory must be a path relative to the program folder, for example ../site"},
      {{"config", "set", "php_folder", "/usr/bin"}, "php_folder must be a path relative"},
      {{"config", "set", "server-port", "8081"}, "the keys are exe_name, php_folder"},
      {{"config", "set", "workers", "65"}, "workers must be a whole number from 1 to 64"},
      {{"config", "set", "listen_address", "localhost"}, "listen_address must be 0.0.0.0,"},
      {{"config", "set", "php_settings", "a=1 memory_limit"}, "'memory_limit'"},
      {{"config", "set", "router", "/srv/r.php"}, "router must be a path relative"},
      {{"config", "set", "bad=key", "1"}, "unknown key"},
      {{"config", "set", "[x]", "1"}, "unknown key"},
      {{"config", "set", "a\nb", "1"}, "unknown key 'a\\nb'"},
      {{"ini", "set", config, "Config", "server_port", "8080\r\nexe_name=evil"}, "line break"},
      {{"ini", "set", config, "Config", "server_port", "8080\n"}, "line break"},
      {{"ini", "set", config, "Config", "a=b", "1"}, "'='"},
      {{"ini", "set", config, "Config", "k\r", "1"}, "line break"},
      {{"ini", "set", config, "Config", "[k", "1"}, "start with '['"},
      {{"ini", "set", config, "Config", " k", "1"}, "a blank"},
      {{"ini", "set", config, "Config", "\tk", "1"}, "a blank"},
      {{"ini", "set", config, "Con]fig", "k", "1"}, "']'"},
      {{"ini", "set", config, "Con\nfig", "k", "1"}, "line break"},
  };
  for (const Refusal& r : refused) {
    std::vector<std::string> args = r.args;
    SCOPED_TRACE(testing::PrintToString(args));
    args.insert(args.begin(), {"--folder", dir.path()});
    const CtlRun run = ctl(args);
    expectCleanFailure(run);
    EXPECT_NE(run.err.find(r.rule), std::string::npos) << run.err;
    EXPECT_EQ(readBytes(config), before);
  }
  CtlRun r = ctl({"--folder", dir.path(), "config", "set", "server_port", "65535"});
  EXPECT_EQ(r.rc, 0);
  r = ctl({"--folder", dir.path(), "config", "get", "SERVER_PORT"});
  EXPECT_EQ(r.out, "65535\n");
  EXPECT_EQ(ctl({"--folder", dir.path(), "config", "set", "Workers", "4"}).rc, 0);
  EXPECT_EQ(ctl({"--folder", dir.path(), "config", "get", "workers"}).out, "4\n");
  // An unknown key is refused on reading as on writing, with the list of keys.
  r = ctl({"--folder", dir.path(), "config", "get", "server-port"});
  expectCleanFailure(r);
  EXPECT_NE(r.err.find("the keys are exe_name, php_folder"), std::string::npos) << r.err;
  r = ctl({"--folder", dir.path(), "url"});
  EXPECT_EQ(r.out, "http://localhost:65535\n");
  ctl({"--folder", dir.path(), "config", "set", "Server_Port", "80"});  // key in any case
  EXPECT_EQ(ctl({"--folder", dir.path(), "url"}).out, "http://localhost\n");
  EXPECT_NE(readBytes(config).find("\r\nserver_port=80\r\n"), std::string::npos);
  // Names Windows cannot hold work here, and stay allowed.
  for (const char* accepted : {"site[old]", "see [docs]", "../site", "a \"b\" *?:"}) {
    EXPECT_EQ(ctl({"--folder", dir.path(), "config", "set", "root_directory", accepted}).rc, 0);
    EXPECT_EQ(ctl({"--folder", dir.path(), "config", "get", "root_directory"}).out,
              accepted + std::string("\n"));
    EXPECT_EQ(ctl({"--folder", dir.path(), "config", "get", "server_port"}).out, "80\n");
  }

  expectCleanFailure(ctl({"--folder", dir.file("missing"), "config", "get", "exe_name"}));
  expectCleanFailure(ctl({"--folder", dir.file("missing"), "status"}));
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

// Two tovanikctl processes store different keys 300 times each at once. Before each
// write a process reads its key back: anything but its own previous value is an update
// that the other process's write lost.
TEST(Ctl, TwoWritersLoseNothing) {
  TempDir dir;
  layoutProgramFolder(dir.path(), "t-server.exe", 8080);
  const std::string writer = R"(
    ctl="$1"; folder="$2"; key="$3"; prefix="$4"; previous="$5"
    for i in $(seq 1 300); do
      now=$("$ctl" --folder "$folder" config get "$key") || { echo "get failed"; exit 1; }
      [ "$now" = "$previous" ] || echo "lost: $key=$now before write $i, expected $previous"
      "$ctl" --folder "$folder" config set "$key" "$prefix$i" || { echo "set failed"; exit 1; }
      previous="$prefix$i"
    done)";
  writeBytes(dir.file("writer.sh"), writer);
  const std::string run = "bash " + quoted(dir.file("writer.sh")) + " " +
                          quoted(binDir() + "/tovanikctl") + " " + quoted(dir.path());
  const std::string both = run + " server_port 2 8080 >" + quoted(dir.file("a.out")) + " & a=$!; " +
                           run + " root_directory r www >" + quoted(dir.file("b.out")) +
                           " & b=$!; wait $a && wait $b";
  EXPECT_EQ(std::system(("bash -c " + quoted(both)).c_str()), 0);
  EXPECT_EQ(readBytes(dir.file("a.out")), "");
  EXPECT_EQ(readBytes(dir.file("b.out")), "");
  EXPECT_EQ(ctl({"--folder", dir.path(), "config", "get", "server_port"}).out, "2300\n");
  EXPECT_EQ(ctl({"--folder", dir.path(), "config", "get", "root_directory"}).out, "r300\n");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("config"))) {
    left.push_back(entry.path().filename());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".config.ini.lock", "config.ini"}));
  EXPECT_EQ(std::filesystem::status(dir.file("config/.config.ini.lock")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// The writers' lock is a 0600 file no other user can open: another user holding a lock on
// the folder, as the lock once was, or trying the lock file, blocks nothing. A writer
// that does hold it keeps tovanikctl waiting 5 s, and no longer, before it fails.
TEST(Ctl, OnlyTheWritersUserCanHoldTheLock) {
  TempDir dir;
  layoutProgramFolder(dir.path(), "t-server.exe", 8080);
  const std::string lockFile = dir.file("config/.config.ini.lock");
  const auto set = [&](const char* port) {
    return ctl({"--folder", dir.path(), "config", "set", "server_port", port});
  };
  ASSERT_EQ(set("8081").rc, 0);  // the first write makes the lock file
  if (const ThrowawayUser atk; atk.ok()) {
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all |
                                                 std::filesystem::perms::others_read |
                                                 std::filesystem::perms::others_exec);
    const std::string holdFolder = atk.runAs() + "flock -s " + quoted(dir.file("config")) +
                                   " sleep 30 >/dev/null 2>&1 & echo $! >" +
                                   quoted(dir.file("holder.pid"));
    ASSERT_EQ(std::system(holdFolder.c_str()), 0);
    EXPECT_NE(
        std::system((atk.runAs() + "flock -n " + quoted(lockFile) + " true 2>/dev/null").c_str()),
        0)
        << "another user could take the writers' lock";
    EXPECT_EQ(set("8082").rc, 0);
    EXPECT_EQ(ctl({"--folder", dir.path(), "config", "get", "server_port"}).out, "8082\n");
  }
  const int held = open(lockFile.c_str(), O_RDWR);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const auto begun = std::chrono::steady_clock::now();
  const CtlRun blocked = set("8083");
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  close(held);
  expectCleanFailure(blocked);
  EXPECT_NE(blocked.err.find("for longer than 5 s"), std::string::npos) << blocked.err;
  EXPECT_GE(waited, 4.0);
  EXPECT_LE(waited, 6.0);
  EXPECT_EQ(ctl({"--folder", dir.path(), "config", "get", "server_port"}).out.substr(0, 3), "808");
}

// A settings file over 1 MiB is refused by every command that reads it, in one line with
// its size and the limit, exit 1, and is never rewritten. A lock file that another user
// opened while it was open to them (0666, left by a loose umask) and holds locked blocks
// nothing: it is replaced. A folder in the lock file's place fails the write, naming it.
TEST(Ctl, OverLargeFilesAndForeignLockFilesAreRefusedOrReplaced) {
  TempDir dir;
  layoutProgramFolder(dir.path(), "t-server.exe", 8080);
  const std::string config = dir.file("config/config.ini");
  const std::string lockFile = dir.file("config/.config.ini.lock");
  const std::string before = readBytes(config);
  std::filesystem::resize_file(config, 2097152);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"config", "get", "server_port"},
        {"config", "set", "server_port", "8081"},
        {"start"},
        {"status"}}) {
    std::vector<std::string> all{"--folder", dir.path()};
    all.insert(all.end(), args.begin(), args.end());
    const CtlRun run = ctl(all);
    expectCleanFailure(run);
    EXPECT_EQ(run.err, "tovanikctl: cannot " +
                           std::string(args.size() > 1 && args[1] == "set" ? "write " : "read ") +
                           config +
                           ": it is 2097152 bytes, more than the 1 MiB (1048576 bytes) a "
                           "settings file may hold\n");
  }
  EXPECT_EQ(std::filesystem::file_size(config), 2097152u);
  std::filesystem::resize_file(config, before.size());
  EXPECT_EQ(readBytes(config), before);

  const auto set = [&](const char* port) {
    return ctl({"--folder", dir.path(), "config", "set", "server_port", port});
  };
  if (const ThrowawayUser atk; atk.ok()) {
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all |
                                                 std::filesystem::perms::others_read |
                                                 std::filesystem::perms::others_exec);
    writeBytes(lockFile, "");
    std::filesystem::permissions(
        lockFile, std::filesystem::perms::all & ~std::filesystem::perms::owner_exec &
                      ~std::filesystem::perms::group_exec & ~std::filesystem::perms::others_exec);
    const std::string hold = atk.runAs() + "flock -x " + quoted(lockFile) +
                             " sleep 30 >/dev/null 2>&1 & echo $! >" +
                             quoted(dir.file("holder.pid"));
    ASSERT_EQ(std::system(hold.c_str()), 0);
    ASSERT_TRUE(waitFor([&] {
      const int probe = open(lockFile.c_str(), O_RDONLY);
      const bool taken = probe >= 0 && flock(probe, LOCK_EX | LOCK_NB) != 0;
      if (probe >= 0) close(probe);
      return taken;
    }));
    const auto begun = std::chrono::steady_clock::now();
    const CtlRun replaced = set("8082");
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    EXPECT_EQ(replaced.rc, 0) << replaced.err;
    EXPECT_LT(took, 4.0);
    EXPECT_EQ(ctl({"--folder", dir.path(), "config", "get", "server_port"}).out, "8082\n");
    EXPECT_EQ(std::filesystem::status(lockFile).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  std::filesystem::remove(lockFile);
  std::filesystem::create_directory(lockFile);
  const CtlRun folder = set("8083");
  expectCleanFailure(folder);
  EXPECT_EQ(folder.err, "tovanikctl: cannot write " + config + ": lock file " + lockFile +
                            ": a folder stands in its place\n");
  EXPECT_NE(ctl({"--folder", dir.path(), "config", "get", "server_port"}).out, "8083\n");
}

// The new bytes reach the disk before the rename puts them in the file's place: a crash
// in between leaves the old file, never an empty one.
TEST(Ctl, WriteSyncsBeforeTheRename) {
  TempDir dir;
  const std::string trace = dir.file("trace");
  // LeakSanitizer cannot work under ptrace: the sanitizer build's check is left out.
  const std::string command = "ASAN_OPTIONS=detect_leaks=0 strace -f -o " + quoted(trace) +
                              " -e trace=fsync,fdatasync,rename,renameat,renameat2 " +
                              quoted(binDir() + "/tovanikctl") + " ini set " +
                              quoted(dir.file("a.ini")) + " Main key value >/dev/null 2>&1";
  if (access("/usr/bin/strace", X_OK) != 0 || std::system(command.c_str()) != 0)
    GTEST_SKIP() << "strace cannot trace here";
  const std::string traced = readBytes(trace);
  const std::size_t sync = traced.find("fsync("), rename = traced.find("rename");
  ASSERT_NE(sync, std::string::npos) << traced;
  ASSERT_NE(rename, std::string::npos) << traced;
  EXPECT_LT(sync, rename) << traced;
}

// A small tmpfs mounted on a folder for the life of the test (root only).
class SmallTmpfs {
 public:
  explicit SmallTmpfs(const std::string& where) : where_(where) {
    std::filesystem::create_directory(where);
    mounted_ = mount("tmpfs", where.c_str(), "tmpfs", 0, "size=64k,mode=0755") == 0;
  }
  ~SmallTmpfs() {
    if (mounted_) umount2(where_.c_str(), MNT_DETACH);
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  bool mounted() const { return mounted_; }
  bool remount(bool readOnly) const {
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    return mount("tmpfs", where_.c_str(), "tmpfs", flags, "size=64k,mode=0755") == 0;
  }

 private:
  std::string where_;
  bool mounted_ = false;
};

// Writes that fail for a reason the user can act on say it, exit 1 and leave the old file
// byte for byte: a full disk, a read-only file system, a folder in the file's place.
TEST(Ctl, FailedWritesSayWhyAndKeepTheFile) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  TempDir dir;
  const SmallTmpfs disk(dir.file("disk"));
  ASSERT_TRUE(disk.mounted());
  const std::string folder = dir.file("disk");
  layoutProgramFolder(folder, "t-server.exe", 8080);
  const std::string config = folder + "/config/config.ini";
  const std::string before = readBytes(config);
  const auto set = [&](const char* port) {
    return ctl({"--folder", folder, "config", "set", "server_port", port});
  };
  const auto expectRefusedBecause = [&](const CtlRun& run, const std::string& reason) {
    expectCleanFailure(run);
    EXPECT_EQ(run.err, "tovanikctl: cannot write " + config + ": " + reason + "\n");
    EXPECT_EQ(readBytes(config), before);
  };

  {  // full: fill every free block, then ask for one more
    const int fd = open((folder + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'x');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    while (write(fd, "x", 1) > 0) {
    }
    close(fd);
    expectRefusedBecause(set("9001"), "No space left on device");
    std::filesystem::remove(folder + "/filler");
  }
  ASSERT_TRUE(disk.remount(true));
  expectRefusedBecause(set("9002"), "Read-only file system");
  EXPECT_EQ(set("8080").rc, 0);  // the same bytes: nothing to write
  ASSERT_TRUE(disk.remount(false));

  std::filesystem::remove(config);
  std::filesystem::create_directory(config);
  const CtlRun run = set("9003");
  expectCleanFailure(run);
  EXPECT_EQ(run.err, "tovanikctl: cannot write " + config + ": Is a directory\n");
  const CtlRun get = ctl({"--folder", folder, "config", "get", "server_port"});
  expectCleanFailure(get);
  EXPECT_EQ(get.err, "tovanikctl: cannot read " + config + ": Is a directory\n");
  EXPECT_TRUE(std::filesystem::is_directory(config));
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder + "/config")) {
    left.push_back(entry.path().filename());
  }
  std::sort(left.begin(), left.end());
  // No temporary file stays; the writers' lock file does.
  EXPECT_EQ(left, (std::vector<std::string>{".config.ini.lock", "config.ini"}));
}

// Root given a program folder whose config.ini is a user's link to a file elsewhere
// refuses to read or write through it; the file it points to stays as it was.
TEST(Ctl, RootRefusesAUsersLink) {
  if (geteuid() != 0) GTEST_SKIP() << "the rule is root's";
  TempDir dir;
  const std::string folder = dir.file("user");
  layoutProgramFolder(folder, "t-server.exe", 8080);
  const std::string config = folder + "/config/config.ini";
  const std::string target = dir.file("outside.txt");
  writeBytes(target, "root:x:0:0\n");
  std::filesystem::remove(config);
  ASSERT_EQ(symlink(target.c_str(), config.c_str()), 0);
  ASSERT_EQ(std::system(("chown -h nobody " + quoted(config)).c_str()), 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--folder", folder, "config", "set", "server_port", "8081"},
        {"--folder", folder, "config", "get", "server_port"},
        {"ini", "set", config, "Config", "server_port", "8081"}}) {
    const CtlRun run = ctl(args);
    expectCleanFailure(run);
    // The folder's check names the link; INI files outside a program folder are checked
    // on the way to the file.
    EXPECT_TRUE(run.err.find("is owned by nobody (uid 65534)") != std::string::npos ||
                run.err.find("a symbolic link owned by uid 65534") != std::string::npos)
        << run.err;
  }
  EXPECT_EQ(readBytes(target), "root:x:0:0\n");
}

}  // namespace
}  // namespace tovanik
