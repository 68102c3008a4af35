#include "platform/linux/make_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tovanik {

bool makeFolders(const std::string& path, mode_t mode, bool* createdLast) {
  const bool asRoot = ::geteuid() == 0;
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    const bool made = ::mkdir(prefix.c_str(), mode) == 0;
    if (!made && errno != EEXIST) return false;
    struct stat info {};
    if (asRoot && !made && ::lstat(prefix.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
        info.st_uid != 0) {
      errno = ELOOP;
      return false;
    }
    if (slash == std::string::npos) {
      if (createdLast) *createdLast = made;
      return true;
    }
  }
}

}  // namespace tovanik
