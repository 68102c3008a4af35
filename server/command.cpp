#include "server/command.h"

#include "server/output_log.h"
#include "platform/path_text.h"
#include "settings/value_rules.h"

namespace tovanik {

std::string serverPath(const std::string& programFolder, const ServerSettings& s) {
  return joinPath(joinPath(programFolder, s.phpFolder), s.exeName);
}

std::string listenHost(const std::string& listenAddress) {
  if (listenAddress.empty()) return "0.0.0.0";
  if (listenAddress.find(':') != std::string::npos) return '[' + listenAddress + ']';
  return listenAddress;
}

std::string browsableHost(const std::string& listenAddress) {
  for (const char* everyInterface : {"", "0.0.0.0", "::", "[::]"})
    if (listenAddress == everyInterface) return "localhost";
  return listenAddress.find(':') != std::string::npos && !listenAddress.starts_with('[')
             ? '[' + listenAddress + ']'
             : listenAddress;
}

std::string routerPath(const std::string& programFolder, const ServerSettings& s) {
  if (s.router.empty()) return {};
  return joinPath(programFolder, s.router == kFrontController ? kFrontControllerFile : s.router);
}

std::string phpIniPath(const std::string& programFolder, const ServerSettings& s) {
  return s.phpIni.empty() ? std::string() : joinPath(programFolder, s.phpIni);
}

namespace {

// A pair that holds a path separator is quoted, as Windows' real command line quotes it.
std::string shownPair(const std::string& pair) {
  if (pair.find_first_of("/\\") == std::string::npos) return pair;
  std::string shown(1, '"');
  shown += pair;
  shown += '"';
  return shown;
}

}  // namespace

std::string serverCommandLine(const std::string& programFolder, const ServerSettings& s) {
  // Appended piece by piece: GCC 12 warns falsely on "literal" + std::string at -O2.
  std::string line(1, '"');
  line += serverPath(programFolder, s);
  line += '"';
  if (!s.phpIni.empty()) {
    line += " -c \"";
    line += phpIniPath(programFolder, s);
    line += '"';
  }
  for (const std::string& pair : phpSettingPairs(s.phpSettings)) {
    line += " -d ";
    line += shownPair(pair);
  }
  line += " -S ";
  line += listenHost(s.listenAddress);
  line += ':';
  line += s.serverPort;
  line += " -t \"";
  line += joinPath(programFolder, s.rootDirectory);
  line += '"';
  if (!s.router.empty()) {
    line += " \"";
    line += routerPath(programFolder, s);
    line += '"';
  }
  return line;
}

std::vector<std::string> serverArgv(const std::string& programFolder, const ServerSettings& s) {
  std::vector<std::string> argv{serverPath(programFolder, s)};
  if (!s.phpIni.empty()) argv.insert(argv.end(), {"-c", phpIniPath(programFolder, s)});
  for (const std::string& pair : phpSettingPairs(s.phpSettings))
    argv.insert(argv.end(), {"-d", pair});
  argv.insert(argv.end(), {"-S", listenHost(s.listenAddress) + ':' + s.serverPort, "-t",
                           joinPath(programFolder, s.rootDirectory)});
  if (!s.router.empty()) argv.push_back(routerPath(programFolder, s));
  return argv;
}

std::vector<std::pair<std::string, std::string>> serverEnvironment(const ServerSettings& s) {
  if (s.workers.empty()) return {};
  return {{"PHP_CLI_SERVER_WORKERS", s.workers}};
}

ServerImage serverImage(const std::string& programFolder, const ServerSettings& s) {
  return {s.exeName, serverPath(programFolder, s)};
}

std::string serverLogPath(Platform& platform, const std::string& programFolder) {
  return OutputLog(platform.logFiles()).outputLogPath(programFolder);
}

ConsoleMode consoleModeFor(const std::string& commandPrompt) {
  return commandPrompt == "hide" ? ConsoleMode::Hidden : ConsoleMode::Shown;
}

}  // namespace tovanik
