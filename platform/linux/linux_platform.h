#pragma once
// The Platform of a Linux desktop: /proc for the process table, the kernel's socket
// diagnostics for ports, posix_spawn for detached programs, xdg-open for addresses,
// files and folders (the program Qt's desktop services would run too), .desktop entries
// for the menu. The panel and tovanikctl both use it as it is.

#include "platform/linux/desktop_menu.h"
#include "platform/linux/log_files.h"
#include "platform/linux/kept_comms.h"
#include "platform/linux/proc_table.h"
#include "platform/platform.h"

namespace tovanik {

class LinuxPlatform : public Platform {
 public:
  std::string programFolder() const override;
  std::string absolutePath(const std::string& path) const override;
  int launchDetached(
      const std::vector<std::string>& argv, ConsoleMode mode, const std::string& outputLog,
      const std::vector<std::pair<std::string, std::string>>& extraEnvironment = {}) override;
  std::vector<int> findProcesses(const ServerImage& image) override;
  std::vector<int> callerServers(const ServerImage& image) override;
  // A display to open a terminal on, and a terminal program.
  bool consoleCanBeShown() override;
  // Looks at the process found last time first (see anyProcessByImageName). Also reaps
  // the programs it launched that have ended.
  bool anyProcess(const ServerImage& image) override;
  int killProcesses(const ServerImage& image) override;
  bool killLaunched(int pid) override;
  bool isLiveProcess(int pid) override;
  std::optional<ProcessInfo> processInfo(int pid) override;
  PortUse portUse(int port, const std::vector<int>& likelyHolders) override;
  std::optional<bool> portListening(int port) override;
  std::optional<std::string> untrustedPath(const std::vector<std::string>& paths) override;
  Opening openUrl(const std::string& url) override;
  Opening openTextFile(const std::string& path) override;
  Opening openFolder(const std::string& path) override;
  std::optional<std::string> openerEnded(int opener) override;
  PathKind pathKind(const std::string& path, std::string* why) override;
  std::optional<std::string> environmentVariable(const std::string& name) const override;
  bool setEnvironmentVariable(const std::string& name, const std::string& value) override;
  LogFiles& logFiles() override { return logFiles_; }
  DesktopMenu& desktopMenu(MenuPlace place) override {
    return place == MenuPlace::Menu ? menu_ : atLogin_;
  }
  std::unique_ptr<SingleCopy> singleCopy(const std::string& executablePath) override;
  Clock::time_point now() override;
  void sleepMs(int milliseconds) override;
  FileStore& fileStore() override;

 private:
  // The programs launchDetached started are this process's children (posix_spawn makes
  // no intermediate process): kept until reaped, so that none stays a zombie.
  int remember(int launched);
  void reapLaunched(int running);
  std::vector<int> launched_;

  LinuxLogFiles logFiles_;
  LinuxDesktopMenu menu_{MenuPlace::Menu};
  LinuxDesktopMenu atLogin_{MenuPlace::AtLogin};
  PresenceHint lastFound_;
  KeptComms comms_;  // the names the check of a stopped server reads, kept open
  // Who asks, worked out once: the presence check runs every second.
  const Asker asker_ = currentAsker();
};

}  // namespace tovanik
