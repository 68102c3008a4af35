#pragma once
// Helpers for the tests that start real processes: what /proc says of a process, and a
// fixture that starts PHP servers under names
// unique to the test run and kills them all in TearDown.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/proc_table.h"
#include "tests/support/test_support.h"

namespace tovanik::test {

namespace fs = std::filesystem;

// Fields 4 (ppid) and 6 (session) of /proc/PID/stat, counted from the state letter.
inline std::optional<std::vector<long>> statNumbers(int pid) {
  std::string text = readBytes("/proc/" + std::to_string(pid) + "/stat");
  std::size_t close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::vector<long> numbers;
  std::istringstream rest(text.substr(close + 4));
  long value = 0;
  while (numbers.size() < 3 && rest >> value) numbers.push_back(value);
  if (numbers.size() < 3) return std::nullopt;
  return numbers;  // ppid, process group, session
}

inline std::vector<std::string> cmdlineOf(int pid) {
  std::string text = readBytes("/proc/" + std::to_string(pid) + "/cmdline");
  std::vector<std::string> args;
  std::size_t start = 0;
  for (std::size_t nul; (nul = text.find('\0', start)) != std::string::npos; start = nul + 1)
    args.push_back(text.substr(start, nul - start));
  return args;
}

inline std::vector<std::string> descriptorTargets(int pid) {
  std::vector<std::string> targets;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
    targets.push_back(fs::read_symlink(entry.path(), error).string());
  return targets;
}

inline char stateOf(int pid) {
  auto stat = parseProcStat(readBytes("/proc/" + std::to_string(pid) + "/stat"));
  return stat ? stat->state : '?';
}

inline bool hasNoChildren() {
  int status = 0;
  return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

inline std::string upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// Real processes under names unique to this run, so parallel test runs and servers
// that a developer keeps running are never touched. Everything started is killed in
// TearDown, whether the test passed or not.
class LiveProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    php_ = phpBinary();
    if (php_.empty()) GTEST_SKIP() << "php is not installed";
    fs::create_directory(dir_.file("php"));
  }

  void TearDown() override {
    for (pid_t child : children_) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    }
    for (const std::string& name : started_names_) {
      killProcessesByImageName(name);
      EXPECT_TRUE(waitFor([&] { return findProcessesByImageName(name).empty(); })) << name;
    }
  }

  std::string uniqueName(const std::string& stem) {
    std::string name = stem + std::to_string(::getpid()) + ".exe";
    started_names_.push_back(name);
    return name;
  }

  std::string linkToPhp(const std::string& name) {
    std::string link = dir_.file("php/" + name);
    fs::create_symlink(php_, link);
    if (std::find(started_names_.begin(), started_names_.end(), name) == started_names_.end())
      started_names_.push_back(name);
    return link;
  }

  std::string documentRoot(const std::string& folder = "www") {
    std::string root = dir_.file(folder);
    fs::create_directory(root);
    test::writeBytes(root + "/index.php", "<?php echo 'ok';");
    return root;
  }

  static std::vector<std::string> serverArgv(const std::string& exe, int port,
                                             const std::string& root) {
    return {exe, "-S", "127.0.0.1:" + std::to_string(port), "-t", root};
  }

  static bool answers(int port) {
    return waitFor([&] { return httpStatus(port) == 200; });
  }
  static bool silent(int port) {
    return waitFor([&] { return httpStatus(port) == 0; });
  }

  std::string php_;
  TempDir dir_;
  std::vector<std::string> started_names_;
  std::vector<pid_t> children_;
};

}  // namespace tovanik::test
