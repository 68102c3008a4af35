#include "platform/file_store.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/linux/file_bytes.h"
#include "platform/linux/safe_path.h"
#include "platform/why_not.h"

namespace tovanik {

std::optional<std::string> readSettingsFile(const std::string& path, std::string* whyNot) {
  const auto target = resolveSettingsPath(path, whyNot);
  if (!target) return std::nullopt;
  return readResolvedFile(target->path(), whyNot);
}

std::optional<FileStamp> fileStamp(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  constexpr std::int64_t kNs = 1000000000;
  return FileStamp{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                   static_cast<std::uint64_t>(info.st_size),
                   info.st_mtim.tv_sec * kNs + info.st_mtim.tv_nsec,
                   info.st_ctim.tv_sec * kNs + info.st_ctim.tv_nsec};
}

bool ensureFolder(const std::string& path, std::string* whyNot) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;  // less the umask
  const int error = errno;
  struct stat info {};
  if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  return failedWithErrno(whyNot, error == EEXIST ? ENOTDIR : error);
}

}  // namespace tovanik
