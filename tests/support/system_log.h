#pragma once
// The server's log over this system's real files, for the tests that look at what real
// programs (the server, tovanikctl, the panel) wrote into it.

#include "server/output_log.h"
#ifdef _WIN32
#include "platform/windows/log_files.h"
#else
#include "platform/linux/log_files.h"
#endif

namespace tovanik::test {

inline OutputLog systemLog() {
#ifdef _WIN32
  static WindowsLogFiles files;
#else
  static LinuxLogFiles files;
#endif
  return OutputLog(files);
}

}  // namespace tovanik::test
