// The main of every GoogleTest program: the environment the tests expect (the offscreen Qt
// platform), and user folders of its own. Each program (under ctest, each test case) points
// the folders where our programs keep state, locks and menu entries (HOME, XDG_STATE_HOME,
// XDG_RUNTIME_DIR, XDG_DATA_HOME, XDG_CONFIG_HOME (autostart); on Windows LOCALAPPDATA and APPDATA) into a temporary
// folder removed when it ends, so no test writes into the user's real ones, even when run
// by hand. binDir() and sourceDir() know their folders from the build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/windows/wide_text.h"
#endif

namespace {

struct UserFolder {
  const char* variable;
  const char* name;
};

#ifdef _WIN32
constexpr UserFolder kUserFolders[] = {{"LOCALAPPDATA", "local"}, {"APPDATA", "roaming"}};
#else
constexpr UserFolder kUserFolders[] = {{"HOME", "home"},
                                       {"XDG_STATE_HOME", "state"},
                                       {"XDG_RUNTIME_DIR", "runtime"},
                                       {"XDG_DATA_HOME", "data"},
                                       {"XDG_CONFIG_HOME", "config"}};
#endif

void pointInto(const tovanik::test::TempDir& own) {
  for (const UserFolder& folder : kUserFolders) {
    const std::string path = own.file(folder.name);
    std::filesystem::create_directory(path);
    // Private, as a runtime folder must be: the single-copy lock uses it only then.
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
#ifdef _WIN32
    SetEnvironmentVariableW(tovanik::windows::utf16(folder.variable).c_str(),
                            tovanik::windows::utf16(path).c_str());
#else
    ::setenv(folder.variable, path.c_str(), 1);
#endif
  }
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
  const tovanik::test::TempDir own;
  pointInto(own);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
