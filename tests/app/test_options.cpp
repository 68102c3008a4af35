// --help, --version and unknown options of both programs, run as a user would without any
// display: they answer, start no server and take no single-copy lock.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "platform/linux/proc_table.h"
#include "tests/support/ctl_run.h"
#include "tests/support/test_support.h"

namespace tovanik::test {
namespace {

namespace fs = std::filesystem;

struct OptionCase {
  const char* program;
  std::vector<std::string> args;
  int rc;
  const char* stdoutStart;  // the expected start of stdout, "" for none
};

void PrintTo(const OptionCase& c, std::ostream* os) {
  *os << c.program;
  for (const auto& a : c.args) *os << ' ' << a;
}

// The version in project(VERSION) of CMakeLists.txt: what both programs must print.
std::string projectVersion() {
  const std::string cmake = readBytes(sourceDir() + "/CMakeLists.txt");
  const std::string key = "project(tovanik VERSION ";
  const std::size_t at = cmake.find(key);
  if (at == std::string::npos) return "?";
  const std::size_t begin = at + key.size();
  const std::size_t end = cmake.find_first_not_of("0123456789.", begin);
  return end == begin ? "?" : cmake.substr(begin, end - begin);
}

class ProgramFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    // A program folder of its own, whose server (if anything started it) has a name and port
    // nothing else uses; both programs are copied in, since each finds its folder from its
    // own path.
    exeName_ = "opt" + std::to_string(::getpid()) + ".exe";
    port_ = freePort();
    layoutProgramFolder(dir_.path(), exeName_, port_);
    for (const char* program : {"tovanik-webserver", "tovanikctl"})
      fs::copy_file(binDir() + "/" + program, dir_.file(program));
    fs::create_directory(dir_.file("runtime"));
    fs::create_directory(dir_.file("tmp"));
  }
  void TearDown() override { killProcessesByImageName(exeName_); }

