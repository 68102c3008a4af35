#include "platform/linux/log_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/descriptor.h"
#include "platform/linux/make_folders.h"
#include "platform/linux/safe_path.h"
#include "platform/linux/user_folders.h"

namespace tovanik {

namespace {

// Tries of replacing what stands in the log's place when another program puts it back.
constexpr int kReplaceAttempts = 8;

// The log's folder, checked and used through one descriptor, by the lock folder's rules:
// a real folder (not a link), the caller's own, that neither group nor others may write.
// -1 with errno; EPERM when it is not private.
int openLogFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() &&
      (info.st_mode & (S_IWGRP | S_IWOTH)) == 0)
    return fd;
  ::close(fd);
  errno = EPERM;
  return -1;
}

// A log that only its owner, the caller, can have opened: a regular file with one name
// and no permission for group or others. Anything else may be another user's way to
// read the server's output or to block a reader.
bool isOwnLog(const struct stat& info) {
  return S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_uid == ::geteuid() &&
         (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

class LinuxLogFile final : public LogFile {
 public:
  explicit LinuxLogFile(int fd) : fd_(fd) {}
  ~LinuxLogFile() override { ::close(fd_); }
  LinuxLogFile(const LinuxLogFile&) = delete;
  LinuxLogFile& operator=(const LinuxLogFile&) = delete;

  std::optional<std::uint64_t> size() override {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
  }
  std::time_t modified() override {
    struct stat info {};
    return ::fstat(fd_, &info) == 0 ? info.st_mtime : 0;
  }
  bool readAt(std::uint64_t offset, std::string& bytes) override {
    char* buffer = bytes.data();
    std::size_t length = bytes.size();
    while (length > 0) {
      const ssize_t got = ::pread(fd_, buffer, length, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      buffer += got;
      length -= static_cast<std::size_t>(got);
      offset += static_cast<std::uint64_t>(got);
    }
    return true;
  }
  bool writeAt(std::uint64_t offset, std::string_view bytes) override {
    const char* buffer = bytes.data();
    std::size_t length = bytes.size();
    while (length > 0) {
      const ssize_t put = ::pwrite(fd_, buffer, length, static_cast<off_t>(offset));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      buffer += put;
      length -= static_cast<std::size_t>(put);
      offset += static_cast<std::uint64_t>(put);
    }
    return true;
  }
  bool truncate(std::uint64_t length) override {
    return ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
  }
  bool append(std::string_view bytes) override {
    // One write: the mark lands whole between the server's lines (O_APPEND).
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  bool tryLockForCut() override { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }

 private:
  int fd_;
};

}  // namespace

std::string LinuxLogFiles::stateFolder() {
  const std::string base = xdgFolder("XDG_STATE_HOME", ".local/state", true);
  return base.empty() ? base : (base == "/" ? "" : base) + "/tovanik";
}

bool LinuxLogFiles::makeFolders(const std::string& path) { return tovanik::makeFolders(path, 0700); }

std::unique_ptr<LogFile> LinuxLogFiles::open(const std::string& path, Access access) {
  const int fd = openOwnLog(path, access);
  if (fd < 0) return nullptr;
  return std::make_unique<LinuxLogFile>(fd);
}

std::optional<std::uint64_t> LinuxLogFiles::sizeOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  if (!S_ISREG(info.st_mode)) {
    errno = EPERM;
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(info.st_size);
}

bool LinuxLogFiles::exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

int openOwnLog(const std::string& path, LogFiles::Access access) {
  const Descriptor folder(openLogFolder(folderOf(path)));
  if (folder.get() < 0) return -1;
  const std::string name = nameOf(path);
  const bool create = access == LogFiles::Access::Append;
  // O_NONBLOCK: a FIFO planted in the log's place never blocks the open. O_NOFOLLOW: a
  // link there is never followed.
  const int common = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  const int flags = access == LogFiles::Access::Read        ? O_RDONLY | common
                    : access == LogFiles::Access::ReadWrite ? O_RDWR | common
                                                            : O_WRONLY | O_APPEND | O_CREAT | common;
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    const int fd = ::openat(folder.get(), name.c_str(), flags, 0600);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && isOwnLog(info)) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    const int error = fd < 0 ? errno : EPERM;
    if (fd >= 0) ::close(fd);
    // Readers take what stands there as it is or not at all; the writer that marks a
    // launch replaces it, under the folder's write permission.
    const bool planted = error == EPERM || error == ELOOP || error == ENXIO;
    if (!create || !planted) {
      errno = error;
      return -1;
    }
    if (::unlinkat(folder.get(), name.c_str(), 0) != 0 && errno != ENOENT) return -1;
  }
  errno = EPERM;
  return -1;
}

}  // namespace tovanik
