// tovanikctl as a user runs it: the real binary, real files, the real PHP server on a
// free loopback port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/proc_table.h"
#include "tests/support/test_support.h"

namespace tovanik {
namespace {

using namespace test;

struct CtlRun {
  int rc;
  std::string out;
  std::string err;
};

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

CtlRun ctl(const std::vector<std::string>& args) {
  TempDir scratch;
  std::string command = quoted(binDir() + "/tovanikctl");
  for (const auto& a : args) command += " " + quoted(a);
  command += " >" + scratch.file("out") + " 2>" + scratch.file("err");
  const int status = std::system(command.c_str());
  return {WEXITSTATUS(status), readBytes(scratch.file("out")), readBytes(scratch.file("err"))};
}

// One line on stderr, nothing on stdout, exit 1.
void expectCleanFailure(const CtlRun& r) {
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "");
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

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
  r = ctl({"ini", "get", dir.file("new.ini"), "Main", "x"});  // created, value empty
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "\n");
  EXPECT_TRUE(std::filesystem::exists(dir.file("new.ini")));

  expectCleanFailure(ctl({"ini", "get", dir.file("no/such.ini"), "Main", "x"}));
  expectCleanFailure(ctl({"ini", "set", dir.file("no/such.ini"), "Main", "x", "1"}));
  EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
  expectCleanFailure(ctl({"ini", "frobnicate"}));
  expectCleanFailure(ctl({"frobnicate"}));
  expectCleanFailure(ctl({}));
  r = ctl({"--help"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("usage:"), std::string::npos);
}

TEST(Ctl, ConfigSetRefusesUnsafeValues) {
  TempDir dir;
  layoutProgramFolder(dir.path(), "t-server.exe", 8080);
  const std::string before = readBytes(dir.file("config/config.ini"));
  const std::vector<std::vector<std::string>> refused = {
      {"config", "set", "root_directory", "www\r\nexe_name=evil"},
      {"config", "set", "root_directory", "tab\there"},
      {"config", "set", "server_port", "80a"},
      {"config", "set", "server_port", ""},
      {"config", "set", "server_port", "-1"},
      {"config", "set", "bad=key", "1"},
      {"config", "set", "[x]", "1"},
  };
  for (auto args : refused) {
    SCOPED_TRACE(args[2] + "=" + args[3]);
    args.insert(args.begin(), {"--folder", dir.path()});
    expectCleanFailure(ctl(args));
    EXPECT_EQ(readBytes(dir.file("config/config.ini")), before);
  }
  CtlRun r = ctl({"--folder", dir.path(), "config", "set", "server_port", "65536"});
  EXPECT_EQ(r.rc, 0);  // digits are stored as typed, like the port box
  r = ctl({"--folder", dir.path(), "config", "get", "SERVER_PORT"});
  EXPECT_EQ(r.out, "65536\n");
  r = ctl({"--folder", dir.path(), "url"});
  EXPECT_EQ(r.out, "http://localhost:65536\n");
  ctl({"--folder", dir.path(), "config", "set", "server_port", "80"});
  EXPECT_EQ(ctl({"--folder", dir.path(), "url"}).out, "http://localhost\n");

  expectCleanFailure(ctl({"--folder", dir.file("missing"), "config", "get", "exe_name"}));
  expectCleanFailure(ctl({"--folder", dir.file("missing"), "status"}));
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

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
