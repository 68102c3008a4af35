#include "platform/linux/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "platform/linux/file_bytes.h"
#include "platform/linux/lock_file.h"
#include "platform/linux/safe_path.h"
#include "platform/why_not.h"

namespace tovanik {
namespace {

// Room left for the ".", the ".tmp-XXXXXX" suffix within the 255-byte name limit.
constexpr std::size_t kMaxTempBaseLength = 200;
constexpr mode_t kOwnerReadWrite = S_IRUSR | S_IWUSR;
constexpr mode_t kPermissionBits = 07777;

// The temporary name's prefix (file_store.h), the name cut to leave room for the rest.
std::string tempPrefix(const std::string& name) {
  return tempNamePrefix(name.substr(0, kMaxTempBaseLength));
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

// Removes the temporary files of `name` in `folder`. Called only under the folder's lock.
void removeDeadWritersFiles(const std::string& folder, const std::string& name) {
  DIR* entries = ::opendir(folder.c_str());
  if (!entries) return;
  const std::string prefix = tempPrefix(name);
  while (const dirent* entry = ::readdir(entries)) {
    if (isTempNameOf(std::string(entry->d_name), prefix)) ::unlinkat(::dirfd(entries), entry->d_name, 0);
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
  LinuxTurn(SettingsPath target, std::chrono::milliseconds patience, Timing& timing)
      : target_(std::move(target)),
        file_(target_.path()),
        lock_(file_, lockPathOf(target_.shown()), patience, timing) {}
  const WriteLock& lock() const { return lock_; }
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
                                         std::chrono::milliseconds patience, std::string* whyNot,
                                         Timing& timing) {
  auto target = resolveSettingsPath(path, whyNot);
  if (!target) return nullptr;
  auto turn = std::make_unique<LinuxTurn>(std::move(*target), patience, timing);
  if (turn->lock().timedOut()) {
    failed(whyNot, lockHeldTooLong(patience));
    return nullptr;
  }
  if (!turn->lock().error().empty()) {
    failed(whyNot, turn->lock().error());
    return nullptr;
  }
  if (turn->lock().held()) removeDeadWritersFiles(folderOf(turn->file()), nameOf(turn->file()));
  return turn;
}

}  // namespace tovanik
