// tovanikctl's command line: the options, the choice of command and the refusals that
// come before any command runs.
#include <string>
#include <vector>

#include "app/ctl_commands.h"
#include "app/version.h"
#include "server/trust.h"

namespace tovanik::ctl {
namespace {

constexpr const char* kUsage = R"(usage: tovanikctl [--folder DIR] COMMAND
  ini get FILE SECTION KEY          print one value of an INI file
  ini set FILE SECTION KEY VALUE    store one value in an INI file
  config get KEY                    print a setting of DIR/config/config.ini
  config set KEY VALUE              store a setting (refuses values the panel could
                                    not read back or start from, e.g. port 0)
  status                            running PIDs or stopped, who holds the port and the
                                    command line; why the last launch ended at once
                                    (exit 0 running, 3 stopped)
  start                             check the settings, start the server unless it
                                    runs, wait for its port
  stop                              stop every server process of the configured name
  restart                           stop, then start
  url                               the running server's address, else the
                                    configured one
  log [-n LINES] [-f]               the hidden server's output (the last LINES; -f
                                    follows it)
  launcher install                  add the panel to the desktop's application menu
  launcher remove                   take it out again
  launcher install --at-login       start the panel (and so the server) at login
  launcher remove --at-login        no longer start it at login
  launcher                          say what is installed for this folder
  --help, --version                 print this text or the version
DIR is the program folder, by default the folder holding tovanikctl.
Exit codes: 0 done, 1 failed, 2 a usage error, 3 status found the server stopped.
)";

// The commands that take no arguments and act on the program folder's server.
int serverCommand(const Context& c, const std::string& command) {
  if (command == "status") return status(c);
  if (command == "start") return start(c);
  if (command == "stop") return stop(c);
  if (command == "restart") return restart(c);
  return url(c);
}

bool isServerCommand(const std::string& command) {
  return command == "status" || command == "start" || command == "stop" || command == "restart" ||
         command == "url";
}

}  // namespace

int run(Platform& platform, std::vector<std::string> args, Output& out, Output& err) {
  std::string folder = platform.programFolder();
  Context c{platform, folder, out, err};
  if (!args.empty() && args[0] == "--folder") {
    if (args.size() == 1) return usageError(c, "option '--folder' needs a value");
    // Resolved once, before anything uses it: the log's name, the command line and the
    // checks all see the folder the panel started from it would see.
    folder = platform.absolutePath(args[1]);
    if (folder.empty())
      return fail(c, "cannot use the folder '" + args[1] + "': " + lastSystemError());
    args.erase(args.begin(), args.begin() + 2);
  }
  c.programFolder = folder;
  if (args.empty()) return usageError(c, "no command given");
  const std::string command = args[0];
  if (command == "--help" || command == "-h") {
    out << kUsage;
    return 0;
  }
  if (command == "--version") {
    out << "tovanikctl " << kVersion << '\n';
    return 0;
  }
  if (command.starts_with('-')) return usageError(c, "unknown option '" + command + "'");
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "ini") return ini(c, rest);
  const bool server = isServerCommand(command);
  if (!server && command != "config" && command != "launcher" && command != "log")
    return usageError(c, "unknown command '" + command + "'");
  if (server && !rest.empty()) return usageError(c, "'" + command + "' takes no arguments");
  // Run as root, nothing is read, started or stopped for a folder another user can change.
  const auto untrusted =
      server ? untrustedFolder(platform, folder) : untrustedProgramFolder(platform, folder);
  if (untrusted) return fail(c, *untrusted);
  if (command == "config") return config(c, rest);
  if (command == "launcher") return launcher(c, rest);
  if (command == "log") return serverLog(c, rest);
  return serverCommand(c, command);
}

}  // namespace tovanik::ctl
