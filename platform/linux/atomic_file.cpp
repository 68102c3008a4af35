#include "platform/linux/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "platform/linux/file_bytes.h"
#include "platform/linux/safe_path.h"
#include "platform/why_not.h"

namespace tovanik {
namespace {

// Room left for the ".", the ".tmp-XXXXXX" suffix within the 255-byte name limit.
constexpr std::size_t kMaxTempBaseLength = 200;
constexpr std::string_view kTempInfix = ".tmp-";
constexpr std::size_t kTempRandomLength = 6;  // mkostemp's XXXXXX
constexpr mode_t kOwnerReadWrite = S_IRUSR | S_IWUSR;
// How often a writer looks whether another one has finished.
constexpr auto kLockRetry = std::chrono::milliseconds(1);
constexpr mode_t kPermissionBits = 07777;

// ".<name>.tmp-": every temporary file of `name` starts so, followed by six letters or digits.
std::string tempPrefix(const std::string& name) {
  return '.' + name.substr(0, kMaxTempBaseLength) + std::string(kTempInfix);
}

bool isTempFileOf(std::string_view entry, const std::string& prefix) {
  if (entry.size() != prefix.size() + kTempRandomLength || entry.substr(0, prefix.size()) != prefix)
    return false;
  for (const char c : entry.substr(prefix.size())) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return true;
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

// ".<name>.lock": the writers' lock file beside the settings file.
std::string lockPathOf(const std::string& file) {
  return folderOf(file) + "/." + nameOf(file).substr(0, kMaxTempBaseLength) + ".lock";
}

// An exclusive flock on the lock file beside a settings file, released on destruction.
// The lock file is created on first use with mode 0600 and never followed as a link, so
// no other user can open it, and so none can hold the lock and block the writers. The
// settings file itself cannot carry the lock: the rename puts a new file in its place,
// and the next writer would lock the new one.
class WriteLock {
 public:
  WriteLock(const std::string& file, std::chrono::milliseconds patience) {
    const std::string path = lockPathOf(file);
    constexpr int kFlags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0600);
    // A read-only file system takes no writes, but a rewrite of the same bytes is no
    // write: lock what is there, or go on without where nothing can be written anyway.
    if (fd_ < 0 && errno == EROFS) {
      fd_ = ::open(path.c_str(), O_RDONLY | kFlags);
      if (fd_ < 0 && errno == ENOENT) return;
    }
    if (fd_ < 0) {
      error_ = errno;
      return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
      error_ = EINVAL;
      return;
    }
    // Root writing a user's file leaves the lock file to that user, as the settings file.
    struct stat settings {};
    if (::geteuid() == 0 && info.st_uid == 0 && ::stat(file.c_str(), &settings) == 0 &&
        settings.st_uid != 0) {
      [[maybe_unused]] const int ignored = ::fchown(fd_, settings.st_uid, settings.st_gid);
    }
    // Polled rather than blocking: the panel writes on its only thread, and a writer
    // stopped while holding the lock (suspended from its terminal) must not freeze it.
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno == EWOULDBLOCK) {
        if (std::chrono::steady_clock::now() < giveUp) {
          std::this_thread::sleep_for(kLockRetry);
          continue;
        }
        error_ = EWOULDBLOCK;
        return;
      }
      // Some network file systems have no flock: go on without, as a lone writer would.
      if (errno != ENOLCK && errno != EOPNOTSUPP && errno != EINVAL) error_ = errno;
      return;
    }
    held_ = true;
  }
  ~WriteLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

  int error() const { return error_; }  // 0: locked, or locks unavailable here
  bool held() const { return held_; }

 private:
  int fd_ = -1;
  int error_ = 0;
  bool held_ = false;
};

// Removes the temporary files of `name` in `folder`. Called only under the folder's lock.
void removeDeadWritersFiles(const std::string& folder, const std::string& name) {
  DIR* entries = ::opendir(folder.c_str());
  if (!entries) return;
  const std::string prefix = tempPrefix(name);
  while (const dirent* entry = ::readdir(entries)) {
    if (isTempFileOf(entry->d_name, prefix)) ::unlinkat(::dirfd(entries), entry->d_name, 0);
  }
  ::closedir(entries);
}

}  // namespace

bool replaceFileOnDisk(const std::string& path, std::string_view bytes, std::string* whyNot) {
  const std::string folder = folderOf(path);
  const std::string name = nameOf(path);
  if (name.empty()) return failedWithErrno(whyNot, EISDIR);

  std::optional<struct stat> old;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) old = info;

  std::string tempPath = folder + "/" + tempPrefix(name) + "XXXXXX";
  const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
  if (fd < 0) return failedWithErrno(whyNot, errno);
  bool ok = writeAll(fd, bytes) && takeOverAttributes(fd, old) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(tempPath.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(tempPath.c_str());
    return failedWithErrno(whyNot, error);
  }
  syncFolder(folder);
  return true;
}

namespace {

// A writer's turn: the lock on the resolved file, and the file read and replaced in it.
// The resolved path lives as long as the turn: run as root, it reaches the file through
// its folder held open.
class LinuxTurn final : public FileTurn {
 public:
  LinuxTurn(SettingsPath target, std::chrono::milliseconds patience)
      : target_(std::move(target)), file_(target_.path()), lock_(file_, patience) {}
  int error() const { return lock_.error(); }
  bool held() const { return lock_.held(); }
  std::optional<std::string> read(std::string* whyNot) override {
    return readResolvedFile(file_, whyNot);
  }
  bool replace(std::string_view bytes, std::string* whyNot) override {
    return replaceFileOnDisk(file_, bytes, whyNot);
  }
  const std::string& file() const { return file_; }

 private:
  SettingsPath target_;
  std::string file_;
  const WriteLock lock_;
};

}  // namespace

std::unique_ptr<FileTurn> takeWriterTurn(const std::string& path,
                                         std::chrono::milliseconds patience, std::string* whyNot) {
  auto target = resolveSettingsPath(path, whyNot);
  if (!target) return nullptr;
  auto turn = std::make_unique<LinuxTurn>(std::move(*target), patience);
  if (turn->error() == EWOULDBLOCK) {
    failed(whyNot, lockHeldTooLong(patience));
    return nullptr;
  }
  if (turn->error() != 0) {
    failedWithErrno(whyNot, turn->error());
    return nullptr;
  }
  if (turn->held()) removeDeadWritersFiles(folderOf(turn->file()), nameOf(turn->file()));
  return turn;
}

}  // namespace tovanik
