#include "platform/output_log.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/ownership.h"
#include "platform/log_text.h"

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

// Creates the missing folders of `path` (mode 0700). Run as root, a link on the way that
// another user owns is not followed: the log would go wherever that user points it.
bool makeFolders(const std::string& path) {
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

bool readAt(int fd, char* buffer, std::size_t length, off_t offset) {
  while (length > 0) {
    ssize_t got = ::pread(fd, buffer, length, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    length -= static_cast<std::size_t>(got);
    offset += got;
  }
  return true;
}

bool writeAt(int fd, const char* buffer, std::size_t length, off_t offset) {
  while (length > 0) {
    ssize_t put = ::pwrite(fd, buffer, length, offset);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    buffer += put;
    length -= static_cast<std::size_t>(put);
    offset += put;
  }
  return true;
}

// The last `length` bytes of an open file (fewer when it is shorter).
std::optional<std::string> readTail(int fd, std::uint64_t length, struct stat& info) {
  if (::fstat(fd, &info) != 0) return std::nullopt;
  const std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
  const std::uint64_t take = size < length ? size : length;
  std::string bytes(take, '\0');
  if (take > 0 && !readAt(fd, bytes.data(), take, static_cast<off_t>(size - take)))
    return std::nullopt;
  return bytes;
}

}  // namespace

std::string stateFolder() {
  std::string base = trustedVariable("XDG_STATE_HOME", true);
  if (base.empty()) {
    const std::string home = homeFolder();
    if (home.empty()) return {};
    base = home + "/.local/state";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/tovanik";
}

std::string outputLogPath(const std::string& programFolder) {
  const std::string folder = stateFolder();
  if (folder.empty()) return {};
  const std::size_t slash = programFolder.rfind('/');
  const std::string base =
      slash == std::string::npos ? programFolder : programFolder.substr(slash + 1);
  return folder + "/" + logtext::logFileName(base, programFolder);
}

bool trimOutputLog(const std::string& path, std::uint64_t limit, std::uint64_t keep) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || static_cast<std::uint64_t>(info.st_size) <= limit)
    return true;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  // Two of our programs may find the file too large at once; one cut is enough.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return true;
  }
  bool done = false;
  // One byte more than is kept: the byte before the kept part tells whether that part
  // starts a line.
  if (auto tail = readTail(fd, keep + 1, info)) {
    const std::size_t start = logtext::keptStart(*tail);
    const std::size_t length = tail->size() - start;
    done = static_cast<std::uint64_t>(info.st_size) <= limit ||
           (writeAt(fd, tail->data() + start, length, 0) &&
            ::ftruncate(fd, static_cast<off_t>(length)) == 0);
  }
  ::close(fd);
  return done;
}

bool markLaunch(const std::string& path, const std::string& note) {
  if (path.empty()) return false;
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash))) return false;
  trimOutputLog(path);
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  const std::string line = logtext::markLine(std::time(nullptr), note);
  bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  return ::close(fd) == 0 && written;
}

bool outputLogExists(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), F_OK) == 0;
}

std::optional<LastRun> readLastRun(const std::string& path) {
  // A run that ended at once printed a few lines; its mark is near the end.
  constexpr std::uint64_t kLookBack = 64 * 1024;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::string> tail = readTail(fd, kLookBack, info);
  ::close(fd);
  if (!tail) return std::nullopt;
  return logtext::lastRunIn(*tail, info.st_mtime);
}

std::optional<std::vector<std::string>> tailLines(const std::string& path, long count) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::string> all = readTail(fd, ~0ull, info);
  ::close(fd);
  if (!all) return std::nullopt;
  return logtext::lastLines(*all, count);
}

}  // namespace tovanik
