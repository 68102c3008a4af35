#include "server/command.h"

#include "platform/output_log.h"
#include "platform/path_text.h"

namespace tovanik {

std::string serverPath(const std::string& programFolder, const ServerSettings& s) {
  return joinPath(joinPath(programFolder, s.phpFolder), s.exeName);
}

std::string serverCommandLine(const std::string& programFolder, const ServerSettings& s) {
  return "\"" + serverPath(programFolder, s) + "\"" + " -S 0.0.0.0:" + s.serverPort + " -t " +
         "\"" + joinPath(programFolder, s.rootDirectory) + "\"";
}

std::vector<std::string> serverArgv(const std::string& programFolder, const ServerSettings& s) {
  return {serverPath(programFolder, s), "-S", "0.0.0.0:" + s.serverPort, "-t",
          joinPath(programFolder, s.rootDirectory)};
}

ServerImage serverImage(const std::string& programFolder, const ServerSettings& s) {
  return {s.exeName, serverPath(programFolder, s)};
}

std::string serverLogPath(const std::string& programFolder) { return outputLogPath(programFolder); }

ConsoleMode consoleModeFor(const std::string& commandPrompt) {
  return commandPrompt == "hide" ? ConsoleMode::Hidden : ConsoleMode::Shown;
}

}  // namespace tovanik
