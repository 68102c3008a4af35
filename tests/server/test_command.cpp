// The server's argument vector, its command line as text and the console mode.
#include <gtest/gtest.h>

#include "server/command.h"

namespace tovanik {
namespace {

TEST(ServerCommand, ComposedPieceByPiece) {
  struct Case {
    ServerSettings s;
    const char* line;
  };
  const Case cases[] = {
      {{"t-server.exe", "php", "80", "tovanik", "hide"},
       R"("/opt/Some Folder/php/t-server.exe" -S 0.0.0.0:80 -t "/opt/Some Folder/tovanik")"},
      {{"t-server.exe", "php", "", "tovanik", "hide"},
       R"("/opt/Some Folder/php/t-server.exe" -S 0.0.0.0: -t "/opt/Some Folder/tovanik")"},
      {{"a\"b.exe", "p/", "8080", "r\"", "show"},
       R"("/opt/Some Folder/p//a"b.exe" -S 0.0.0.0:8080 -t "/opt/Some Folder/r"")"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(serverCommandLine("/opt/Some Folder", c.s), c.line);
    const auto argv = serverArgv("/opt/Some Folder", c.s);
    ASSERT_EQ(argv.size(), 5u);
    EXPECT_EQ(argv[2], "0.0.0.0:" + c.s.serverPort);
    EXPECT_EQ(argv[4], "/opt/Some Folder/" + c.s.rootDirectory);
  }
  EXPECT_EQ(consoleModeFor("hide"), ConsoleMode::Hidden);
  for (const char* shown : {"show", "", "Hide", "hide "})
    EXPECT_EQ(consoleModeFor(shown), ConsoleMode::Shown) << shown;
}

}  // namespace
}  // namespace tovanik
