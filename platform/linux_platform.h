#pragma once
// The Platform of a Linux desktop without a toolkit: /proc for the process table, a
// double fork for detached programs, xdg-open for addresses and files. The panel uses
// DesktopPlatform (window/desktop_platform.h), which opens them through Qt instead.

#include "platform/platform.h"

namespace tovanik {

class LinuxPlatform : public Platform {
 public:
  std::string programFolder() const override;
  bool launchDetached(const std::vector<std::string>& argv, ConsoleMode mode) override;
  std::vector<int> findProcesses(const std::string& imageName) override;
  int killProcesses(const std::string& imageName) override;
  bool openUrl(const std::string& url) override;
  bool openPath(const std::string& path) override;
  void sleepMs(int milliseconds) override;
};

}  // namespace tovanik
