#pragma once
// What is started for the server and for a stop, composed from the settings as stored.
//
// Failure, for all of server/: what can fail returns nullopt (with the reason in `whyNot`
// when asked) or, for the checks (trust.h), the reason as an optional text; the
// composition here cannot fail.

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tovanik {

struct ServerSettings {
  std::string exeName;
  std::string phpFolder;
  std::string serverPort;
  std::string rootDirectory;
  std::string commandPrompt;
};

// The server command line as text: "<folder>/<php_folder>/<exe_name>" -S 0.0.0.0:<port>
// -t "<folder>/<root_directory>". Shown and tested, never parsed or given to a shell.
std::string serverCommandLine(const std::string& programFolder, const ServerSettings& s);

// The argument vector that is really started; each value is one argument, untouched.
std::vector<std::string> serverArgv(const std::string& programFolder, const ServerSettings& s);

// "<folder>/<php_folder>/<exe_name>": the server's executable, argv[0] of its launch.
std::string serverPath(const std::string& programFolder, const ServerSettings& s);

// What the presence check, the stop and status look for: the image name, and this
// folder's server path for a privileged caller (see ServerImage).
ServerImage serverImage(const std::string& programFolder, const ServerSettings& s);

// The file a hidden server's output is appended to: one per program folder, in the
// user's state folder (see output_log.h). "" when there is no state folder.
std::string serverLogPath(Platform& platform, const std::string& programFolder);

// Hidden only for exactly "hide"; every other value shows the console.
ConsoleMode consoleModeFor(const std::string& commandPrompt);

}  // namespace tovanik
