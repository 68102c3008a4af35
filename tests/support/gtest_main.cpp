// The main of every GoogleTest program: the environment the tests expect (the offscreen
// Qt platform, the servers' logs inside the build folder), set only where the caller has
// not set it, so a test program run by hand behaves as under ctest. binDir() and
// sourceDir() know their folders from the build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const std::string build = TOVANIK_TEST_BUILD_DIR;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("XDG_STATE_HOME", (build + "/test-state").c_str(), 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