  CtlRun run(const OptionCase& c) {
    // `timeout` ends a panel that wrongly starts (ctest offers it the offscreen platform).
    std::vector<std::string> args{"20", dir_.file(c.program)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    return runProgram("timeout", args,
                      {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                       "XDG_RUNTIME_DIR=" + dir_.file("runtime"), "TMPDIR=" + dir_.file("tmp")});
  }

  TempDir dir_;
  std::string exeName_;
  int port_ = 0;
};

class Options : public ProgramFolder, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(Options, AnswerWithoutDisplayServerOrLock) {
  const OptionCase& c = GetParam();
  const CtlRun r = run(c);
  EXPECT_EQ(r.rc, c.rc) << r.err;
  if (c.rc == 0) {
    EXPECT_EQ(r.out.rfind(c.stdoutStart, 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
    EXPECT_EQ(r.err.rfind(std::string(c.program) + ": ", 0), 0u) << r.err;
  }
  EXPECT_TRUE(findProcessesByImageName(exeName_).empty());
  EXPECT_EQ(httpStatus(port_), 0);
  EXPECT_TRUE(fs::is_empty(dir_.file("runtime")));
  EXPECT_TRUE(fs::is_empty(dir_.file("tmp")));
}

// Run as root, the panel refuses a folder another user owns, as tovanikctl does: one line,
// exit 1, no server, no window.
TEST_F(ProgramFolder, RootPanelRefusesAnotherUsersFolder) {
  const ThrowawayUser atk;
  if (!atk.ok()) GTEST_SKIP() << "needs root and useradd to make another user";
  atk.own(dir_.file("www"));
  const CtlRun r = run({"tovanik-webserver", {"-platform", "offscreen"}, 1, ""});
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.err, "tovanik-webserver: refusing, as root, to use " + dir_.file("www") +
                       ": owned by " + atk.name() + " (uid " + std::to_string(atk.uid()) +
                       ")\n");
  EXPECT_TRUE(findProcessesByImageName(exeName_).empty());
}

const std::string kPanelVersion = "tovanik-webserver " + projectVersion() + "\n";
const std::string kCtlVersion = "tovanikctl " + projectVersion() + "\n";

INSTANTIATE_TEST_SUITE_P(
    BothPrograms, Options,
    ::testing::Values(
        OptionCase{"tovanik-webserver", {"--help"}, 0, "usage: tovanik-webserver"},
        OptionCase{"tovanik-webserver", {"-h"}, 0, "usage: tovanik-webserver"},
        OptionCase{"tovanik-webserver", {"--version"}, 0, kPanelVersion.c_str()},
        // Qt's own options, with their values, pass through to Qt.
        OptionCase{
            "tovanik-webserver", {"-platform", "offscreen", "--version"}, 0, kPanelVersion.c_str()},
        OptionCase{"tovanik-webserver",
                   {"--platform", "xcb", "-display", ":99", "--help"},
                   0,
                   "usage: tovanik-webserver"},
        OptionCase{"tovanik-webserver",
                   {"-style=fusion", "-reverse", "--version"},
                   0,
                   kPanelVersion.c_str()},
        OptionCase{"tovanik-webserver", {"--bogus"}, 2, ""},
        OptionCase{"tovanik-webserver", {"-platform"}, 2, ""},  // value missing
        OptionCase{"tovanik-webserver", {"stray"}, 2, ""},
        OptionCase{"tovanikctl", {"--help"}, 0, "usage: tovanikctl"},
        OptionCase{"tovanikctl", {"--version"}, 0, kCtlVersion.c_str()},
        OptionCase{"tovanikctl", {"--folder", "/nonexistent", "--version"}, 0, kCtlVersion.c_str()},
        OptionCase{"tovanikctl", {"--bogus"}, 2, ""},
        OptionCase{"tovanikctl", {"--folder"}, 2, ""}));

// Both programs print one version, the one this build was configured with (as the build's
// CMake cache records it), not a number written into either of them.
TEST_F(ProgramFolder, BothProgramsPrintTheVersionOfTheirBuild) {
  const std::string cache = readBytes(binDir() + "/CMakeCache.txt");
  const std::string entry = "CMAKE_PROJECT_VERSION:STATIC=";
  const std::size_t at = cache.find(entry);
  ASSERT_NE(at, std::string::npos);
  const std::string built =
      cache.substr(at + entry.size(), cache.find('\n', at) - at - entry.size());
  for (const char* program : {"tovanik-webserver", "tovanikctl"}) {
    const CtlRun r = run({program, {"--version"}, 0, ""});
    EXPECT_EQ(r.rc, 0) << program;
    EXPECT_EQ(r.out, std::string(program) + " " + built + "\n");
  }
}

// Qt's options reach Qt: without any display, -platform offscreen is what lets the panel run
// (and launch its server) instead of aborting.
TEST_F(ProgramFolder, QtOptionsReachQt) {
  const std::string pidFile = dir_.file("panel.pid");
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                              quoted("XDG_RUNTIME_DIR=" + dir_.file("runtime")) + " " +
                              quoted(dir_.file("tovanik-webserver")) +
                              " -platform offscreen >/dev/null 2>&1 & echo $! >" + quoted(pidFile);
  ASSERT_EQ(std::system(command.c_str()), 0);
  const pid_t panel = std::stoi(readBytes(pidFile));
  EXPECT_TRUE(waitFor([&] { return httpStatus(port_) == 200; }));
  ::kill(panel, SIGKILL);
}

// A settings file over 1 MiB: the panel says so in one line, with its size and the limit,
// runs on without reading it, and writes nothing to it (no defaults appended).
TEST_F(ProgramFolder, PanelSaysItsSettingsFileIsTooLarge) {
  const std::string config = dir_.file("config/config.ini");
  const std::string before = "[Config]\r\nserver_port=" + std::to_string(port_) + "\r\n";
  writeBytes(config, before);  // no command_prompt: the defaults would be appended
  fs::resize_file(config, 2097152);
  const std::string errFile = dir_.file("panel.err"), pidFile = dir_.file("panel.pid");
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                              quoted("XDG_RUNTIME_DIR=" + dir_.file("runtime")) + " " +
                              quoted(dir_.file("tovanik-webserver")) +
                              " -platform offscreen >/dev/null 2>" + quoted(errFile) +
                              " & echo $! >" + quoted(pidFile);
  ASSERT_EQ(std::system(command.c_str()), 0);
  const pid_t panel = std::stoi(readBytes(pidFile));
  const std::string line = "tovanik-webserver: cannot read " + config +
                           ": it is 2097152 bytes, more than the 1 MiB (1048576 bytes) a "
                           "settings file may hold\n";
  EXPECT_TRUE(waitFor([&] { return readBytes(errFile).rfind(line, 0) == 0; }, 5))
      << readBytes(errFile);
  EXPECT_EQ(readBytes(errFile).find("settings file", line.size()), std::string::npos);
  EXPECT_EQ(::kill(panel, 0), 0) << "the panel did not run on";
  ::kill(panel, SIGKILL);
  EXPECT_EQ(fs::file_size(config), 2097152u);
  EXPECT_EQ(readBytes(config).substr(0, before.size()), before);
  EXPECT_EQ(httpStatus(port_), 0);
}

}  // namespace
}  // namespace tovanik::test
