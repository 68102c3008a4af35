#include "platform/linux/safe_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>

#include "platform/why_not.h"

namespace tovanik {
namespace {

constexpr int kMaxSymlinkHops = 40;  // the kernel's own limit before ELOOP

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

// The canonical path of the last step, pinned for root.
std::optional<SettingsPath> settle(const std::string& canonical, bool asRoot, std::string* whyNot) {
  if (!asRoot) return SettingsPath(canonical);
  const int folder = openFolderWithoutLinks(folderOf(canonical));
  if (folder < 0) {
    failedWithErrno(whyNot, errno);
    return std::nullopt;
  }
  const std::string pinned = "/proc/self/fd/" + std::to_string(folder);
  struct stat info {};
  if (::stat(pinned.c_str(), &info) != 0) {  // no /proc: the checked path it is
    ::close(folder);
    return SettingsPath(canonical);
  }
  return SettingsPath(pinned + '/' + nameOf(canonical), folder, canonical);
}

}  // namespace

SettingsPath::SettingsPath(std::string path, int folderFd, std::string shown)
    : path_(std::move(path)), folderFd_(folderFd), shown_(std::move(shown)) {}

SettingsPath::~SettingsPath() {
  if (folderFd_ >= 0) ::close(folderFd_);
}

SettingsPath::SettingsPath(SettingsPath&& other) noexcept
    : path_(std::move(other.path_)), folderFd_(other.folderFd_), shown_(std::move(other.shown_)) {
  other.folderFd_ = -1;
}

int openFolderWithoutLinks(const std::string& folder) {
  int fd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (const std::string& part : componentsOf(folder)) {
    if (fd < 0) break;
    const int next = ::openat(fd, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    ::close(fd);
    errno = error;
    fd = next;
  }
  return fd;
}

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

std::string lexicallyAbsolute(const std::string& path) {
  std::string absolute;  // "" standing for "/"
  if (path.empty() || path.front() != '/') {
    const auto cwd = currentFolder(nullptr);
    if (!cwd) return {};
    absolute = *cwd == "/" ? "" : *cwd;
  }
  for (const std::string& part : componentsOf(path)) {
    if (part == ".") continue;
    if (part == "..") {
      absolute.erase(std::min(absolute.rfind('/'), absolute.size()));
      continue;
    }
    absolute += '/' + part;
  }
  return absolute.empty() ? "/" : absolute;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<SettingsPath> resolveSettingsPath(const std::string& path, std::string* whyNot) {
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
      if (errno == ENOENT && rest.empty()) return settle(next, asRoot, whyNot);
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
  return settle(resolved.empty() ? "/" : resolved, asRoot, whyNot);
}

}  // namespace tovanik
