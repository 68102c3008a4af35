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

bool ensureFolder(const std::string& path, std::string* whyNot) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;  // less the umask
  const int error = errno;
  struct stat info {};
  if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  return failedWithErrno(whyNot, error == EEXIST ? ENOTDIR : error);
}

}  // namespace tovanik
