#pragma once
// The file that collects what a hidden server prints; one implementation per system. PHP holds it
// open with O_APPEND for as long as it runs, so the file is never replaced: it is cut in place,
// keeping its newest lines, whenever one of our programs finds it over the limit. A line of ours
// marks each launch, so the output of the latest run can be told from older runs.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace tovanik {

// $XDG_STATE_HOME/tovanik when XDG_STATE_HOME is an absolute path, else
// $HOME/.local/state/tovanik; "" when neither can be formed. Run as root, a folder from the
// environment counts only when root owns it (links on the way included) and no one else may write
// it; else root's own home from the password database. (On Windows: %LOCALAPPDATA%\Tovanik\logs.)
std::string stateFolder();

// The log of the server of one program folder: "<folder's base name>-<hash>.log" in the
// state folder, the hash taken over the whole path so that two folders of the same name
// keep apart. "" when there is no state folder.
std::string outputLogPath(const std::string& programFolder);

// Size limits: over kLogLimit bytes, the file is cut to its newest kLogKeep bytes (from
// a line start).
constexpr std::uint64_t kLogLimit = 4u << 20;
constexpr std::uint64_t kLogKeep = 1u << 20;

// Cuts the file in place when it is larger than `limit`. Returns false only when a cut
// was due and failed. Lines the server appends during the cut itself may be lost.
bool trimOutputLog(const std::string& path, std::uint64_t limit = kLogLimit,
                   std::uint64_t keep = kLogKeep);

// Creates the state folder (mode 0700) when missing, trims the log and appends a mark
// with the current time and `note` ("server started", "server stopped", ...). Returns false when
// the file cannot be written; the launch then goes ahead with its output discarded.
bool markLaunch(const std::string& path, const std::string& note);
// Whether the log exists: a stop is noted only in a log that a launch began.
bool outputLogExists(const std::string& path);
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
std::optional<LastRun> readLastRun(const std::string& path);

// The last `count` lines of the file (all of them when count < 0); nullopt when it
// cannot be read.
std::optional<std::vector<std::string>> tailLines(const std::string& path, long count);

// For following the log: its size, and its bytes from `offset` to its end; nullopt when it
// cannot be read.
std::optional<std::uint64_t> outputLogSize(const std::string& path);
std::optional<std::string> readOutputLogFrom(const std::string& path, std::uint64_t offset);

// Why stateFolder() found none, for the message that says so.
extern const char* const kNoStateFolder;

}  // namespace tovanik
