#pragma once
// A program folder for the tests of the server's life on the recording platform: its
// settings, its server's file, the servers' logs in a folder of the test's own, and the
// processes the rows put in the platform's table. The server layer's tables and the front
// ends' rows use the same scene.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "platform/path_text.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_support.h"

namespace tovanik::test {

// A program folder that is not the test's, and its server's path, as the system writes them.
#ifdef _WIN32
const std::string kElsewhere = "C:\\elsewhere";
#else
const std::string kElsewhere = "/elsewhere";
#endif
const std::string kElsewhereServer = joinPath(joinPath(kElsewhere, "php"), "t-server.exe");

// Where the servers' logs go: a folder of the test's own.
#ifdef _WIN32
constexpr const char* kLogBase = "LOCALAPPDATA";
#else
constexpr const char* kLogBase = "XDG_STATE_HOME";
#endif

class ServerScene : public ::testing::Test {
 public:  // the rows' set-ups use these
  void SetUp() override {
    for (const char* folder : {"config", "php", "www", "not-a-program.exe"})
      std::filesystem::create_directory(dir.file(folder));
    for (const char* file : {"php/t-server.exe", "plain.txt", "www/index.php"})
      writeBytes(dir.file(file), "");
    std::filesystem::permissions(dir.file("php/t-server.exe"), std::filesystem::perms::owner_all);
    configure({});
  }
  void configure(const std::map<std::string, std::string>& changed) {
    std::map<std::string, std::string> keys{{"command_prompt", "hide"},
                                            {"server_port", "8080"},
                                            {"root_directory", "www"},
                                            {"php_folder", "php"},
                                            {"exe_name", "t-server.exe"}};
    for (const auto& [key, value] : changed) keys[key] = value;
    std::string text = "[Config]\r\n";
    for (const auto& [key, value] : keys) text += key + "=" + value + "\r\n";
    writeBytes(dir.file("config/config.ini"), text);
  }
  FakePlatform fresh() const {
    FakePlatform p;
    p.program_folder_ = dir.path();
    p.launch_into_table_ = true;
    return p;
  }
  // A server process of this folder (or started as `path`) listening on 8080.
  FakePlatform::Process server(int group, std::string path = "") const {
    FakePlatform::Process p;
    p.name = "t-server.exe";
    p.group = group;
    p.port = 8080;
    p.arguments = {path.empty() ? dir.file("php/t-server.exe") : path, "-S", "0.0.0.0:8080"};
    return p;
  }
  // Another program of the caller's user.
  static FakePlatform::Process process(const std::string& name, int parent, int group, int port) {
    FakePlatform::Process p;
    p.name = name;
    p.parent = parent;
    p.group = group;
    p.port = port;
    p.arguments = {name};
    return p;
  }
  static std::set<int> endedIn(const FakePlatform& p, const std::set<int>& before) {
    std::set<int> ended;
    for (const auto& [pid, process] : p.table_)
      if (!p.alive(process) && (before.count(pid) || pid >= 100)) ended.insert(pid);
    return ended;
  }

  TempDir dir, state;
  ScopedEnv stateHome{kLogBase, state.path().c_str()};
};

}  // namespace tovanik::test
