#pragma once
// The Platform of a Linux desktop without a toolkit: /proc for the process table, a
// double clone for detached programs, xdg-open for addresses and files. The panel uses
// DesktopPlatform (window/desktop_platform.h), which opens them through Qt instead.

#include "platform/platform.h"

namespace tovanik {

class LinuxPlatform : public Platform {
 public:
  std::string programFolder() const override;
  int launchDetached(const std::vector<std::string>& argv, ConsoleMode mode,
                     const std::string& outputLog) override;
  std::vector<int> findProcesses(const std::string& imageName) override;
  // A stop is noted in the log that anyProcess keeps small.
  int killProcesses(const std::string& imageName) override;
  // Looks at the process found last time first (see anyProcessByImageName). Being the
  // call made once a second, it also keeps the server's log below its limit while the
  // panel runs: the log of the last hidden launch, else that of the program folder.
  bool anyProcess(const std::string& imageName) override;
  bool openUrl(const std::string& url) override;
  bool openPath(const std::string& path) override;
  void sleepMs(int milliseconds) override;

 private:
  int lastFound_ = 0;
  std::string logToTrim_;
};

}  // namespace tovanik
