#pragma once
// Every operating-system operation the panel and tovanikctl use, behind one interface.
// The Linux backend is LinuxPlatform (linux_platform.h); tests pass FakePlatform
// (fake_platform.h) through the constructor of what they test.

#include <string>
#include <vector>

namespace tovanik {

enum class ConsoleMode { Hidden, Shown };

class Platform {
 public:
  virtual ~Platform() = default;

  // Absolute folder of the running executable, without a trailing '/'. "" when unknown.
  virtual std::string programFolder() const = 0;

  // Starts argv[0] with the rest as arguments, detached from the caller: never through a
  // shell, in a new session (so it leads its process group), stdin on /dev/null, no
  // inherited descriptors, default signal handling, reparented to init so it never
  // lingers as our zombie, in the current directory. Hidden, its output is appended to
  // `outputLog` after a launch mark (on /dev/null when outputLog is ""). Shown runs it
  // inside a terminal window (x-terminal-emulator or xterm, with -e) that takes the
  // focus, or hidden when no terminal program exists.
  // Returns the PID of the started process (the terminal's when shown), 0 when nothing
  // was started (executable missing or not executable).
  virtual int launchDetached(const std::vector<std::string>& argv, ConsoleMode mode,
                             const std::string& outputLog) = 0;

  // PIDs of the live processes (zombies and dead ones excluded) started from a file
  // named `imageName`, ASCII case-insensitively: the caller's own user's processes
  // (every user's for root), never the caller or its ancestors. Empty when none match,
  // the name holds '/', or the process table cannot be read. (See proc_table.h.)
  virtual std::vector<int> findProcesses(const std::string& imageName) = 0;

  // Whether findProcesses would find any: the presence check, run once a second.
  virtual bool anyProcess(const std::string& imageName) {
    return !findProcesses(imageName).empty();
  }

  // Forced stop (SIGKILL) of every process findProcesses would report that the caller
  // may signal, with the whole process group of one that leads its group; others are
  // skipped silently. Returns the number signalled.
  virtual int killProcesses(const std::string& imageName) = 0;

  // Hands an address, or a local file or folder, to the desktop's default program.
  // Returns false when no program could be asked.
  virtual bool openUrl(const std::string& url) = 0;
  virtual bool openPath(const std::string& path) = 0;

  // Blocks the calling thread.
  virtual void sleepMs(int milliseconds) = 0;
};

}  // namespace tovanik
