#include "platform/linux/ownership.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>

#include "platform/linux/safe_path.h"

namespace tovanik {
namespace {

constexpr int kMaxLinkHops = 40;  // the kernel's own limit before ELOOP

std::string ownerName(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  const std::string id = "uid " + std::to_string(uid);
  return entry ? std::string(entry->pw_name) + " (" + id + ")" : id;
}

std::string refusal(const std::string& path, const std::string& why) {
  return "refusing, as root, to use " + path + ": " + why;
}

// A real folder on the way to a checked path: `owner`'s, and no one else may change what
// it holds, or one of them could swap what lies below it after the check (rename it away,
// put a folder or a link of theirs in its place). A sticky folder that others may write,
// such as /tmp, is fine: there only an entry's owner may rename or remove it, and the
// entry below is checked next.
std::optional<std::string> problemWithFolder(const std::string& path, const std::string& folder,
                                             const struct stat& info, uid_t owner) {
  if (info.st_uid != owner)
    return refusal(path, "the folder " + folder + " is owned by " + ownerName(info.st_uid));
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0)
    return refusal(path, "group or others may write the folder " + folder + " (owner " +
                             ownerName(info.st_uid) + ")");
  return std::nullopt;
}

// A missing part is safe only where nobody else can create it: the deepest existing
// folder above it must be `owner`'s and writable by `owner` alone. A sticky bit does not
// help here, for it guards existing names only: another user could create the missing
// name (a folder, a program, a link) right after the check, and root would use theirs.
std::optional<std::string> problemWithMissing(const std::string& path, const std::string& missing,
                                              const std::string& folder, uid_t owner) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return refusal(path, std::strerror(errno));
  if (info.st_uid == owner && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0) return std::nullopt;
  if (info.st_uid != owner)
    return refusal(path, missing + " does not exist, and the folder " + folder +
                             " that would hold it is owned by " + ownerName(info.st_uid));
  return refusal(path, missing + " does not exist, and group or others may create it in the folder " +
                           folder + " (owner " + ownerName(info.st_uid) + ")");
}

// Follows `path` part by part as the kernel would, from "/": every real folder on the way
// and every link met must be `owner`'s; then the target itself.
std::optional<std::string> problemWith(const std::string& path, uid_t owner) {
  std::string at;  // real folders so far, "" standing for "/"
  std::deque<std::string> rest = componentsOf(path);
  int hops = 0;
  struct stat info {};
  if (::lstat("/", &info) != 0) return refusal(path, std::strerror(errno));
  if (!rest.empty())
    if (auto problem = problemWithFolder(path, "/", info, owner)) return problem;
  while (!rest.empty()) {
    const std::string part = rest.front();
    rest.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      at.erase(std::min(at.rfind('/'), at.size()));
      continue;
    }
    const std::string next = at + "/" + part;
    if (::lstat(next.c_str(), &info) != 0) {
      if (errno != ENOENT) return refusal(path, std::strerror(errno));
      return problemWithMissing(path, next, at.empty() ? "/" : at, owner);
    }
    if (!S_ISLNK(info.st_mode)) {
      // The target itself is judged below, by the rule for what is used.
      if (!rest.empty() && S_ISDIR(info.st_mode))
        if (auto problem = problemWithFolder(path, next, info, owner)) return problem;
      at = next;
      continue;
    }
    if (info.st_uid != owner)
      return refusal(path, "the link " + next + " is owned by " + ownerName(info.st_uid));
    if (++hops > kMaxLinkHops) return refusal(path, std::strerror(ELOOP));
    std::string target(static_cast<std::size_t>(info.st_size) + 256, '\0');
    const ssize_t length = ::readlink(next.c_str(), target.data(), target.size());
    if (length <= 0) return refusal(path, std::strerror(length < 0 ? errno : EINVAL));
    target.resize(static_cast<std::size_t>(length));
    if (target.front() == '/') at.clear();
    const auto targetParts = componentsOf(target);
    rest.insert(rest.begin(), targetParts.begin(), targetParts.end());
  }
  const std::string target = at.empty() ? "/" : at;
  if (::stat(target.c_str(), &info) != 0)
    return errno == ENOENT ? std::nullopt : std::optional(refusal(path, std::strerror(errno)));
  const std::string shown = target == path ? path : path + " (" + target + ")";
  if (info.st_uid != owner) return refusal(shown, "owned by " + ownerName(info.st_uid));
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return refusal(shown, "group or others may write it (owner " + ownerName(info.st_uid) + ")");
  return std::nullopt;
}

}  // namespace

std::optional<std::string> firstPathNotOwnedBy(const std::vector<std::string>& paths, uid_t owner) {
  for (const std::string& path : paths)
    if (auto problem = problemWith(path, owner)) return problem;
  return std::nullopt;
}

bool isSafeFolder(const std::string& path) {
  struct stat info {};
  if (path.empty() || path.front() != '/' || ::stat(path.c_str(), &info) != 0 ||
      !S_ISDIR(info.st_mode))
    return false;
  if (::geteuid() == 0) return !firstPathNotOwnedBy({path}, 0);
  return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace tovanik
