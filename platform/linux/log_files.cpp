#include "platform/linux/log_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/ownership.h"

namespace tovanik {

namespace {

// An absolute folder named by the environment. Run as root, the environment may be a
// user's (sudo -E): root takes a folder from it only when it is safe (isSafeFolder).
// `existingMustBeSafe`: for anyone, a folder that exists is taken only when it is safe;
// a missing one is made (0700) when first used.
std::string trustedVariable(const char* name, bool existingMustBeSafe = false) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return {};
  if (::geteuid() == 0 && !isSafeFolder(value)) return {};
  if (existingMustBeSafe && ::access(value, F_OK) == 0 && !isSafeFolder(value)) return {};
  return value;
}

// The user's home: $HOME, else (unset, relative, or for root not root's own) the home the
// password database names.
std::string homeFolder() {
  std::string home = trustedVariable("HOME");
  if (home.empty()) {
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir[0] == '/')
      home = entry->pw_dir;
  }
  return home;
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
  std::string base = trustedVariable("XDG_STATE_HOME", true);
  if (base.empty()) {
    const std::string home = homeFolder();
    if (home.empty()) return {};
    base = home + "/.local/state";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/tovanik";
}

bool LinuxLogFiles::makeFolders(const std::string& path) {
  const bool asRoot = ::geteuid() == 0;
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (asRoot && ::lstat(prefix.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
        info.st_uid != 0) {
      errno = ELOOP;
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

std::unique_ptr<LogFile> LinuxLogFiles::open(const std::string& path, Access access) {
  const int flags = access == Access::Read ? O_RDONLY | O_CLOEXEC
                    : access == Access::ReadWrite
                        ? O_RDWR | O_CLOEXEC | O_NOFOLLOW
                        : O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return nullptr;
  return std::make_unique<LinuxLogFile>(fd);
}

std::optional<std::uint64_t> LinuxLogFiles::sizeOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

bool LinuxLogFiles::exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

}  // namespace tovanik
