#pragma once
// The text of the server's log, the same on every system: its file name, the launch marks,
// the lines, the place of a cut. The file operations are in output_log.cpp, over each
// system's log_files.cpp.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/output_log.h"

namespace tovanik::logtext {

// "<base>-<hash>.log": `base` (the program folder's own name) with everything but ASCII
// letters, digits, ".", "-" and "_" written as "_", at most 64 bytes ("root" when empty),
// and 8 hex digits of a hash of the whole `folder` path, stable across builds.
std::string logFileName(std::string_view base, std::string_view folder);

// "[tovanik 2026-12-07T23:10:01Z] note\n": the mark of one launch or stop, in UTC.
std::string markLine(std::time_t when, std::string_view note);

struct Mark {
  std::time_t when = 0;
  std::string note;
};
// The mark a line holds; nullopt for any other line.
std::optional<Mark> parseMark(std::string_view line);

// The lines of `text`, split at LF; a CR before the LF belongs to the line end, and a
// last line without LF counts.
std::vector<std::string> splitLines(std::string_view text);

// Where the kept part of a cut starts in `tail`, the file's last keep + 1 bytes: at the
// first line start, so that only whole lines are kept; at 1 when there is none.
std::size_t keptStart(std::string_view tail);

// What the latest mark in `tail` (the end of the log) says, with the lines after it;
// `modified` is the file's modification time.
std::optional<LastRun> lastRunIn(std::string_view tail, std::time_t modified);

// The last `count` lines of `text` (all when count < 0).
std::vector<std::string> lastLines(std::string_view text, long count);

}  // namespace tovanik::logtext
