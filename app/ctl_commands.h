#pragma once
// The commands of tovanikctl (settings: ctl_settings.cpp, server: ctl_server.cpp). Each returns the
// process exit code: 0 success, 1 failure (one line on stderr), 3 for `status` when the server is
// stopped.

#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tovanik::ctl {

struct Context {
  Platform& platform;
  std::string programFolder;
  std::ostream& out;
  std::ostream& err;
};

// Prints "tovanikctl: MESSAGE" on the error stream; returns the failure exit code.
inline int fail(const Context& c, const std::string& message) {
  c.err << "tovanikctl: " << message << '\n';
  return 1;
}

int ini(const Context& c, const std::vector<std::string>& args);
int config(const Context& c, const std::vector<std::string>& args);
int status(const Context& c);
int start(const Context& c);
int stop(const Context& c);
int url(const Context& c);
// `launcher install` / `launcher remove`: the desktop menu entry and icons (ctl_launcher.cpp).
int launcher(const Context& c, const std::vector<std::string>& args);
// log [-n LINES] [-f]: the hidden server's output, the last LINES of it, following it.
int serverLog(const Context& c, const std::vector<std::string>& args);

}  // namespace tovanik::ctl
