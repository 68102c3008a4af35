#include "platform/linux/user_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/ownership.h"

namespace tovanik {
namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Root's test for a folder named by someone else's environment.
bool trustedByRoot(const std::string& folder) {
  if (firstPathNotOwnedBy({folder}, 0)) return false;
  struct stat info {};
  return ::stat(folder.c_str(), &info) == 0 ? S_ISDIR(info.st_mode) : errno == ENOENT;
}

}  // namespace

std::string trustedFolderVariable(const char* name, bool existingMustBeSafe) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return {};
  const std::string folder = withoutTrailingSlashes(value);
  if (::geteuid() == 0 && !trustedByRoot(folder)) return {};
  if (existingMustBeSafe && ::access(folder.c_str(), F_OK) == 0 && !isSafeFolder(folder)) return {};
  return folder;
}

std::string homeFolder() {
  std::string home = trustedFolderVariable("HOME");
  if (home.empty()) {
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir[0] == '/')
      home = withoutTrailingSlashes(entry->pw_dir);
  }
  return home;
}

std::string xdgFolder(const char* variable, const char* underHome, bool existingMustBeSafe) {
  std::string folder = trustedFolderVariable(variable, existingMustBeSafe);
  if (!folder.empty()) return folder;
  const std::string home = homeFolder();
  return home.empty() ? home : (home == "/" ? "" : home) + "/" + underHome;
}

}  // namespace tovanik
