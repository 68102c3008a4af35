#include "server/command.h"

#include "platform/output_log.h"

namespace tovanik {

std::string serverCommandLine(const std::string& programFolder, const ServerSettings& s) {
  return "\"" + programFolder + "/" + s.phpFolder + "/" + s.exeName + "\"" +
         " -S 0.0.0.0:" + s.serverPort + " -t " + "\"" + programFolder + "/" + s.rootDirectory +
         "\"";
}

std::vector<std::string> serverArgv(const std::string& programFolder, const ServerSettings& s) {
  return {programFolder + "/" + s.phpFolder + "/" + s.exeName, "-S", "0.0.0.0:" + s.serverPort,
          "-t", programFolder + "/" + s.rootDirectory};
}

std::string serverLogPath(const std::string& programFolder) { return outputLogPath(programFolder); }

ConsoleMode consoleModeFor(const std::string& commandPrompt) {
  return commandPrompt == "hide" ? ConsoleMode::Hidden : ConsoleMode::Shown;
}

}  // namespace tovanik
