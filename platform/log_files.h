#pragma once
// The file operations below the server's log (server/output_log.h), one backend per
// system: platform/linux/log_files.cpp (descriptors, flock), platform/windows/log_files.cpp
// (handles shared for reading, writing and deleting, LockFileEx, UTF-16 paths); tests use
// FakeLogFiles (tests/support/fake_platform.h), which keeps the files in memory.
//
// Failure: false, nullopt or a null file; the reason is left in errno (Linux) or
// GetLastError (Windows), see lastSystemError().

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tovanik {

// One open log file.
class LogFile {
 public:
  virtual ~LogFile() = default;
  virtual std::optional<std::uint64_t> size() = 0;
  // The time of its last change; 0 when unknown.
  virtual std::time_t modified() = 0;
  // Fills `bytes` (all of its size) from `offset`.
  virtual bool readAt(std::uint64_t offset, std::string& bytes) = 0;
  virtual bool writeAt(std::uint64_t offset, std::string_view bytes) = 0;
  virtual bool truncate(std::uint64_t length) = 0;
  // Appends at the end, whatever another writer appended meanwhile.
  virtual bool append(std::string_view bytes) = 0;
  // Takes the lock a cut holds, without waiting; false when another program cuts. It never
  // blocks the server's writes, and goes when the file is closed.
  virtual bool tryLockForCut() = 0;
};

class LogFiles {
 public:
  virtual ~LogFiles() = default;

  // The folder of this user's logs ("" when there is none; see OutputLog::stateFolder).
  virtual std::string stateFolder() = 0;
  // Why stateFolder() found none, for the message that says so.
  virtual std::string noStateFolderReason() const = 0;
  // Creates the missing folders of `folder` (the user's own, private ones).
  virtual bool makeFolders(const std::string& folder) = 0;

  enum class Access {
    Read,
    ReadWrite,
    Append,  // created when missing, the user's own; never through a link
  };
  // The open file; null when it cannot be opened (missing, among others).
  virtual std::unique_ptr<LogFile> open(const std::string& path, Access access) = 0;
  // The size of the file without opening it; nullopt when it does not exist.
  virtual std::optional<std::uint64_t> sizeOf(const std::string& path) = 0;
  virtual bool exists(const std::string& path) = 0;
};

}  // namespace tovanik
