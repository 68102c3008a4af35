// The program folder as shipped: `cmake --install` lays it out (keeping a user's settings),
// and the tarball from cpack, unpacked under a path with a blank, runs as it is.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/linux/proc_table.h"
#include "tests/support/ctl_run.h"
#include "tests/support/test_support.h"

namespace tovanik::test {
namespace {

namespace fs = std::filesystem;

void expectProgramFolder(const std::string& folder) {
  for (const char* program : {"tovanik-webserver", "tovanikctl"})
    EXPECT_EQ(::access((folder + "/" + program).c_str(), X_OK), 0) << program;
  for (const char* file : {"config/config.ini", "tovanik/index.php", "README.md",
                           "front-controller.php",
                           "icons/hicolor/scalable/apps/tovanik-webserver.svg",
                           "icons/hicolor/256x256/apps/tovanik-webserver.png"})
    EXPECT_TRUE(fs::is_regular_file(folder + "/" + file)) << file;
  const std::string php = folder + "/php/t-server.exe";
  EXPECT_TRUE(fs::is_symlink(php));
  EXPECT_EQ(::access(php.c_str(), X_OK), 0) << "the link does not reach an executable php";
}

TEST(Install, LaysOutTheFolderAndKeepsTheUsersSettings) {
  TempDir scratch;
  const std::string folder = scratch.file("program folder");
  ASSERT_EQ(runProgram("cmake", {"--install", binDir(), "--prefix", folder}).rc, 0);
  expectProgramFolder(folder);

  writeBytes(folder + "/config/config.ini", "[Config]\r\nserver_port=9\r\n");
  writeBytes(folder + "/tovanik/index.php", "mine");
  const CtlRun again = runProgram("cmake", {"--install", binDir(), "--prefix", folder});
  ASSERT_EQ(again.rc, 0) << again.err;
  EXPECT_EQ(readBytes(folder + "/config/config.ini"), "[Config]\r\nserver_port=9\r\n");
  EXPECT_EQ(readBytes(folder + "/tovanik/index.php"), "mine");
}

class Tarball : public ::testing::Test {
 protected:
  void TearDown() override {
    if (!exeName_.empty()) killProcessesByImageName(exeName_);
  }
  TempDir scratch_;
  std::string exeName_;
};

TEST_F(Tarball, UnpackedUnderABlankServesTheWelcomePage) {
  const std::string out = scratch_.file("out");
  const CtlRun packed =
      runProgram("cpack", {"-G", "TGZ", "--config", binDir() + "/CPackConfig.cmake", "-B", out});
  ASSERT_EQ(packed.rc, 0) << packed.out << packed.err;

  std::string tarball;
  for (const auto& entry : fs::directory_iterator(out))
    if (entry.path().string().ends_with(".tar.gz")) tarball = entry.path().filename().string();
  // tovanik-VERSION-linux-ARCH.tar.gz, unpacking into tovanik-VERSION-linux-ARCH/.
  const std::string stem = tarball.substr(0, tarball.size() - std::string(".tar.gz").size());
  const std::size_t platformAt = stem.find("-linux-");
  ASSERT_TRUE(stem.starts_with("tovanik-") && platformAt != std::string::npos &&
              platformAt > 8 && stem.find_first_not_of("0123456789.", 8) == platformAt &&
              platformAt + 7 < stem.size() &&
              stem.find_first_of("/ .", platformAt) == std::string::npos)
      << tarball;

  const std::string unpacked = scratch_.file("un packed");
  fs::create_directory(unpacked);
  ASSERT_EQ(runProgram("tar", {"-xzf", out + "/" + tarball, "-C", unpacked}).rc, 0);
  const std::string folder = unpacked + "/" + stem;
  expectProgramFolder(folder);

  // The shipped server name, t-server.exe, may be in use by other programs on this machine,
  // and `stop` stops every process of the name: the link gets a name unique to this run.
  exeName_ = "pkg" + std::to_string(::getpid()) + ".exe";
  fs::rename(folder + "/php/t-server.exe", folder + "/php/" + exeName_);
  const std::string ctl = folder + "/tovanikctl";
  const int port = freePort();
  ASSERT_EQ(runProgram(ctl, {"config", "set", "exe_name", exeName_}).rc, 0);
  ASSERT_EQ(runProgram(ctl, {"config", "set", "server_port", std::to_string(port)}).rc, 0);

  const CtlRun started = runProgram(ctl, {"start"});
  ASSERT_EQ(started.rc, 0) << started.err;
  EXPECT_TRUE(waitFor([&] { return httpStatus(port) == 200; }));
  const CtlRun stopped = runProgram(ctl, {"stop"});
  EXPECT_EQ(stopped.rc, 0) << stopped.err;
  EXPECT_TRUE(waitFor([&] { return httpStatus(port) == 0; }));
  EXPECT_TRUE(findProcessesByImageName(exeName_).empty());
}

}  // namespace
}  // namespace tovanik::test
