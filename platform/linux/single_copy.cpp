#include "platform/linux/single_copy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/linux/log_files.h"
#include "platform/linux/make_folders.h"
#include "platform/linux/ownership.h"
#include "platform/linux/show_request.h"
#include "platform/path_text.h"

namespace tovanik {
namespace {

std::string reason(int err) { return std::strerror(err); }

// A folder that belongs to this user alone: no other user can put a file, a link or a
// socket of theirs in it, nor hold our lock.
std::optional<std::string> whyNotPrivate(const struct stat& st) {
  if (!S_ISDIR(st.st_mode)) return "not a folder";
  if (st.st_uid != geteuid()) return "owned by another user";
  return std::nullopt;
}

// An environment folder we may put our files in as it is: an absolute path to a folder
// of this user's that neither group nor others may write to (as root, every folder above
// it root's too). One that is not is not used, never chmod-ed.
bool ownFolder(const char* path) { return path && isSafeFolder(path); }

}  // namespace

std::string LinuxSingleCopy::lockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  // The runtime folder must be private for anyone: a lock file planted in a folder
  // others may write to could be held by them, and the panel would never show.
  if (ownFolder(runtime)) return runtime;
  // Else the state folder the server's log uses, by the same rules (root's own, as root).
  return LinuxLogFiles().stateFolder();
}

LinuxSingleCopy::LinuxSingleCopy(const std::string& executablePath)
    : folder_(lockFolder()),
      // Two hashes of the path, 16 hexadecimal digits in all.
      name_("tovanik-webserver-" + shortPathHash(executablePath) +
            shortPathHash(executablePath + '\0')) {}

LinuxSingleCopy::~LinuxSingleCopy() {
  if (socketFd_ >= 0) {
    // Removed while the lock is still held, so it is never a newer holder's socket.
    unlinkat(folderFd_, (name_ + ".sock").c_str(), 0);
    close(socketFd_);
  }
  // The lock file stays: removing it while another copy may be opening it would let two
  // copies lock two different files.
  if (lockFd_ >= 0) close(lockFd_);
  if (folderFd_ >= 0) close(folderFd_);
}

bool LinuxSingleCopy::openFolder() {
  if (folderFd_ >= 0) return true;
  if (folder_.empty()) {
    error_ = "no folder for the lock: neither XDG_RUNTIME_DIR nor a home folder";
    return false;
  }
  bool created = false;
  if (!makeFolders(folder_, 0700, &created)) {
    error_ = "cannot make the lock folder " + folder_ + ": " + reason(errno);
    return false;
  }
  // Checked and used through one descriptor: a folder swapped after the check changes
  // nothing, and a link in the folder's place is never followed.
  const int fd = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    error_ = "cannot use the lock folder " + folder_ + ": " +
             (err == ELOOP || err == ENOTDIR ? std::string("not a folder") : reason(err));
    return false;
  }
  struct stat st {};
  std::optional<std::string> why = fstat(fd, &st) == 0 ? whyNotPrivate(st) : reason(errno);
  // A folder found is used as it is, or not at all: changing its mode could lock others
  // out of a folder that is theirs too (a shared XDG_RUNTIME_DIR). Only the folder made
  // here gets its mode, whatever the umask left of it.
  if (!why && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !created)
    why = "group or others may write it";
  else if (!why && created && (st.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0)
    why = reason(errno);
  if (why) {
    error_ = "cannot use the lock folder " + folder_ + ": " + *why;
    close(fd);
    return false;
  }
  folderFd_ = fd;
  return true;
}

SingleCopy::Result LinuxSingleCopy::acquire() {
  if (lockFd_ >= 0) return Result::Acquired;
  if (!openFolder()) return Result::Failed;
  // The lock takes no fsync and never writes: only the open file description counts.
  const int fd = openat(folderFd_, (name_ + ".lock").c_str(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (fd < 0) {
    error_ = "cannot open the lock file " + lockPath() + ": " + reason(errno);
    return Result::Failed;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    if (err == EWOULDBLOCK) return Result::HeldByAnotherCopy;
    error_ = "cannot lock " + lockPath() + ": " + reason(err);
    return Result::Failed;
  }
  lockFd_ = fd;
  return Result::Acquired;
}

std::string LinuxSingleCopy::throughFolder(const std::string& name) const {
  return "/proc/self/fd/" + std::to_string(folderFd_) + "/" + name;
}

bool LinuxSingleCopy::listenForShowRequests() {
  if (lockFd_ < 0) {
    error_ = "the single-copy lock is not held";
    return false;
  }
  std::string why;
  socketFd_ = bindShowRequestSocket(throughFolder(name_ + ".sock"), &why);
  if (socketFd_ < 0) {
    error_ = "cannot listen on " + socketPath() + ": " + why;
    return false;
  }
  return true;
}

std::vector<std::string> LinuxSingleCopy::takeShowRequests() {
  if (socketFd_ < 0) return {};
  return tovanik::takeShowRequests(socketFd_);
}

bool LinuxSingleCopy::askToShow(const std::string& activationToken) {
  if (!openFolder()) return false;
  std::string why;
  if (sendShowRequest(throughFolder(name_ + ".sock"), activationToken, &why)) return true;
  error_ = "cannot send to " + socketPath() + ": " + why;
  return false;
}

}  // namespace tovanik
