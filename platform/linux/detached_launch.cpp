#include "platform/linux/detached_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/linux/launch_environment.h"
#include "platform/linux/log_files.h"
#include "platform/path_text.h"

extern char** environ;

namespace tovanik {

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// A close-on-exec descriptor numbered 3 or higher: when the caller runs with closed
// standard streams, open() could hand out 0..2, which the child's own redirections
// replace before they read it.
int moveAbove2(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

// The log by its own rules (log_files.h): nothing planted in its place is written to or
// waited for. -1 when there is none, or it cannot be opened: the output is discarded.
int openOutput(const std::string& outputFile) {
  return outputFile.empty() ? -1 : moveAbove2(openOwnLog(outputFile, LogFiles::Access::Append));
}

// What the C library's posix_spawn does between its clone (CLONE_VM | CLONE_VFORK: no
// copy of the caller's page tables) and the exec, freed on every path.
class SpawnSteps {
 public:
  // Both inits only fill in the structures (glibc's never fail).
  SpawnSteps() {
    ::posix_spawnattr_init(&attributes_);
    ::posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSteps() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attributes_);
  }
  SpawnSteps(const SpawnSteps&) = delete;
  SpawnSteps& operator=(const SpawnSteps&) = delete;

  // A session of its own, led by the program itself: no controlling terminal, and its
  // process group is not the caller's, so a terminal's Ctrl+C aimed at the panel misses
  // it, while a stop can end the whole group (PHP's workers, a wrapper's children).
  // Every signal's handling back to its default and an empty mask, whatever the caller
  // had set up. The set is filled byte by byte: sigfillset leaves out the C library's
  // own two signals (32 and 33), which glibc 2.36's child would then hand on ignored.
  void detachAndResetSignals() {
    sigset_t none, every;
    ::sigemptyset(&none);
    std::memset(&every, 0xff, sizeof every);
    take(::posix_spawnattr_setflags(
        &attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
    take(::posix_spawnattr_setsigmask(&attributes_, &none));
    take(::posix_spawnattr_setsigdefault(&attributes_, &every));
  }

  // stdin on /dev/null; stdout and stderr on `output` (a descriptor above 2), or on
  // /dev/null when it is -1; no other descriptor of the caller's.
  void redirect(int output) {
    take(::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0));
    if (output >= 0) {
      take(::posix_spawn_file_actions_adddup2(&actions_, output, 1));
    } else {
      take(::posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0));
    }
    take(::posix_spawn_file_actions_adddup2(&actions_, 1, 2));
    take(::posix_spawn_file_actions_addclosefrom_np(&actions_, 3));
  }

  // The PID, or 0 with errno: a failed step above, or the exec's own error, which the
  // C library hands back from the child (and reaps the child that failed).
  pid_t spawn(const std::string& program, char* const* argv, char* const* envp) {
    if (failure_ != 0) {
      errno = failure_;
      return 0;
    }
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program.c_str(), &actions_, &attributes_, argv, envp);
    if (error != 0) {
      errno = error;
      return 0;
    }
    return pid;
  }

 private:
  // Keeps the first failure (ENOMEM: no room for one more step).
  void take(int error) {
    if (failure_ == 0) failure_ = error;
  }

  posix_spawnattr_t attributes_{};
  posix_spawn_file_actions_t actions_{};
  int failure_ = 0;
};

}  // namespace

std::string resolveExecutable(const std::string& name, const std::string& path) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return name;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string folder = path.substr(start, end - start);
    std::string candidate = (folder.empty() ? "." : folder) + "/" + name;  // "" means "."
    if (isExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

std::string findTerminalProgram(const std::string& searchPath) {
  for (const char* name : {"x-terminal-emulator", "xterm"}) {
    std::string path = resolveExecutable(name, searchPath);
    if (!path.empty()) return path;
  }
  return {};
}

namespace {

// xterm and its wrappers (uxterm, lxterm, koi8rxterm), by the file the terminal's path
// leads to: x-terminal-emulator is a link chain to one of them, or to another terminal.
bool isXtermFamily(const std::string& terminal) {
  char resolved[PATH_MAX];
  const std::string file = ::realpath(terminal.c_str(), resolved) ? resolved : terminal;
  return baseName(file).ends_with("xterm");
}

}  // namespace

std::vector<std::string> terminalArgv(const std::string& terminal,
                                      const std::vector<std::string>& argv) {
  // -T: the title every x-terminal-emulator takes. xterm's own: the title is UTF-8 (its
  // dash), and the window opens at the screen's top left corner, not where its default
  // placement may leave part of it off screen.
  std::vector<std::string> wrapped{terminal, "-T", kConsoleTitle};
  if (isXtermFamily(terminal))
    wrapped.insert(wrapped.end(), {"-xrm", "*utf8Title: true", "-geometry", "+40+40"});
  wrapped.push_back("-e");
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  return wrapped;
}

pid_t launchDetachedProcess(const std::vector<std::string>& argv, const std::string& outputFile,
                            char* const* envp) {
  if (argv.empty()) return 0;
  // The PATH lookup is ours, by launchSearchPath's rules (root's ignores the user's PATH),
  // so posix_spawn gets a ready path.
  const std::string program = resolveExecutable(argv[0]);
  if (program.empty()) {
    errno = ENOENT;
    return 0;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  // Root hands on a clean environment: a user's variables must not steer what root runs.
  char* const* environment = envp ? envp : environ;
  std::vector<std::string> rootEnvironment;
  std::vector<char*> rootEnvp;
  if (::geteuid() == 0) {
    rootEnvironment = rootLaunchEnvironment(environment);
    for (std::string& entry : rootEnvironment) rootEnvp.push_back(entry.data());
    rootEnvp.push_back(nullptr);
  }

  const int output = openOutput(outputFile);
  SpawnSteps steps;
  steps.detachAndResetSignals();
  steps.redirect(output);
  const pid_t pid =
      steps.spawn(program, args.data(), rootEnvp.empty() ? environment : rootEnvp.data());
  const int error = errno;
  if (output >= 0) ::close(output);
  errno = error;  // the reason, for the caller's message
  return pid;
}

std::string openerExitReason(const std::string& opener, int status) {
  if (WIFSIGNALED(status))
    return opener + " was ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
           ::strsignal(WTERMSIG(status)) + ")";
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 0) return {};
  const int code = WEXITSTATUS(status);
  // xdg-open's exit statuses, as its manual gives them.
  const char* meaning = code == 1   ? "it was called wrongly"
                        : code == 2 ? "the file does not exist"
                        : code == 3 ? "found no program to open it"
                        : code == 4 ? "the program it asked failed"
                                    : "it failed";
  return opener + (code == 3 ? " " : ": ") + meaning + " (exit status " + std::to_string(code) + ")";
}

}  // namespace tovanik
