#pragma once
// The commands of tovanikctl (the command line: ctl_main.cpp, settings: ctl_settings.cpp,
// server: ctl_server.cpp, menu entry: ctl_launcher.cpp), a library that the program and the
// tests link. Failure: each returns the process exit code: 0 success, 1 failure, 2 a usage
// error (each with one line on stderr), 3 for `status` when the server is stopped.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "app/ctl_output.h"
#include "platform/desktop_menu.h"
#include "platform/platform.h"

namespace tovanik::ctl {

struct Context {
  Platform& platform;
  std::string programFolder;
  Output& out;
  Output& err;
};

// `text` with its control bytes written as escapes ("\r", "\x1b"), so a message quoting an
// argument or a file's value stays one line and cannot drive the terminal.
std::string escaped(std::string_view text);

// Prints "tovanikctl: MESSAGE" on the error stream; returns the failure exit code.
inline int fail(const Context& c, const std::string& message) {
  c.err << "tovanikctl: " << escaped(message) << '\n';
  return 1;
}

// The same for a command line that asks for nothing tovanikctl does; exit code 2.
inline int usageError(const Context& c, const std::string& message) {
  c.err << "tovanikctl: " << escaped(message) << " (see --help)\n";
  return 2;
}

// The whole command line after the program name; returns the exit code.
int run(Platform& platform, std::vector<std::string> args, Output& out, Output& err);
// The same, printing to standard streams (ctl_stream_output.cpp).
int run(Platform& platform, std::vector<std::string> args, std::ostream& out, std::ostream& err);

int ini(const Context& c, const std::vector<std::string>& args);
int config(const Context& c, const std::vector<std::string>& args);
int status(const Context& c);
int start(const Context& c);
int stop(const Context& c);
int restart(const Context& c);
int url(const Context& c);
// `launcher [install | remove] [--at-login]`: the desktop menu entry and icons, or the entry
// that starts the panel at login; alone, what is installed (ctl_launcher.cpp).
int launcher(const Context& c, const std::vector<std::string>& args);
// The menu entry of a program folder: its file's id, and what the menu calls it beside
// the entries of `others` (other folders' entries).
std::string menuEntryId(const std::string& folder);
std::string menuEntryName(const std::string& folder, const std::vector<MenuEntry>& others);
// log [-n LINES] [-f]: the hidden server's output, the last LINES of it, following it.
int serverLog(const Context& c, const std::vector<std::string>& args);

}  // namespace tovanik::ctl
