// The server's argument vector, its command line as text and the console mode.
#include <gtest/gtest.h>

#include "platform/path_text.h"
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
  // The optional keys, in PHP's order: -c, each -d, -S in PHP's form, -t, the router.
  ServerSettings s{"php.exe", "php", "8080", "www", "hide", "front-controller", "4", "::1",
                   "php.ini", "memory_limit=1G  include_path=.:/lib"};
  EXPECT_EQ(serverEnvironment(s),
            (std::vector<std::pair<std::string, std::string>>{{"PHP_CLI_SERVER_WORKERS", "4"}}));
  const std::string p = folder + kPathSeparator;
  EXPECT_EQ(serverArgv(folder, s),
            (std::vector<std::string>{p + "php" + kPathSeparator + "php.exe", "-c", p + "php.ini",
                                      "-d", "memory_limit=1G", "-d", "include_path=.:/lib", "-S",
                                      "[::1]:8080", "-t", p + "www", p + "front-controller.php"}));
  EXPECT_EQ(serverCommandLine(folder, s),
            "\"" + p + "php" + kPathSeparator + "php.exe\" -c \"" + p +
                "php.ini\" -d memory_limit=1G -d \"include_path=.:/lib\" -S [::1]:8080 -t \"" +
                p + "www\" \"" + p + "front-controller.php\"");
  s.listenAddress = "::";
  EXPECT_EQ(serverArgv(folder, s)[8], "[::]:8080");
  EXPECT_EQ(consoleModeFor("hide"), ConsoleMode::Hidden);
  for (const char* shown : {"show", "", "Hide", "hide "})
    EXPECT_EQ(consoleModeFor(shown), ConsoleMode::Shown) << shown;
}

}  // namespace
}  // namespace tovanik
