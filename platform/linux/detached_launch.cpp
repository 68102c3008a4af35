#include "platform/linux/detached_launch.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/linux/launch_environment.h"
#include "platform/linux/log_files.h"
#include "platform/path_text.h"

extern char** environ;

namespace tovanik {

namespace {

// What the two cloned processes need, prepared before they exist: between the clone and
// the exec they share the caller's memory, so they may not allocate, take a lock or
// touch anything of the caller but this. They write their results back into it.
struct LaunchPlan {
  const char* program;
  char* const* argv;
  char* const* envp;
  int inputFd;   // /dev/null
  int outputFd;  // the output file or /dev/null
  char* grandchildStackTop;
  volatile int error;  // errno of the step that failed; 0 once the exec succeeded
  volatile pid_t pid;  // the program's
};

// The kernel's struct sigaction for rt_sigaction: calling the kernel directly keeps the
// children clear of the C library's and the sanitizers' wrappers.
struct KernelSigaction {
  void (*handler)(int);
  unsigned long flags;
  void (*restorer)();
  std::uint64_t mask;
};
constexpr int kHighestSignal = 64;
constexpr std::size_t kKernelSigsetSize = 8;

#define CHILD_CODE __attribute__((no_sanitize("address", "undefined")))

CHILD_CODE [[noreturn]] void failInChild(LaunchPlan* plan, int error) {
  plan->error = error ? error : EIO;
  ::syscall(SYS_exit_group, 127);
  __builtin_unreachable();
}

CHILD_CODE void closeDescriptorsFrom3() {
  if (::syscall(SYS_close_range, 3u, ~0u, 0u) == 0) return;
  // Kernels before 5.9 have no close_range: close every possible descriptor number.
  rlimit limit{};
  rlim_t highest = (::syscall(SYS_prlimit64, 0, RLIMIT_NOFILE, nullptr, &limit) == 0 &&
                    limit.rlim_cur != RLIM_INFINITY)
                       ? limit.rlim_cur
                       : 65536;
  for (rlim_t fd = 3; fd < highest; ++fd) ::syscall(SYS_close, static_cast<int>(fd));
}

// Runs in the server's own process until the exec.
CHILD_CODE int execServer(void* argument) {
  auto* plan = static_cast<LaunchPlan*>(argument);
  // Dispositions first, while every signal is still blocked (the caller blocked them
  // before cloning): a handler of the caller must never run on this stack.
  const KernelSigaction defaults{SIG_DFL, 0, nullptr, 0};
  for (int sig = 1; sig <= kHighestSignal; ++sig)
    ::syscall(SYS_rt_sigaction, sig, &defaults, nullptr, kKernelSigsetSize);
  // A session of its own, led by the program itself: no controlling terminal, and its
  // process group is not the caller's, so a terminal's Ctrl+C aimed at the panel misses
  // it, while a stop can end the whole group (PHP's workers, a wrapper's children).
  if (::syscall(SYS_setsid) < 0) failInChild(plan, errno);
  // The descriptors are above 2 (see openAbove2), so dup3 never meets itself.
  if (::syscall(SYS_dup3, plan->inputFd, 0, 0) < 0 ||
      ::syscall(SYS_dup3, plan->outputFd, 1, 0) < 0 ||
      ::syscall(SYS_dup3, plan->outputFd, 2, 0) < 0)
    failInChild(plan, errno);
  closeDescriptorsFrom3();
  const std::uint64_t none = 0;
  ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, kKernelSigsetSize);
  ::syscall(SYS_execve, plan->program, plan->argv, plan->envp);
  failInChild(plan, errno);
}

// The intermediate: starts the server and exits, so the server is orphaned at once.
// CLONE_VFORK keeps it waiting until the server has run its exec (or failed), so its
// exit, which the caller waits for, comes after the outcome is known.
CHILD_CODE int startServerAndExit(void* argument) {
  auto* plan = static_cast<LaunchPlan*>(argument);
  plan->pid = ::clone(execServer, plan->grandchildStackTop, CLONE_VM | CLONE_VFORK | SIGCHLD, plan);
  if (plan->pid < 0) plan->error = errno;
  ::syscall(SYS_exit_group, 0);
  return 0;
}

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// Opens a close-on-exec descriptor numbered 3 or higher: when the caller runs with
// closed standard streams, open() could hand out 0..2, which the child replaces.
int moveAbove2(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

int openAbove2(const char* path, int flags) { return moveAbove2(::open(path, flags | O_CLOEXEC)); }

// The log by its own rules (log_files.h): nothing planted in its place is written to or
// waited for.
int openOutput(const std::string& outputFile) {
  if (!outputFile.empty()) {
    const int fd = moveAbove2(openOwnLog(outputFile, LogFiles::Access::Append));
    if (fd >= 0) return fd;
  }
  return openAbove2("/dev/null", O_WRONLY);
}

// Two stacks, one for each cloned process; they are in use at the same time.
class ChildStacks {
 public:
  static constexpr std::size_t kEach = 256 * 1024;
  ChildStacks()
      : base_(::mmap(nullptr, 2 * kEach, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK | MAP_NORESERVE, -1, 0)) {}
  ~ChildStacks() {
    if (ok()) ::munmap(base_, 2 * kEach);
  }
  ChildStacks(const ChildStacks&) = delete;
  ChildStacks& operator=(const ChildStacks&) = delete;
  bool ok() const { return base_ != MAP_FAILED; }
  char* firstTop() const { return static_cast<char*>(base_) + kEach; }
  char* secondTop() const { return static_cast<char*>(base_) + 2 * kEach; }

 private:
  void* base_;
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

namespace {

// Both launches: `detached` through the intermediate process, else as the caller's child.
pid_t launchProcess(const std::vector<std::string>& argv, const std::string& outputFile,
                    char* const* envp, bool detached) {
  if (argv.empty()) return 0;
  // The PATH lookup happens here, where allocating is allowed; the child only calls
  // execve() on a ready path.
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

  ChildStacks stacks;
  const int input = openAbove2("/dev/null", O_RDONLY);
  const int output = openOutput(outputFile);
  LaunchPlan plan{program.c_str(), args.data(), rootEnvp.empty() ? environment : rootEnvp.data(),
                  input,           output,      stacks.secondTop(),
                  0,               0};
  pid_t child = -1;
  if (stacks.ok() && input >= 0 && output >= 0) {
    // No signal may be handled between the clone and the children's reset: a handler
    // would run the caller's code on a child's stack, in the caller's memory.
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    child = detached ? ::clone(startServerAndExit, stacks.firstTop(),
                               CLONE_VM | CLONE_VFORK | SIGCHLD, &plan)
                     : ::clone(execServer, stacks.firstTop(), CLONE_VM | CLONE_VFORK | SIGCHLD, &plan);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  if (input >= 0) ::close(input);
  if (output >= 0) ::close(output);
  if (child < 0) return 0;
  // The intermediate has exited by now; a child whose exec failed has too.
  if (detached || plan.error != 0)
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  if (plan.error != 0) {
    errno = plan.error;  // the reason, for the caller's message
    return 0;
  }
  return detached ? plan.pid : child;
}

}  // namespace

pid_t launchDetachedProcess(const std::vector<std::string>& argv, const std::string& outputFile,
                            char* const* envp) {
  return launchProcess(argv, outputFile, envp, true);
}

pid_t launchChildProcess(const std::vector<std::string>& argv) {
  return launchProcess(argv, {}, nullptr, false);
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
