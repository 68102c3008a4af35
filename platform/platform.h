#pragma once
// Every operating-system operation the panel and tovanikctl use on processes, ports and
// the desktop, behind one interface. One backend per system: LinuxPlatform
// (platform/linux/), WindowsPlatform (platform/windows/); tests pass FakePlatform
// (tests/support/fake_platform.h) through the constructor of what they test. The
// settings files (file_store.h), the server's log's files (log_files.h), the desktop menu
// (desktop_menu.h) and the single-copy lock (single_copy.h) are interfaces of their own,
// reached through fileStore(), logFiles(), desktopMenu() and singleCopy().
//
// Failure: an operation that can fail says so in its result (0, false, nullopt, an empty
// list) and leaves the system's reason in errno (Linux) or GetLastError (Windows) for the
// caller's message; see lastSystemError().

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop_menu.h"
#include "platform/log_files.h"
#include "platform/single_copy.h"

namespace tovanik {

class FileStore;

// What restAlarm returns: the watch lasts as long as it does.
class RestAlarm {
 public:
  virtual ~RestAlarm() = default;
  // The objects to wait on (HANDLEs on Windows); any one signalled rings the alarm.
  virtual const std::vector<void*>& objects() const = 0;
};

// The time every wait, deadline and settle reads: a steady clock that only a Timing tells
// (it has no now() of its own), so that a test platform can run them all on a clock of
// its own.
struct MonotonicClock {
  using rep = std::int64_t;
  using period = std::nano;
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<MonotonicClock>;
  static constexpr bool is_steady = true;
};

// The clock and the wait: the system's (systemTiming()), or a test's.
class Timing {
 public:
  using Clock = MonotonicClock;
  virtual ~Timing() = default;
  virtual Clock::time_point now() = 0;
  // Blocks the calling thread.
  virtual void sleepMs(int milliseconds) = 0;
};

// The system's clock and sleep, for waits below the Platform (the settings store's lock,
// a stop's wait); one implementation per system.
Timing& systemTiming();

enum class ConsoleMode { Hidden, Shown };

// Which server processes count. Processes count by their image name (the file they were
// started from), compared case-insensitively (ASCII letters on Linux, as the file system
// compares names on Windows); `serverPath`, this program folder's
// server executable, lets a privileged caller count another user's process only when it
// was started as exactly that file (see the backends).
struct ServerImage {
  // A bare name converts, for callers that have no folder in mind.
  ServerImage(std::string name, std::string path = {})  // NOLINT(google-explicit-constructor)
      : imageName(std::move(name)), serverPath(std::move(path)) {}
  ServerImage(const char* name) : imageName(name) {}  // NOLINT(google-explicit-constructor)
  std::string imageName;
  std::string serverPath;
};

// What a process says of itself, as far as the caller may see.
struct ProcessInfo {
  int parent = 0;
  std::string executable;              // full path of its image; "" when hidden
  std::vector<std::string> arguments;  // its first few arguments; empty when hidden
};

// What a path names, as far as starting a server from it or serving it goes.
enum class PathKind {
  Unusable,        // missing or unreadable: the system's reason comes with it
  Folder,
  ExecutableFile,  // a regular file the system would run (Linux: any execute bit;
                   // Windows: .exe, .com, .bat or .cmd)
  OtherFile,
};

// Who listens on a TCP port, on any local address.
struct PortUse {
  bool listening = false;
  // PID and name of each holder found; a PID of 0 means the system does not say.
  std::vector<std::pair<int, std::string>> holders;
};

// A hand-off to the desktop's opener, as far as it is known when the call returns.
struct Opening {
  int opener = 0;   // an opener still deciding, for openerEnded; 0 when the outcome is known
  std::string why;  // why nothing could be opened; "" when it was (or may yet be)
};

class Platform : public Timing {
 public:

  // Absolute folder of the running executable, without a trailing separator. "" when
  // unknown.
  virtual std::string programFolder() const = 0;
  // `path` made absolute against the current folder, with links, "." and ".." resolved
  // as the program folder itself is (where the path exists; else resolved as text). ""
  // when it cannot be formed.
  virtual std::string absolutePath(const std::string& path) const = 0;
  // Whether two paths, as text, name one file as the system compares names: byte for
  // byte here, without regard to letter case on Windows.
  virtual bool samePathText(const std::string& a, const std::string& b) const { return a == b; }

  // Starts argv[0] with the rest as arguments, detached from the caller and never
  // waited for: never through a shell, no inherited handles or descriptors but its
  // standard streams. Hidden, its output is appended to the file `outputLog` (the
  // server's log, opened by its rules; discarded when outputLog is ""): the launch marks
  // are server/'s. Shown runs it with a console window of its own that takes the focus
  // (on Linux a terminal program), or hidden when there is none (consoleCanBeShown).
  // `extraEnvironment` (name, value) is set for the launched program only, on top of the
  // environment the backend hands it (a name given there replaces the inherited one).
  // Returns the PID of the started process (the terminal's when shown), 0 when nothing
  // was started (executable missing or not executable).
  virtual int launchDetached(
      const std::vector<std::string>& argv, ConsoleMode mode, const std::string& outputLog,
      const std::vector<std::pair<std::string, std::string>>& extraEnvironment = {}) = 0;

