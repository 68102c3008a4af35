// The server's argument vector, its command line as text and the console mode.
#include <gtest/gtest.h>

#include "server/command.h"

namespace tovanik {
namespace {

// Paths joined with the system's separator; values put in as they are.
TEST(ServerCommand, ComposedPieceByPiece) {
  struct Case {
    ServerSettings s;
    const char* line;
    const char* root;  // argv[4]
  };
#ifdef _WIN32
  const std::string folder = "C:\\Users\\Zoë\\My Apps";
  const Case cases[] = {
      {{"t-server.exe", "php", "80", "tovanik", "hide"},
       R"("C:\Users\Zoë\My Apps\php\t-server.exe" -S 0.0.0.0:80 -t "C:\Users\Zoë\My Apps\tovanik")",
       "C:\\Users\\Zoë\\My Apps\\tovanik"},
      {{"t-server.exe", "php", "", "tovanik", "hide"},
       R"("C:\Users\Zoë\My Apps\php\t-server.exe" -S 0.0.0.0: -t "C:\Users\Zoë\My Apps\tovanik")",
       "C:\\Users\\Zoë\\My Apps\\tovanik"},
      {{"a\"b.exe", "p\\", "8080", "r\\", "show"},
       R"("C:\Users\Zoë\My Apps\p\\a"b.exe" -S 0.0.0.0:8080 -t "C:\Users\Zoë\My Apps\r\")",
       "C:\\Users\\Zoë\\My Apps\\r\\"},
  };
#else
  const std::string folder = "/opt/Some Folder";
  const Case cases[] = {
      {{"t-server.exe", "php", "80", "tovanik", "hide"},
       R"("/opt/Some Folder/php/t-server.exe" -S 0.0.0.0:80 -t "/opt/Some Folder/tovanik")",
       "/opt/Some Folder/tovanik"},
      {{"t-server.exe", "php", "", "tovanik", "hide"},
       R"("/opt/Some Folder/php/t-server.exe" -S 0.0.0.0: -t "/opt/Some Folder/tovanik")",
       "/opt/Some Folder/tovanik"},
      {{"a\"b.exe", "p/", "8080", "r\"", "show"},
       R"("/opt/Some Folder/p//a"b.exe" -S 0.0.0.0:8080 -t "/opt/Some Folder/r"")",
       "/opt/Some Folder/r\""},
  };
#endif
  for (const Case& c : cases) {
    EXPECT_EQ(serverCommandLine(folder, c.s), c.line);
    const auto argv = serverArgv(folder, c.s);
    ASSERT_EQ(argv.size(), 5u);
    EXPECT_EQ(argv[2], "0.0.0.0:" + c.s.serverPort);
    EXPECT_EQ(argv[4], c.root);
  }
  EXPECT_EQ(consoleModeFor("hide"), ConsoleMode::Hidden);
  for (const char* shown : {"show", "", "Hide", "hide "})
    EXPECT_EQ(consoleModeFor(shown), ConsoleMode::Shown) << shown;
}

}  // namespace
}  // namespace tovanik
