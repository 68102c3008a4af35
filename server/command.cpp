#include "server/command.h"

#include "platform/output_log.h"
#include "platform/path_text.h"

namespace tovanik {

std::string serverPath(const std::string& programFolder, const ServerSettings& s) {
  return joinPath(joinPath(programFolder, s.phpFolder), s.exeName);
}

std::string serverCommandLine(const std::string& programFolder, const ServerSettings& s) {
  // Appended piece by piece: GCC 12 warns falsely on "literal" + std::string at -O2.
  std::string line(1, '"');
  line += serverPath(programFolder, s);
  line += "\" -S 0.0.0.0:";
  line += s.serverPort;
  line += " -t \"";
  line += joinPath(programFolder, s.rootDirectory);
  line += '"';
  return line;
}

std::vector<std::string> serverArgv(const std::string& programFolder, const ServerSettings& s) {
  return {serverPath(programFolder, s), "-S", "0.0.0.0:" + s.serverPort, "-t",
          joinPath(programFolder, s.rootDirectory)};
}

ServerImage serverImage(const std::string& programFolder, const ServerSettings& s) {
  return {s.exeName, serverPath(programFolder, s)};
}

std::string serverLogPath(Platform& platform, const std::string& programFolder) {
  return platform.outputLog().outputLogPath(programFolder);
}

ConsoleMode consoleModeFor(const std::string& commandPrompt) {
  return commandPrompt == "hide" ? ConsoleMode::Hidden : ConsoleMode::Shown;
}

}  // namespace tovanik