  // Whether a Shown launch would get a console window now: on Linux a display and a
  // terminal program are needed.
  virtual bool consoleCanBeShown() { return true; }

  // The command line a launch of argv hands the system (Windows), as text; "" where the
  // system takes the argument vector itself (Linux).
  virtual std::string launchCommandLine(const std::vector<std::string>& argv) {
    (void)argv;
    return {};
  }

  // PIDs of the live processes of the server image that count for the caller: its own
  // user's (see ServerImage for a privileged caller), never the caller itself or its
  // ancestors. Empty when none match, the name holds a path separator, or the process
  // table cannot be read.
  virtual std::vector<int> findProcesses(const ServerImage& image) = 0;

  // The processes findProcesses leaves out only because they are the caller or its
  // ancestors: a stop run from the server's own page can never end them, and says so.
  virtual std::vector<int> callerServers(const ServerImage& image) {
    (void)image;
    return {};
  }

  // Whether findProcesses would find any: the presence check, run once a second.
  virtual bool anyProcess(const ServerImage& image) { return !findProcesses(image).empty(); }

  // A wake-up for a tick that would only repeat itself: system objects that become
  // signalled when the process anyProcess last found ends or something changes in one of
  // `folders`, for the window's message loop to wait on beside its messages; destroying
  // the alarm ends the watch. Null where the system cannot watch these (the default), and
  // the tick keeps its pace.
  virtual std::unique_ptr<RestAlarm> restAlarm(const std::vector<std::string>& folders) {
    (void)folders;
    return nullptr;
  }

  // Forced stop of every process findProcesses would report that the caller may end,
  // with what it started (on Linux its process group when it leads one); others are
  // skipped silently. Returns the number ended.
  virtual int killProcesses(const ServerImage& image) = 0;

  // Forced stop of one launched process and what it started, whatever its name now is.
  // False when it could not be signalled (gone, not ours).
  virtual bool killLaunched(int pid) = 0;

  // Whether the process exists and has not ended (a zombie has).
  virtual bool isLiveProcess(int pid) = 0;

  // What the process says of itself; nullopt when it does not exist.
  virtual std::optional<ProcessInfo> processInfo(int pid) = 0;

  // Who listens on the port; `likelyHolders` are looked at first. The quick form asks
  // only whether anything listens, nullopt when the system cannot say quickly.
  virtual PortUse portUse(int port, const std::vector<int>& likelyHolders) = 0;
  virtual std::optional<bool> portListening(int port) = 0;

  // Run with the system's highest privilege (root), the first of `paths` (following
  // every link on the way) that the privileged user does not own, or that others may
  // change, as a one-line reason naming it and its owner; nullopt when all are safe, or
  // when the caller is not privileged.
  virtual std::optional<std::string> untrustedPath(const std::vector<std::string>& paths) = 0;

  // Hands an address to the desktop's default program (a browser), the configuration
  // file to the desktop's text editor, a folder to its file manager. What the opener
  // made of it may be known only later (Linux: xdg-open decides after it has started):
  // then the result names the opener to ask openerEnded about.
  virtual Opening openUrl(const std::string& url) = 0;
  virtual Opening openTextFile(const std::string& path) = 0;
  virtual Opening openFolder(const std::string& path) = 0;
  // What became of an opener an Opening named: nullopt while it runs, "" when it did its
  // job, else why not ("xdg-open found no program to open it (exit status 3)"). It
  // never blocks; asked until it answers, it leaves nothing of the opener behind.
  virtual std::optional<std::string> openerEnded(int opener) {
    (void)opener;
    return "";
  }

  // What `path` is (links followed); for Unusable, the reason goes to *why.
  virtual PathKind pathKind(const std::string& path, std::string* why) = 0;

  // A variable of this process's environment; nullopt when unset. Set only before the
  // toolkit reads it (at start-up, or a token for its next activation request); false
  // when it cannot be set.
  virtual std::optional<std::string> environmentVariable(const std::string& name) const = 0;
  virtual bool setEnvironmentVariable(const std::string& name, const std::string& value) = 0;

  // The file operations below the server's log (server/output_log.h).
  virtual LogFiles& logFiles() = 0;

  // The desktop's application menu, where `tovanikctl launcher` puts the panel, or the
  // session's start at login (`launcher install --at-login`).
  virtual DesktopMenu& desktopMenu(MenuPlace place = MenuPlace::Menu) = 0;

  // The single-copy lock of the program file at `executablePath` (not yet taken).
  virtual std::unique_ptr<SingleCopy> singleCopy(const std::string& executablePath) = 0;

  // Every wait, deadline and settle reads the time through now() and waits through
  // sleepMs() (Timing), so a test platform can run them on a clock of its own.

  // The settings files' store (file_store.h): the system's, or a test's fake.
  virtual FileStore& fileStore() = 0;
};

// The reason of the last failed system call of this thread, as text ("No such file or
// directory"), for messages; one implementation per system.
std::string lastSystemError();

}  // namespace tovanik
