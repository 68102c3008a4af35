#include "platform/detached_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tovanik {

namespace {

// Everything below runs between fork() and exec(), in a copy of a possibly
// multi-threaded process: only async-signal-safe calls, no allocation, no locks.

void reportFailure(int reportFd, int error) {
  ssize_t ignored = ::write(reportFd, &error, sizeof error);
  (void)ignored;
}

void resetSignalHandling() {
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  // SIGKILL, SIGSTOP and the C library's internal signals refuse; that is fine.
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &defaults, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Closes every descriptor above 2 except keepFd (the close-on-exec report pipe, which
// must stay open until exec succeeds or fails).
void closeInheritedDescriptors(int keepFd) {
  const unsigned keep = static_cast<unsigned>(keepFd);
  bool done =
      (keep == 3 || ::close_range(3, keep - 1, 0) == 0) && ::close_range(keep + 1, ~0U, 0) == 0;
  if (done) return;
  // Kernels before 5.9 have no close_range: close every possible descriptor number.
  rlimit limit{};
  rlim_t highest = (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
                       ? limit.rlim_cur
                       : 65536;
  for (rlim_t fd = 3; fd < highest; ++fd)
    if (static_cast<int>(fd) != keepFd) ::close(static_cast<int>(fd));
}

bool redirectStandardStreamsToNull() {
  int nullFd = ::open("/dev/null", O_RDWR);
  if (nullFd < 0) return false;
  for (int fd = 0; fd <= 2; ++fd)
    if (fd != nullFd && ::dup2(nullFd, fd) < 0) return false;
  if (nullFd > 2) ::close(nullFd);
  return true;
}

[[noreturn]] void execInGrandchild(const char* program, char* const* args, int reportFd) {
  resetSignalHandling();
  // A session of its own, led by the program itself: no controlling terminal, and its
  // process group is not ours, so a terminal's Ctrl+C aimed at the panel misses it.
  ::setsid();
  // If the caller ran with closed standard streams the pipe may sit on 0..2, which are
  // about to be replaced; move it out of the way first.
  if (reportFd <= 2) reportFd = ::fcntl(reportFd, F_DUPFD_CLOEXEC, 3);
  if (reportFd < 0 || !redirectStandardStreamsToNull()) {
    reportFailure(reportFd, errno);
    ::_exit(127);
  }
  closeInheritedDescriptors(reportFd);
  ::execv(program, args);
  reportFailure(reportFd, errno);
  ::_exit(127);
}

[[noreturn]] void runIntermediateChild(const char* program, char* const* args, int reportFd) {
  // Leave the caller's session at once, so nothing aimed at its process group reaches
  // the short-lived child either.
  ::setsid();
  pid_t grandchild = ::fork();
  if (grandchild == 0) execInGrandchild(program, args, reportFd);
  if (grandchild < 0) reportFailure(reportFd, errno);
  // Exiting orphans the grandchild; init (or a subreaper) adopts and later reaps it.
  ::_exit(grandchild < 0 ? 1 : 0);
}

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string resolveExecutable(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return name;
  const char* pathVariable = std::getenv("PATH");
  std::string path = pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
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

std::string findTerminalProgram() {
  for (const char* name : {"x-terminal-emulator", "xterm"}) {
    std::string path = resolveExecutable(name);
    if (!path.empty()) return path;
  }
  return {};
}

std::vector<std::string> terminalArgv(const std::string& terminal,
                                      const std::vector<std::string>& argv) {
  std::vector<std::string> wrapped{terminal, "-e"};
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  return wrapped;
}

bool launchDetachedProcess(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  // The PATH lookup happens here rather than through execvp() in the child, which
  // may allocate; the children then only call execv() on a ready path.
  const std::string program = resolveExecutable(argv[0]);
  if (program.empty()) return false;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  // The grandchild writes its errno here when exec fails; a successful exec closes the
  // write end (close-on-exec), so end-of-file means the program is running.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    ::close(report[0]);
    runIntermediateChild(program.c_str(), args.data(), report[1]);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int childError = 0;
  ssize_t got = 0;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  return got == 0;
}

}  // namespace tovanik
