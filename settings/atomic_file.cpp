#include "settings/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <optional>

namespace tovanik {
namespace {

constexpr int kMaxSymlinkHops = 40;  // the kernel's own limit before ELOOP
constexpr int kTempNameAttempts = 100;
// Room left for the ".", the random suffix and its dot within the 255-byte name limit.
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

// Eight characters from [A-Za-z0-9]; the kernel's randomness when it has some at hand,
// otherwise the clock, the process id and a counter (O_EXCL settles any collision anyway).
std::string randomSuffix() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t seed = 0;
  if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    seed = static_cast<std::uint64_t>(now.tv_nsec) ^
           (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
           (static_cast<std::uint64_t>(::getpid()) << 44);
  }
  seed += counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL;
  std::string suffix;
  for (int i = 0; i < 8; ++i) {
    suffix += kAlphabet[seed % (sizeof kAlphabet - 1)];
    seed /= sizeof kAlphabet - 1;
  }
  return suffix;
}

// Creates the temporary file exclusively. `mode` is applied at creation so that the kernel
// subtracts the umask for a brand-new file, and a copy of a private file starts private.
int createTempFile(const std::string& folder, const std::string& name, mode_t mode,
                   std::string& tempPath) {
  const std::string base = folder + "/." + name.substr(0, kMaxTempBaseLength) + ".";
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    tempPath = base + randomSuffix();
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
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
  struct stat created {};
  if (::fstat(fd, &created) != 0) return false;
  return ::fchmod(fd, (created.st_mode & kPermissionBits) | kOwnerReadWrite) == 0;
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
  const int fd = createTempFile(folder, name, old ? kOwnerReadWrite : 0666, tempPath);
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
