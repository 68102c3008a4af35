#include "platform/linux/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_store.h"
#include "platform/why_not.h"

namespace tovanik {
namespace {

constexpr mode_t kOwnerReadWrite = S_IRUSR | S_IWUSR;
constexpr mode_t kPermissionBits = 07777;

bool isRegularFile(const struct stat& info, std::string* whyNot) {
  if (S_ISREG(info.st_mode)) return true;
  if (S_ISDIR(info.st_mode)) return failedWithErrno(whyNot, EISDIR);
  return failed(whyNot, "not a regular file");
}

// Checked before anything of the file changes or is read.
bool isWithinLimit(const struct stat& info, std::string* whyNot) {
  const auto size = static_cast<std::uint64_t>(info.st_size);
  return size <= kSettingsFileLimit || failed(whyNot, settingsFileTooLarge(size));
}

// At most kSettingsFileLimit bytes: a file that grows past it while being read is refused
// as one that was too large already.
std::optional<std::string> readAll(int fd, std::uint64_t size, std::string* whyNot) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return bytes;
    if (got > 0 && bytes.size() + static_cast<std::size_t>(got) > kSettingsFileLimit) {
      failed(whyNot, settingsFileTooLarge(bytes.size() + static_cast<std::size_t>(got)));
      return std::nullopt;
    }
    if (got < 0) {
      if (errno == EINTR) continue;
      failedWithErrno(whyNot, errno);
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

int openForReading(const std::string& path) {
  // O_NOFOLLOW: the path was resolved, so a link appearing here since was planted.
  // O_NONBLOCK: should a FIFO appear in the file's place, opening it must not hang.
  return ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0666);
}

}  // namespace

// A failed chmod (a file of another user, a read-only file system) is no failure by
// itself: whether the file can be read, or replaced, decides.
std::optional<std::string> readResolvedFile(const std::string& path, std::string* whyNot) {
  int fd = openForReading(path);
  struct stat info {};
  if (fd < 0 && errno == EACCES && ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    // Unreadable for its owner (mode 0200, say): owner read and write come first.
    ::chmod(path.c_str(), (info.st_mode & kPermissionBits) | kOwnerReadWrite);
    fd = openForReading(path);
  }
  if (fd < 0) {
    failedWithErrno(whyNot, errno);
    return std::nullopt;
  }
  std::optional<std::string> bytes;
  if (::fstat(fd, &info) != 0) {
    failedWithErrno(whyNot, errno);
  } else if (isRegularFile(info, whyNot) && isWithinLimit(info, whyNot)) {
    if ((info.st_mode & kOwnerReadWrite) != kOwnerReadWrite) {
      ::fchmod(fd, (info.st_mode & kPermissionBits) | kOwnerReadWrite);
    }
    bytes = readAll(fd, static_cast<std::uint64_t>(info.st_size), whyNot);
  }
  ::close(fd);
  return bytes;
}

std::optional<std::string> readExistingFile(const std::string& path, std::string* whyNot) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    failedWithErrno(whyNot, errno);
    return std::nullopt;
  }
  // The same reader and limit as a settings file's: what is read this way (the menu's
  // icons) is a few kilobytes.
  struct stat info {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &info) != 0)
    failedWithErrno(whyNot, errno);
  else
    bytes = readAll(fd, static_cast<std::uint64_t>(info.st_size), whyNot);
  ::close(fd);
  return bytes;
}

}  // namespace tovanik
