#pragma once
// What is started for the server and for a stop, composed from the settings as stored.
//
// Failure, for all of server/: what can fail returns nullopt (with the reason in `whyNot`
// when asked) or, for the checks (trust.h), the reason as an optional text; the
// composition here cannot fail.

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace tovanik {

struct ServerSettings {
  std::string exeName;
  std::string phpFolder;
  std::string serverPort;
  std::string rootDirectory;
  std::string commandPrompt;
  // The optional keys; each one empty leaves the command line and environment as designed.
  // (Initialised here, so the design's five still initialise a ServerSettings alone.)
  std::string router{};
  std::string workers{};
  std::string listenAddress{};
  std::string phpIni{};
  std::string phpSettings{};
};

// The server command line as text: "<folder>/<php_folder>/<exe_name>" -S 0.0.0.0:<port>
// -t "<folder>/<root_directory>". Shown and tested, never parsed or given to a shell.
// The optional keys add, in PHP's order: -c "<php_ini>" and a -d for each php_settings
// pair before -S (a pair with "/" or "\" in double quotes, as Windows' line has it), the
// listen address in PHP's form, and "<router>" last.
std::string serverCommandLine(const std::string& programFolder, const ServerSettings& s);

// The argument vector that is really started; each value is one argument, untouched.
std::vector<std::string> serverArgv(const std::string& programFolder, const ServerSettings& s);

// What is set in the server's environment alone: PHP_CLI_SERVER_WORKERS for workers.
std::vector<std::pair<std::string, std::string>> serverEnvironment(const ServerSettings& s);

// The router script's path ("" for none): the shipped front controller in the program
// folder for "front-controller", else the path the setting names.
std::string routerPath(const std::string& programFolder, const ServerSettings& s);
inline constexpr const char* kFrontControllerFile = "front-controller.php";

// The php.ini the server is given with -c; "" for none.
std::string phpIniPath(const std::string& programFolder, const ServerSettings& s);

// The -S address without its port, in PHP's form: 0.0.0.0 when empty, [::] and [::1]
// for IPv6.
std::string listenHost(const std::string& listenAddress);

// The host of an address this machine's browser reaches the server at: localhost for
// every interface (empty, 0.0.0.0, ::, [::]), else the address ([::1] for IPv6).
std::string browsableHost(const std::string& listenAddress);

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
