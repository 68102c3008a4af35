// The main of every GoogleTest program: the environment the tests expect (the offscreen
// Qt platform, the servers' logs inside the build folder), set only where the caller has
// not set it, so a test program run by hand behaves as under ctest. binDir() and
// sourceDir() know their folders from the build. On Windows the logs go below
// %LOCALAPPDATA%, which the system always sets: the tests point it into the build folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/windows/wide_text.h"
#endif

int main(int argc, char** argv) {
  std::string build = TOVANIK_TEST_BUILD_DIR;
#ifdef _WIN32
  for (char& c : build)
    if (c == '/') c = '\\';
  SetEnvironmentVariableW(L"LOCALAPPDATA", tovanik::windows::utf16(build + "\\test-state").c_str());
#else
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("XDG_STATE_HOME", (build + "/test-state").c_str(), 0);
#endif
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
