#include "platform/linux/linux_platform.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/linux/detached_launch.h"
#include "platform/output_log.h"
#include "platform/linux/proc_table.h"

namespace tovanik {

namespace {

std::string folderOfRunningExecutable() {
  char target[4096];
  ssize_t length = ::readlink("/proc/self/exe", target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) return {};
  std::string path(target, static_cast<std::size_t>(length));
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// A terminal window needs a display to open on. Without one (a console login, an ssh
// session, a test run) a terminal program would exit at once and take the server with
// it, so the console is shown only when there is somewhere to show it.
bool displayAvailable() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace

std::string LinuxPlatform::programFolder() const { return folderOfRunningExecutable(); }

int LinuxPlatform::launchDetached(const std::vector<std::string>& argv, ConsoleMode mode,
                                  const std::string& outputLog) {
  if (argv.empty()) return 0;
  // Checked first: the terminal starts even when the program inside it cannot, and the
  // log is marked only for a launch that can happen.
  const std::string program = resolveExecutable(argv[0]);
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    if (program.empty()) errno = ENOENT;
    return 0;
  }
  if (mode == ConsoleMode::Shown && displayAvailable()) {
    std::string terminal = findTerminalProgram();
    if (!terminal.empty()) {
      // The mark tells a later look at the log that this run's output is not in it.
      if (!outputLog.empty()) markLaunch(outputLog, kMarkStartedInTerminal);
      return launchDetachedProcess(terminalArgv(terminal, argv));
    }
  }
  const bool logged = !outputLog.empty() && markLaunch(outputLog, kMarkStarted);
  if (logged) logToTrim_ = outputLog;
  const pid_t pid = launchDetachedProcess(argv, logged ? outputLog : std::string());
  if (pid == 0 && logged) {
    const int error = errno;
    markLaunch(outputLog, std::string("server could not be started: ") + std::strerror(error));
    errno = error;
  }
  return pid;
}

std::vector<int> LinuxPlatform::findProcesses(const std::string& imageName) {
  return findProcessesByImageName(imageName);
}

bool LinuxPlatform::anyProcess(const std::string& imageName) {
  if (logToTrim_.empty()) logToTrim_ = outputLogPath(programFolder());
  trimOutputLog(logToTrim_);
  return anyProcessByImageName(imageName, lastFound_);
}

int LinuxPlatform::killProcesses(const std::string& imageName) {
  const int signalled = killProcessesByImageName(imageName);
  // Marked, so that a server stopped soon after its launch is not later taken for one
  // that could not start.
  if (signalled > 0 && !logToTrim_.empty() && ::access(logToTrim_.c_str(), F_OK) == 0)
    markLaunch(logToTrim_, kMarkStopped);
  return signalled;
}

bool LinuxPlatform::openUrl(const std::string& url) {
  return launchDetachedProcess({"xdg-open", url}) != 0;
}

bool LinuxPlatform::openPath(const std::string& path) {
  return launchDetachedProcess({"xdg-open", path}) != 0;
}

void LinuxPlatform::sleepMs(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace tovanik
