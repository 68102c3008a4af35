#include "platform/linux/linux_platform.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include "platform/file_store.h"
#include "platform/linux/detached_launch.h"
#include "platform/linux/launch_environment.h"
#include "platform/linux/ownership.h"
#include "platform/linux/proc_table.h"
#include "platform/linux/safe_path.h"
#include "platform/linux/single_copy.h"
#include "platform/linux/tcp_listeners.h"

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

std::string lastSystemError() { return std::strerror(errno); }

std::string LinuxPlatform::programFolder() const { return folderOfRunningExecutable(); }

std::string LinuxPlatform::absolutePath(const std::string& path) const {
  // Canonical like programFolder(), so a folder named through a link or "." gets the same
  // log and lock as the panel started from it.
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  return lexicallyAbsolute(path);
}

int LinuxPlatform::launchDetached(
    const std::vector<std::string>& argv, ConsoleMode mode, const std::string& outputLog,
    const std::vector<std::pair<std::string, std::string>>& extraEnvironment) {
  if (argv.empty()) return 0;
  // Without extras the program gets the caller's environment itself, as it always did.
  std::optional<LaunchEnvironment> environment;
  if (!extraEnvironment.empty()) environment.emplace(environ, extraEnvironment);
  char* const* envp = environment ? environment->envp() : nullptr;
  // Checked first: the terminal starts even when the program inside it cannot.
  const std::string program = resolveExecutable(argv[0]);
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    if (program.empty()) errno = ENOENT;
    return 0;
  }
  if (mode == ConsoleMode::Shown && displayAvailable()) {
    std::string terminal = findTerminalProgram();
    if (!terminal.empty()) return remember(launchDetachedProcess(terminalArgv(terminal, argv), "", envp));
  }
  return remember(launchDetachedProcess(argv, outputLog, envp));
}

int LinuxPlatform::remember(int launched) {
  if (launched > 0) launched_.push_back(launched);
  return launched;
}

void LinuxPlatform::reapLaunched(int running) {
  // Only the PIDs it launched, never waitpid(-1): the openers are asked by openerEnded,
  // and a program of the panel's caller's is none of ours. A PID stays ours (no other
  // process gets it) until it is reaped here.
  std::erase_if(launched_, [running](int pid) {
    if (pid == running) return false;
    const pid_t ended = ::waitpid(pid, nullptr, WNOHANG);
    return ended == pid || (ended < 0 && errno == ECHILD);
  });
}

bool LinuxPlatform::consoleCanBeShown() {
  return displayAvailable() && !findTerminalProgram().empty();
}

std::vector<int> LinuxPlatform::findProcesses(const ServerImage& image) {
  return findProcessesByImageName(image);
}

std::vector<int> LinuxPlatform::callerServers(const ServerImage& image) {
  Asker anyone = currentAsker();
  anyone.self = 0;  // no caller line: the caller's ancestors count too
  const CallerLine caller = callerLine("/proc", static_cast<int>(::getpid()));
  std::vector<int> spared;
  for (const int pid : findProcessesByImageName(image, "/proc", anyone))
    if (caller.pids.count(pid)) spared.push_back(pid);
  return spared;
}

bool LinuxPlatform::anyProcess(const ServerImage& image) {
  const bool found = anyProcessByImageName(image, lastFound_, "/proc", asker_, &comms_);
  // What it launched and has ended (a zombie, which never counts) is reaped by the next
  // check, which the tick makes once a second: every launched PID is asked but the
  // server just found running, so a running server costs the tick no call, and the one a
  // restart ended is reaped while its successor runs.
  if (!launched_.empty()) reapLaunched(found ? lastFound_.pid : 0);
  return found;
}

int LinuxPlatform::killProcesses(const ServerImage& image) {
  return killProcessesByImageName(image);
}

