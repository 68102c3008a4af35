#include "platform/linux/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/safe_path.h"

namespace tovanik {
namespace {

// Room left for the "." and ".lock" within the 255-byte name limit.
constexpr std::size_t kMaxBaseLength = 200;
constexpr mode_t kLockMode = S_IRUSR | S_IWUSR;
constexpr mode_t kPermissionBits = 07777;
// O_RDONLY: flock needs no write access. O_NONBLOCK: a FIFO swapped in never hangs the
// open. O_NOFOLLOW: a link swapped in is never followed.
constexpr int kOpenFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
// Tries of the open and of the lock when another writer replaces the file meanwhile.
constexpr int kAttempts = 16;
// How often a writer looks whether another one has finished.
constexpr int kLockRetryMs = 1;

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string reason(int error) { return std::strerror(error); }

}  // namespace

std::string lockPathOf(const std::string& file) {
  return folderOf(file) + "/." + nameOf(file).substr(0, kMaxBaseLength) + ".lock";
}

WriteLock::WriteLock(const std::string& file, const std::string& shownLock,
                     std::chrono::milliseconds patience, Timing& timing)
    : shown_(shownLock) {
  const std::string path = lockPathOf(file);
  // Root writing a user's file leaves the lock file to that user, as the settings file.
  uid_t owner = ::geteuid();
  gid_t group = ::getegid();
  struct stat settings {};
  if (owner == 0 && ::stat(file.c_str(), &settings) == 0) {
    owner = settings.st_uid;
    group = settings.st_gid;
  }
  // Polled rather than blocking: the panel writes on its only thread, and a writer
  // stopped while holding the lock (suspended from its terminal) must not freeze it. One
  // patience for all tries.
  const auto giveUp = timing.now() + patience;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!open(path, owner, group) || fd_ < 0) return;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno == EWOULDBLOCK) {
        if (timing.now() < giveUp) {
          timing.sleepMs(kLockRetryMs);
          continue;
        }
        timedOut_ = true;
        return;
      }
      // Some network file systems have no flock: go on without, as a lone writer would.
      if (errno != ENOLCK && errno != EOPNOTSUPP && errno != EINVAL) fail(reason(errno));
      return;
    }
    // Locked: still the file at the lock's name? A writer that replaced a bad one while
    // this one opened it locks the new one, and so must this one.
    struct stat locked {};
    struct stat named {};
    if (::fstat(fd_, &locked) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        sameFile(locked, named)) {
      held_ = true;
      return;
    }
    ::close(fd_);
    fd_ = -1;
  }
  fail("it is replaced over and over");
}

WriteLock::~WriteLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

bool WriteLock::fail(const std::string& why) {
  error_ = "lock file " + shown_ + ": " + why;
  return false;
}

// Opens the lock file at `path` as it must be, making or replacing it as needed. True
// with fd_ open, or with fd_ -1 where nothing can be written anyway (a read-only file
// system takes no writes, and a rewrite of the same bytes is no write).
bool WriteLock::open(const std::string& path, uid_t owner, gid_t group) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    struct stat found {};
    if (::lstat(path.c_str(), &found) != 0) {
      if (errno != ENOENT) return fail(reason(errno));
      fd_ = ::open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL, kLockMode);
      if (fd_ < 0 && errno == EEXIST) continue;  // another writer made it just now
      if (fd_ < 0) return errno == EROFS || fail(reason(errno));
    } else {
      if (S_ISDIR(found.st_mode)) return fail("a folder stands in its place");
      // Made right in place only when no one else can have it open (so hold the lock):
      // a lock file of its own, of this caller or the owner, that group and others could
      // never open. Anything else is replaced, never opened: another user's file, one
      // others could open, a second name of some other file, a link, a FIFO, a socket.
      const bool fixable = S_ISREG(found.st_mode) && found.st_nlink == 1 &&
                           (found.st_mode & (S_IRWXG | S_IRWXO)) == 0 &&
                           (found.st_uid == ::geteuid() || found.st_uid == owner);
      if (!fixable) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
          return errno == EROFS || fail("cannot replace it: " + reason(errno));
        continue;
      }
      fd_ = ::open(path.c_str(), kOpenFlags);
      if (fd_ < 0 && (errno == ENOENT || errno == ELOOP || errno == ENXIO)) continue;
      if (fd_ < 0) return fail(reason(errno));
      struct stat opened {};
      if (::fstat(fd_, &opened) != 0 || !sameFile(opened, found)) {
        ::close(fd_);  // swapped between the look and the open
        fd_ = -1;
        continue;
      }
    }
    struct stat now {};
    if (::fstat(fd_, &now) != 0) return fail(reason(errno));
    const bool ownerRight = now.st_uid == owner || ::fchown(fd_, owner, group) == 0;
    const bool modeRight = ownerRight && ((now.st_mode & kPermissionBits) == kLockMode ||
                                          ::fchmod(fd_, kLockMode) == 0);
    if (modeRight) return true;
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    return error == EROFS || fail(reason(error));
  }
  return fail("it is replaced over and over");
}

}  // namespace tovanik
