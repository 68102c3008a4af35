#include "settings/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace tovanik {
namespace {

constexpr int kMaxSymlinkHops = 40;  // the kernel's own limit before ELOOP
// Room left for the ".", the ".XXXXXX" suffix within the 255-byte name limit.
constexpr std::size_t kMaxTempBaseLength = 200;
constexpr mode_t kOwnerReadWrite = S_IRUSR | S_IWUSR;
constexpr mode_t kPermissionBits = 07777;

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links at the last component of `path`, so the new file is renamed over
// the file the link names instead of over the link. A dangling link resolves to its missing
// target, which is then created. nullopt for an unreadable link or a link loop.
std::optional<std::string> resolveSymlinks(std::string path) {
  for (int hop = 0; hop < kMaxSymlinkHops; ++hop) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(static_cast<std::size_t>(info.st_size) + 256, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(length));
    path = target.front() == '/' ? target : folderOf(path) + "/" + target;
  }
  return std::nullopt;
}

// Creates the temporary file ".<name>.XXXXXX" exclusively beside the target (mode 0600;
// takeOverAttributes sets the final bits).
int createTempFile(const std::string& folder, const std::string& name, std::string& tempPath) {
  tempPath = folder + "/." + name.substr(0, kMaxTempBaseLength) + ".XXXXXX";
  return ::mkostemp(tempPath.data(), O_CLOEXEC);
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Gives the new file the old one's owner (root only: nobody else may) and permission bits.
bool takeOverAttributes(int fd, const std::optional<struct stat>& old) {
  if (old) {
    if (::geteuid() == 0) {
      // Best effort: a file that cannot keep its owner is still better written than not.
      [[maybe_unused]] const int ignored = ::fchown(fd, old->st_uid, old->st_gid);
    }
    return ::fchmod(fd, (old->st_mode & kPermissionBits) | kOwnerReadWrite) == 0;
  }
  // A new file: what open(0666) would give under the umask, plus owner read/write.
  const mode_t umask = ::umask(0);
  ::umask(umask);
  return ::fchmod(fd, (0666 & ~umask) | kOwnerReadWrite) == 0;
}

// Makes the rename itself durable. Best effort: the file has been replaced at this point,
// and reporting failure would claim the old contents are still there.
void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool replaceFileAtomically(const std::string& path, std::string_view bytes) {
  const auto target = resolveSymlinks(path);
  if (!target) return false;
  const std::string folder = folderOf(*target);
  const std::string name = nameOf(*target);
  if (name.empty()) return false;

  std::optional<struct stat> old;
  struct stat info {};
  if (::stat(target->c_str(), &info) == 0) old = info;

  std::string tempPath;
  const int fd = createTempFile(folder, name, tempPath);
  if (fd < 0) return false;
  bool ok = writeAll(fd, bytes) && takeOverAttributes(fd, old) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tempPath.c_str(), target->c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }
  syncFolder(folder);
  return true;
}

}  // namespace tovanik
