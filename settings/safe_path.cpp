#include "settings/safe_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>

#include "settings/why_not.h"

namespace tovanik {
namespace {

constexpr int kMaxSymlinkHops = 40;  // the kernel's own limit before ELOOP

std::deque<std::string> componentsOf(const std::string& path) {
  std::deque<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    if (slash > start) parts.emplace_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

std::optional<std::string> currentFolder(std::string* whyNot) {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer)) return std::string(buffer);
  failedWithErrno(whyNot, errno);
  return std::nullopt;
}

std::optional<std::string> readLink(const std::string& path, std::size_t size,
                                    std::string* whyNot) {
  std::string target(size + 256, '\0');
  const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
    failedWithErrno(whyNot, length < 0 ? errno : EINVAL);
    return std::nullopt;
  }
  target.resize(static_cast<std::size_t>(length));
  return target;
}

}  // namespace

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> resolveSettingsPath(const std::string& path, std::string* whyNot) {
  const bool asRoot = ::geteuid() == 0;
  std::string resolved;  // a path of real folders, "" standing for "/"
  if (path.empty() || path.front() != '/') {
    const auto cwd = currentFolder(whyNot);
    if (!cwd) return std::nullopt;
    resolved = *cwd == "/" ? "" : *cwd;
  }
  std::deque<std::string> rest = componentsOf(path);
  int hops = 0;
  while (!rest.empty()) {
    const std::string part = rest.front();
    rest.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      const auto slash = resolved.rfind('/');
      resolved.erase(slash == std::string::npos ? 0 : slash);
      continue;
    }
    const std::string next = resolved + "/" + part;
    struct stat info {};
    if (::lstat(next.c_str(), &info) != 0) {
      // Only the file itself may be missing: it is then created.
      if (errno == ENOENT && rest.empty()) return next;
      failedWithErrno(whyNot, errno);
      return std::nullopt;
    }
    if (!S_ISLNK(info.st_mode)) {
      resolved = next;
      continue;
    }
    if (++hops > kMaxSymlinkHops) {
      failedWithErrno(whyNot, ELOOP);
      return std::nullopt;
    }
    if (asRoot && info.st_uid != 0) {
      failed(whyNot, "refusing, as root, to follow " + next + ", a symbolic link owned by uid " +
                         std::to_string(info.st_uid));
      return std::nullopt;
    }
    const auto target = readLink(next, static_cast<std::size_t>(info.st_size), whyNot);
    if (!target) return std::nullopt;
    if (target->front() == '/') resolved.clear();
    auto targetParts = componentsOf(*target);
    rest.insert(rest.begin(), targetParts.begin(), targetParts.end());
  }
  return resolved.empty() ? "/" : resolved;
}

}  // namespace tovanik
