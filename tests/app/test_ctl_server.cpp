// tovanikctl's server commands, run as the real binary against the real PHP server on a
// free loopback port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "platform/proc_table.h"
#include "tests/support/ctl_run.h"
#include "tests/support/test_support.h"

namespace tovanik {
namespace {

using namespace test;

class CtlServer : public ::testing::Test {
 protected:
  void SetUp() override { layoutProgramFolder(dir.path(), exeName, port); }
  void TearDown() override { killProcessesByImageName(exeName); }
  CtlRun run(const char* command) { return ctl({"--folder", dir.path(), command}); }

  TempDir dir;
  // A name of its own, so these tests never touch another server.
  const std::string exeName = "ctl" + std::to_string(getpid()) + ".exe";
  const int port = freePort();
};

TEST_F(CtlServer, StartStatusStopRestart) {
  CtlRun r = run("status");
  EXPECT_EQ(r.rc, 3);
  EXPECT_EQ(r.out, "stopped\nport " + std::to_string(port) + ": not listening\n");

  r = run("start");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(httpStatus(port), 200);
  const auto pids = findProcessesByImageName(exeName);
  ASSERT_EQ(pids.size(), 1u);

  r = run("status");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "running " + std::to_string(pids[0]) + "\nport " + std::to_string(port) +
                       ": listening (server)\n");

  EXPECT_EQ(run("start").rc, 0);  // already running: no second server
  EXPECT_EQ(findProcessesByImageName(exeName), pids);

  EXPECT_EQ(run("restart").rc, 0);
  EXPECT_EQ(httpStatus(port), 200);
  const auto restarted = findProcessesByImageName(exeName);
  ASSERT_EQ(restarted.size(), 1u);
  EXPECT_NE(restarted, pids);

  EXPECT_EQ(run("stop").rc, 0);
  EXPECT_TRUE(findProcessesByImageName(exeName).empty());
  EXPECT_EQ(httpStatus(port), 0);
  EXPECT_EQ(run("stop").rc, 0);  // nothing to stop is fine
}

TEST_F(CtlServer, StartSaysWhyItFailed) {
  // Port taken by another program: this test holds it.
  int holder = socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  CtlRun r = run("start");
  expectCleanFailure(r);
  EXPECT_NE(r.err.find("taken by"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("pid " + std::to_string(getpid())), std::string::npos) << r.err;
  r = run("status");
  EXPECT_EQ(r.rc, 3);
  EXPECT_NE(r.out.find("held by another program"), std::string::npos) << r.out;
  close(holder);
  EXPECT_TRUE(waitFor([&] { return findProcessesByImageName(exeName).empty(); }));

  // The document root does not exist: PHP refuses and exits at once.
  EXPECT_EQ(ctl({"--folder", dir.path(), "config", "set", "root_directory", "nowhere"}).rc, 0);
  r = run("start");
  expectCleanFailure(r);
  EXPECT_NE(r.err.find("exited"), std::string::npos) << r.err;

  // The executable is missing.
  std::filesystem::remove(dir.file("php/" + exeName));
  r = run("start");
  expectCleanFailure(r);
  EXPECT_NE(r.err.find("missing"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace tovanik
