// tovanikctl's settings commands (ini, config, url), run as the real binary on real files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/proc_table.h"
#include "tests/support/ctl_run.h"
#include "tests/support/test_support.h"

namespace tovanik {
namespace {

using namespace test;

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

}  // namespace
}  // namespace tovanik
