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

// Follows `path` part by part as the kernel would, checking each link met; then the
// target itself.
std::optional<std::string> problemWith(const std::string& path, uid_t owner) {
  std::string at;  // real folders so far, "" standing for "/"
  std::deque<std::string> rest = componentsOf(path);
  int hops = 0;
  struct stat info {};
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
      if (errno == ENOENT) return std::nullopt;  // nothing there to run, read or serve
      return refusal(path, std::strerror(errno));
    }
    if (!S_ISLNK(info.st_mode)) {
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

}  // namespace tovanik
