// The settings store on Linux: the file read through its resolved path, replaced by
// rename (atomic_file.cpp).
#include "platform/file_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/atomic_file.h"
#include "platform/linux/file_bytes.h"
#include "platform/linux/safe_path.h"
#include "platform/why_not.h"

namespace tovanik {
namespace {

constexpr std::int64_t kNs = 1000000000;

class LinuxFileStore final : public FileStore {
 public:
  explicit LinuxFileStore(Timing& timing) : timing_(timing) {}

  std::optional<std::string> read(const std::string& path, std::string* whyNot,
                                  std::chrono::milliseconds) override {
    const auto target = resolveSettingsPath(path, whyNot);
    if (!target) return std::nullopt;
    return readResolvedFile(target->path(), whyNot);
  }

  bool replace(const std::string& path, std::string_view bytes, std::string* whyNot) override {
    return replaceFileOnDisk(path, bytes, whyNot);
  }

  std::optional<FileStamp> stamp(const std::string& path) override {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return FileStamp{
        static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
        static_cast<std::uint64_t>(info.st_size), info.st_mtim.tv_sec * kNs + info.st_mtim.tv_nsec,
        info.st_ctim.tv_sec * kNs + info.st_ctim.tv_nsec};
  }

  std::optional<std::chrono::milliseconds> sinceLastChange(const std::string& path) override {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    // The file's time is the wall clock's; so is the comparison.
    const auto changed = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(info.st_mtim.tv_sec) +
            std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
    const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now() - changed);
    return std::max(age, std::chrono::milliseconds(0));
  }

  bool ensureFolder(const std::string& path, std::string* whyNot) override {
    if (::mkdir(path.c_str(), 0777) == 0) return true;  // less the umask
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    return failedWithErrno(whyNot, error == EEXIST ? ENOTDIR : error);
  }

  std::unique_ptr<FileTurn> takeTurn(const std::string& path, std::chrono::milliseconds patience,
                                     std::string* whyNot) override {
    return takeWriterTurn(path, patience, whyNot, timing_);
  }

 private:
  Timing& timing_;
};

}  // namespace

FileStore& systemFileStore() {
  static LinuxFileStore store(systemTiming());
  return store;
}

std::unique_ptr<FileStore> systemFileStoreOn(Timing& timing) {
  return std::make_unique<LinuxFileStore>(timing);
}

}  // namespace tovanik
