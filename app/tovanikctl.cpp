// tovanikctl: the panel's settings store and server control from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "app/ctl_commands.h"
#include "app/version.h"
#include "platform/linux/linux_platform.h"

namespace {

constexpr const char* kUsage = R"(usage: tovanikctl [--folder DIR] COMMAND
  ini get FILE SECTION KEY          print one value of an INI file
  ini set FILE SECTION KEY VALUE    store one value in an INI file
  config get KEY                    print a setting of DIR/config/config.ini
  config set KEY VALUE              store one of the five settings (refuses values the
                                    panel could not read back, e.g. port 0)
  status                            running PIDs or stopped, who holds the port and the
                                    command line; why the last launch ended at once
                                    (exit 0 running, 3 stopped)
  start                             check the settings, start the server unless it
                                    runs, wait for its port
  stop                              stop every server process of the configured name
  restart                           stop, then start
  url                               the local address, as the panel shows it
  log [-n LINES] [-f]               the hidden server's output (the last LINES; -f
                                    follows it)
  launcher install                  add the panel to the desktop's application menu
  launcher remove                   take it out again
  --help, --version                 print this text or the version
DIR is the program folder, by default the folder holding tovanikctl.
)";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  tovanik::LinuxPlatform platform;
  std::string folder = platform.programFolder();
  if (args.size() == 1 && args[0] == "--folder") {
    std::cerr << "tovanikctl: option '--folder' needs a value (see --help)\n";
    return 2;
  }
  if (args.size() >= 2 && args[0] == "--folder") {
    folder = args[1];
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) {
    std::cerr << "tovanikctl: no command given (see --help)\n";
    return 1;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (args[0] == "--version") {
    std::cout << "tovanikctl " << tovanik::kVersion << '\n';
    return 0;
  }
  if (args[0].starts_with('-')) {
    std::cerr << "tovanikctl: unknown option '" << args[0] << "' (see --help)\n";
    return 2;
  }
  const tovanik::ctl::Context c{platform, folder, std::cout, std::cerr};
  const std::string command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "ini") return tovanik::ctl::ini(c, rest);
  if (command == "config") return tovanik::ctl::config(c, rest);
  if (command == "launcher") return tovanik::ctl::launcher(c, rest);
  if (command == "log") return tovanik::ctl::serverLog(c, rest);
  if (!rest.empty()) {
    std::cerr << "tovanikctl: '" << command << "' takes no arguments\n";
    return 1;
  }
  if (command == "status") return tovanik::ctl::status(c);
  if (command == "start") return tovanik::ctl::start(c);
  if (command == "stop") return tovanik::ctl::stop(c);
  if (command == "restart") {
    const int stopped = tovanik::ctl::stop(c);
    return stopped != 0 ? stopped : tovanik::ctl::start(c);
  }
  if (command == "url") return tovanik::ctl::url(c);
  std::cerr << "tovanikctl: unknown command '" << command << "' (see --help)\n";
  return 1;
}
