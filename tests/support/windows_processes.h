#pragma once
// Helpers for the Windows backend's tests: whether they run under Wine, and a fixture with
// a program folder whose path holds blanks and non-ASCII letters, served by the stand-in
// server (tests/windows/stand_in_server.cpp) under a name unique to this test program,
// whose processes are all ended in TearDown.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "server/output_log.h"
#include "platform/windows/windows_platform.h"
#include "server/command.h"
#include "tests/support/test_support.h"
#include "tests/support/system_log.h"

namespace tovanik::test {

// Wine names itself through ntdll; Windows has no such export.
inline bool underWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

inline std::string upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

class StandInServer : public ::testing::Test {
 protected:
  void SetUp() override {
    layoutProgramFolder(folder, exeName, port);
    // The log's folder, as the server control's first mark makes it.
    const std::string path = log();
    platform.logFiles().makeFolders(path.substr(0, path.find_last_of("\\/")));
  }
  void TearDown() override {
    platform.killProcesses(exeName);
    EXPECT_TRUE(waitFor([&] { return platform.findProcesses(exeName).empty(); })) << exeName;
  }

  ServerSettings settings() const { return {exeName, "php", std::to_string(port), "www", "hide"}; }
  std::string log() const { return test::systemLog().outputLogPath(folder); }

  TempDir scratch;
  // "C:\Users\Zoë\My Apps\Tovanik" in kind: a blank and a letter outside ASCII.
  std::string folder = scratch.file("Zo\xC3\xAB/My Apps/Tovanik");
  std::string exeName = "t-server-" + std::to_string(GetCurrentProcessId()) + ".exe";
  int port = freePort();
  WindowsPlatform platform;
};

}  // namespace tovanik::test
