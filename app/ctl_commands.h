#pragma once
// The commands of tovanikctl. Each returns the process exit code: 0 success, 1 failure
// (one line on stderr), 3 for `status` when the server is stopped.

#include <iosfwd>
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

int ini(const Context& c, const std::vector<std::string>& args);
int config(const Context& c, const std::vector<std::string>& args);
int status(const Context& c);
int start(const Context& c);
int stop(const Context& c);
int url(const Context& c);

}  // namespace tovanik::ctl
