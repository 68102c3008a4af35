#pragma once
// The file that collects what a hidden server prints. PHP holds it open for appending for as
// long as it runs, so the file is never replaced: it is cut in place, keeping its newest
// lines, whenever one of our programs finds it over the limit. A line of ours marks each
// launch, so the output of the latest run can be told from older runs. Written once for
// every system over the file operations of log_files.h (Platform::logFiles(): the running
// system's, or a test platform's in memory).
//
// Failure: false or nullopt, the system's reason left as log_files.h says.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/log_files.h"

namespace tovanik {

// Size limits: over kLogLimit bytes, the file is cut to its newest kLogKeep bytes (from
// a line start).
constexpr std::uint64_t kLogLimit = 4u << 20;
constexpr std::uint64_t kLogKeep = 1u << 20;

inline constexpr const char* kMarkStarted = "server started";
inline constexpr const char* kMarkStartedInTerminal = "server started in a terminal";
inline constexpr const char* kMarkStopped = "server stopped";
// Notes that a launch came up: it did not end at once, whenever it ends.
inline constexpr const char* kMarkListening = "server listening";
inline constexpr const char* kMarkRunning = "server running";

// What the log says of the latest launch.
struct LastRun {
  std::string note;                // what the latest mark says, e.g. "server started"
  std::time_t launched = 0;        // time in the latest mark
  std::time_t lastOutput = 0;      // the file's modification time
  std::vector<std::string> lines;  // what the server printed after that mark
};

class OutputLog {
 public:
  explicit OutputLog(LogFiles& files) : files_(files) {}

  // Linux: $XDG_STATE_HOME/tovanik when XDG_STATE_HOME is an absolute path, else
  // $HOME/.local/state/tovanik; run as root, a folder from the environment counts only when
  // root owns it (links on the way included) and no one else may write it, else root's own
  // home from the password database. Windows: %LOCALAPPDATA%\Tovanik\logs. "" when none
  // can be formed.
  std::string stateFolder() { return files_.stateFolder(); }
  std::string noStateFolderReason() const { return files_.noStateFolderReason(); }

  // The log of the server of one program folder: "<folder's base name>-<hash>.log" in the
  // state folder, the hash taken over the whole path so that two folders of the same name
  // keep apart. "" when there is no state folder.
  std::string outputLogPath(const std::string& programFolder);

  // Cuts the file in place when it is larger than `limit`. Returns false only when a cut
  // was due and failed. Lines the server appends during the cut itself may be lost.
  bool trimOutputLog(const std::string& path, std::uint64_t limit = kLogLimit,
                     std::uint64_t keep = kLogKeep);

  // Creates the state folder (private) when missing, trims the log and appends a mark with
  // the current time and `note` (kMarkStarted, ...). Returns false when the file cannot be
  // written; a launch then goes ahead with its output discarded.
  bool markLaunch(const std::string& path, const std::string& note);
  // A launch marked at `markedAt` (the file's size before its mark) that could not start:
  // its mark gives way to one saying so and why, so a failed launch leaves one mark.
  bool markFailedLaunch(const std::string& path, std::uint64_t markedAt, const std::string& why);
  // Whether the log exists: a stop is noted only in a log that a launch began.
  bool outputLogExists(const std::string& path);

  std::optional<LastRun> readLastRun(const std::string& path);

  // The last `count` lines of the file (all of them when count < 0); nullopt when it
  // cannot be read.
  std::optional<std::vector<std::string>> tailLines(const std::string& path, long count);

  // For following the log: its size, and its bytes from `offset` to its end.
  std::optional<std::uint64_t> outputLogSize(const std::string& path);
  std::optional<std::string> readOutputLogFrom(const std::string& path, std::uint64_t offset);

 private:
  LogFiles& files_;
};

}  // namespace tovanik
