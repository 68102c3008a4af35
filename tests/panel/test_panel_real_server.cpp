// The panel's server control on the real platform: real PHP, real process table,
// awkward names and folders, checked with HTTP requests.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "panel/panel.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/proc_table.h"
#include "server/output_log.h"
#include "tests/support/no_view.h"
#include "tests/support/test_support.h"
#include "tests/support/system_log.h"

namespace tovanik {
namespace {

using namespace test;

// The real Linux platform, every process call and the tick's presence check included,
// with the program folder of a test and nothing opened on the desktop.
class FolderPlatform final : public LinuxPlatform {
 public:
  explicit FolderPlatform(std::string folder) : folder_(std::move(folder)) {}
  std::string programFolder() const override { return folder_; }
  Opening openUrl(const std::string&) override { return {}; }
  Opening openTextFile(const std::string&) override { return {}; }
  Opening openFolder(const std::string&) override { return {}; }

 private:
  std::string folder_;
};

std::vector<std::string> cmdline(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string arg;
  while (std::getline(in, arg, '\0')) args.push_back(arg);
  return args;
}

struct Names {
  const char* what;
  std::string exe;
  std::string phpFolder;
  std::string root;
};

class RealServer : public ::testing::TestWithParam<Names> {
 protected:
  void TearDown() override { killProcessesByImageName(GetParam().exe); }
  TempDir dir;
};

TEST_P(RealServer, StartFindStopWithAwkwardNames) {
  const Names& n = GetParam();
  const int port = freePort();
  namespace fs = std::filesystem;
  fs::create_directories(dir.file("config"));
  fs::create_directories(dir.file(n.phpFolder));
  fs::create_directories(dir.file(n.root));
  fs::create_symlink(phpBinary(), dir.file(n.phpFolder + "/" + n.exe));
  writeBytes(dir.file(n.root + "/index.php"), "<?php echo 'ok';\n");
  writeBytes(dir.file("config/config.ini"),
             "[Config]\r\ncommand_prompt=hide\r\nserver_port=" + std::to_string(port) +
                 "\r\nroot_directory=" + n.root + "\r\nphp_folder=" + n.phpFolder +
                 "\r\nexe_name=" + n.exe + "\r\n");
  FolderPlatform platform(dir.path());
  NoView view;
  Panel panel(platform, view);

  panel.startPHP();
  ASSERT_TRUE(waitFor([&] { return httpStatus(port) == 200; })) << n.what;
  const auto pids = findProcessesByImageName(n.exe);
  ASSERT_EQ(pids.size(), 1u);
  const std::vector<std::string> expected{dir.file(n.phpFolder + "/" + n.exe), "-S",
                                          "0.0.0.0:" + std::to_string(port), "-t",
                                          dir.file(n.root)};
  EXPECT_EQ(cmdline(pids[0]), expected);

  panel.statusTick();
  EXPECT_TRUE(panel[Ctl::shapeOn].visible);
  // Seen running: whatever ends it later, it did not end at once.
  EXPECT_EQ(test::systemLog().readLastRun(test::systemLog().outputLogPath(dir.path()))->note, "server running");
  panel.startPHP();  // finds it: no second server
  EXPECT_EQ(findProcessesByImageName(n.exe), pids);

  // A restart ends the old server and starts a new one after the pause.
  panel.restartServer();
  ASSERT_TRUE(waitFor([&] { return httpStatus(port) == 200; }));
  const auto restarted = findProcessesByImageName(n.exe);
  ASSERT_EQ(restarted.size(), 1u);
  EXPECT_NE(restarted, pids);

  panel.killPHP();
  EXPECT_TRUE(waitFor([&] { return findProcessesByImageName(n.exe).empty(); }));
  EXPECT_EQ(httpStatus(port), 0);
  // The stop is noted in the log, so the launch is not taken for one that ended at once.
  EXPECT_EQ(test::systemLog().readLastRun(test::systemLog().outputLogPath(dir.path()))->note, "server stopped");
  panel.statusTick();
  EXPECT_TRUE(panel[Ctl::shapeOff].visible);
  EXPECT_TRUE(panel[Ctl::txtPort].enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RealServer,
    ::testing::Values(Names{"quote and blanks", "t'q\"x e.exe", "php dir", "web root"},
                      Names{"non-ASCII", "t\xc3\xb6v\xc3\xa9.exe", "p'h\"p", "r o o t"},
                      Names{"longer than 15 bytes", "a-rather-long-server.exe", "php", "www"}),
    [](const auto& info) {
      std::string name;
      for (char c : std::string(info.param.what))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST(RealServerFaults, MissingExecutableAndVanishingConfig) {
  TempDir dir;
  const std::string exe = "gone" + std::to_string(getpid()) + ".exe";
  layoutProgramFolder(dir.path(), exe, freePort());
  std::filesystem::remove(dir.file("php/" + exe));
  FolderPlatform platform(dir.path());
  NoView view;
  Panel panel(platform, view);
  panel.startPHP();  // nothing to start: no message, nothing found
  panel.statusTick();
  EXPECT_TRUE(panel[Ctl::shapeOff].visible);
  EXPECT_TRUE(findProcessesByImageName(exe).empty());

  // Now a server runs; then the configuration folder disappears.
  layoutProgramFolder(dir.path(), exe, freePort());
  panel.startPHP();
  ASSERT_TRUE(waitFor([&] { return !findProcessesByImageName(exe).empty(); }));
  panel.statusTick();
  EXPECT_TRUE(panel[Ctl::shapeOn].visible);
  std::filesystem::remove_all(dir.file("config"));
  panel.statusTick();
  EXPECT_TRUE(panel[Ctl::shapeOff].visible);
  killProcessesByImageName(exe);
}

TEST(RealServerFaults, PortTakenByAnotherProgram) {
  TempDir dir;
  const std::string exe = "busy" + std::to_string(getpid()) + ".exe";
  const int port = freePort();
  layoutProgramFolder(dir.path(), exe, port);
  // This test holds the port on all interfaces, as another program would.
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(holder, 1), 0);

  FolderPlatform platform(dir.path());
  NoView view;
  Panel panel(platform, view);
  panel.startPHP();
  // Nothing is launched onto it; the switch's tooltip names the holder.
  EXPECT_EQ(panel.why().rfind("port " + std::to_string(port) + " is taken by ", 0), 0u)
      << panel.why();
  EXPECT_FALSE(std::filesystem::exists(test::systemLog().outputLogPath(dir.path())));
  panel.statusTick();
  EXPECT_TRUE(panel[Ctl::shapeOff].visible);
  EXPECT_TRUE(panel[Ctl::txtPort].enabled);
  close(holder);
  killProcessesByImageName(exe);
}

}  // namespace
}  // namespace tovanik
