#include "server/output_log.h"

#include "server/log_text.h"
#include "platform/path_text.h"

namespace tovanik {
namespace {

// The last `length` bytes of an open file (fewer when it is shorter).
std::optional<std::string> readTail(LogFile& file, std::uint64_t length) {
  const auto size = file.size();
  if (!size) return std::nullopt;
  const std::uint64_t take = *size < length ? *size : length;
  std::string bytes(take, '\0');
  if (take > 0 && !file.readAt(*size - take, bytes)) return std::nullopt;
  return bytes;
}

}  // namespace

std::string OutputLog::outputLogPath(const std::string& programFolder) {
  const std::string folder = stateFolder();
  if (folder.empty()) return {};
  return joinPath(folder, logtext::logFileName(std::string(baseName(programFolder)), programFolder));
}

bool OutputLog::trimOutputLog(const std::string& path, std::uint64_t limit, std::uint64_t keep) {
  // Asked once a second while the panel runs: a file below the limit is not even opened.
  const auto size = files_.sizeOf(path);
  if (!size || *size <= limit) return true;
  const auto file = files_.open(path, LogFiles::Access::ReadWrite);
  if (!file) return false;
  // Two of our programs may find the file too large at once; one cut is enough.
  if (!file->tryLockForCut()) return true;
  // One byte more than is kept: the byte before the kept part tells whether that part
  // starts a line. The size is read again under the lock: another cut may have been first.
  const auto now = file->size();
  const auto tail = readTail(*file, keep + 1);
  if (!now || !tail) return false;
  if (*now <= limit) return true;
  const std::size_t start = logtext::keptStart(*tail);
  const std::string_view kept = std::string_view(*tail).substr(start);
  return file->writeAt(0, kept) && file->truncate(kept.size());
}

bool OutputLog::markLaunch(const std::string& path, const std::string& note) {
  if (path.empty()) return false;
  if (const std::string_view folder = parentFolder(path);
      !folder.empty() && !files_.makeFolders(std::string(folder)))
    return false;
  trimOutputLog(path);
  const auto file = files_.open(path, LogFiles::Access::Append);
  return file && file->append(logtext::markLine(std::time(nullptr), note));
}

bool OutputLog::markFailedLaunch(const std::string& path, std::uint64_t markedAt,
                                 const std::string& why) {
  if (const auto file = files_.open(path, LogFiles::Access::ReadWrite))
    if (file->size().value_or(0) > markedAt) file->truncate(markedAt);
  return markLaunch(path, "server could not be started: " + why);
}

bool OutputLog::outputLogExists(const std::string& path) {
  return !path.empty() && files_.exists(path);
}

std::optional<LastRun> OutputLog::readLastRun(const std::string& path) {
  // A run that ended at once printed a few lines; its mark is near the end.
  constexpr std::uint64_t kLookBack = 64 * 1024;
  const auto file = files_.open(path, LogFiles::Access::Read);
  if (!file) return std::nullopt;
  const auto tail = readTail(*file, kLookBack);
  if (!tail) return std::nullopt;
  return logtext::lastRunIn(*tail, file->modified());
}

std::optional<std::vector<std::string>> OutputLog::tailLines(const std::string& path, long count) {
  const auto file = files_.open(path, LogFiles::Access::Read);
  if (!file) return std::nullopt;
  const auto all = readTail(*file, ~0ull);
  if (!all) return std::nullopt;
  return logtext::lastLines(*all, count);
}

std::optional<std::uint64_t> OutputLog::outputLogSize(const std::string& path) {
  return files_.sizeOf(path);
}

std::optional<std::string> OutputLog::readOutputLogFrom(const std::string& path,
                                                        std::uint64_t offset) {
  const auto file = files_.open(path, LogFiles::Access::Read);
  if (!file) return std::nullopt;
  const auto size = file->size();
  if (!size) return std::nullopt;
  std::string bytes(*size > offset ? *size - offset : 0, '\0');
  if (!bytes.empty() && !file->readAt(offset, bytes)) return std::nullopt;
  return bytes;
}

}  // namespace tovanik
