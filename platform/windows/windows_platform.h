#pragma once
// The Platform of Windows: a toolhelp snapshot for the process table, the system's TCP
// tables for ports, CreateProcessW for the server, the shell for addresses, Notepad and
// Explorer for the configuration file and the web folder. Text is UTF-8 here and UTF-16
// at every system call (platform/windows/wide_text.h).

#include <string>

#include "platform/platform.h"
#include "platform/windows/handle.h"
#include "platform/windows/log_files.h"
#include "platform/windows/process_launch.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/start_menu.h"

namespace tovanik {

class WindowsPlatform : public Platform {
 public:
  std::string programFolder() const override;
  std::string absolutePath(const std::string& path) const override;
  bool samePathText(const std::string& a, const std::string& b) const override;
  // The command line is composed by windows::commandLineOf (process_launch.h), which
  // gives the server's command line exactly as the panel shows it.
  std::string launchCommandLine(const std::vector<std::string>& argv) override {
    return windows::utf8(windows::commandLineOf(argv));
  }
  int launchDetached(
      const std::vector<std::string>& argv, ConsoleMode mode, const std::string& outputLog,
      const std::vector<std::pair<std::string, std::string>>& extraEnvironment = {}) override;
  std::vector<int> findProcesses(const ServerImage& image) override;
  // Confirms the process found last time by a handle kept open to it (see
  // windows::openFirstProcessByImageName); takes a snapshot only when it has ended or
  // the name changed.
  bool anyProcess(const ServerImage& image) override;
  // Watches the process anyProcess last found (rest_alarm.h).
  std::unique_ptr<RestAlarm> restAlarm(const std::vector<std::string>& folders) override;
  int killProcesses(const ServerImage& image) override;
  // The process and every process it started (its tree, by parent links).
  bool killLaunched(int pid) override;
  bool isLiveProcess(int pid) override;
  // Parent and executable; the arguments stay empty (another process's command line is
  // not readable through a documented call).
  std::optional<ProcessInfo> processInfo(int pid) override;
  PortUse portUse(int port, const std::vector<int>& likelyHolders) override;
  std::optional<bool> portListening(int port) override;
  // Always nullopt: see docs/windows-choices.md.
  std::optional<std::string> untrustedPath(const std::vector<std::string>& paths) override;
  Opening openUrl(const std::string& url) override;
  Opening openTextFile(const std::string& path) override;
  Opening openFolder(const std::string& path) override;
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
  windows::Handle lastFound_;
  std::wstring lastFoundName_;
  WindowsLogFiles logFiles_;
  WindowsStartMenu menu_{MenuPlace::Menu};
  WindowsStartMenu atLogin_{MenuPlace::AtLogin};
};

}  // namespace tovanik