bool LinuxPlatform::killLaunched(int pid) {
  // The launcher made it lead a session and process group of its own, which holds
  // whatever it started, even a program it replaced itself with under another name.
  // The caller, its ancestors and their groups are spared, as by the name match: a stop
  // run from the server's own page never ends itself or what started it.
  if (pid <= 0) return false;
  const CallerLine caller = callerLine("/proc", static_cast<int>(::getpid()));
  if (caller.pids.count(pid)) return false;
  return (!caller.groups.count(pid) && ::kill(-pid, SIGKILL) == 0) || ::kill(pid, SIGKILL) == 0;
}

bool LinuxPlatform::isLiveProcess(int pid) { return tovanik::isLiveProcess(pid); }

std::optional<ProcessInfo> LinuxPlatform::processInfo(int pid) { return readProcessInfo(pid); }

PortUse LinuxPlatform::portUse(int port, const std::vector<int>& likelyHolders) {
  PortUse use;
  std::set<int> seen;
  for (const Listener& listener : tcpListenersOnPort(port, likelyHolders)) {
    use.listening = true;
    for (const auto& holder : listener.holders)
      if (seen.insert(holder.first).second) use.holders.push_back(holder);
  }
  return use;
}

std::optional<bool> LinuxPlatform::portListening(int port) {
  const auto listeners = listenersFromSockDiag(port);
  if (!listeners) return std::nullopt;
  return !listeners->empty();
}

std::optional<std::string> LinuxPlatform::untrustedPath(const std::vector<std::string>& paths) {
  if (::geteuid() != 0) return std::nullopt;
  return firstPathNotOwnedBy(paths, 0);
}

// xdg-open is the panel's child, as every program it launches: only its parent learns its
// exit status, the one place it says that nothing could open the target. It is reaped by
// openerEnded, which the panel's tick asks once a second; the window never waits for it.
Opening LinuxPlatform::openUrl(const std::string& url) {
  const pid_t opener = launchDetachedProcess({"xdg-open", url});
  if (opener == 0) return {0, "cannot run xdg-open: " + lastSystemError()};
  return {opener, {}};
}

Opening LinuxPlatform::openTextFile(const std::string& path) { return openUrl(path); }

Opening LinuxPlatform::openFolder(const std::string& path) { return openUrl(path); }

std::optional<std::string> LinuxPlatform::openerEnded(int opener) {
  int status = 0;
  const pid_t ended = ::waitpid(opener, &status, WNOHANG);
  if (ended == 0 || (ended < 0 && errno == EINTR)) return std::nullopt;
  if (ended < 0) return std::string();  // not a child of ours (any more): nothing to say
  return openerExitReason("xdg-open", status);
}

PathKind LinuxPlatform::pathKind(const std::string& path, std::string* why) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (why) *why = std::strerror(errno);
    return PathKind::Unusable;
  }
  if (S_ISDIR(info.st_mode)) return PathKind::Folder;
  return S_ISREG(info.st_mode) && (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0
             ? PathKind::ExecutableFile
             : PathKind::OtherFile;
}

std::optional<std::string> LinuxPlatform::environmentVariable(const std::string& name) const {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

bool LinuxPlatform::setEnvironmentVariable(const std::string& name, const std::string& value) {
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

std::unique_ptr<SingleCopy> LinuxPlatform::singleCopy(const std::string& executablePath) {
  return std::make_unique<LinuxSingleCopy>(executablePath);
}

namespace {

// The system's steady clock and sleep: the only ones below the tests' own.
class SystemTiming final : public Timing {
 public:
  Clock::time_point now() override {
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
        std::chrono::steady_clock::now().time_since_epoch()));
  }
  void sleepMs(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

Timing& systemTiming() {
  static SystemTiming timing;
  return timing;
}

Platform::Clock::time_point LinuxPlatform::now() { return systemTiming().now(); }

void LinuxPlatform::sleepMs(int milliseconds) { systemTiming().sleepMs(milliseconds); }

FileStore& LinuxPlatform::fileStore() { return systemFileStore(); }

}  // namespace tovanik
