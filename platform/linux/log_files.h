#pragma once
// The log's file operations on Linux: descriptors opened with O_CLOEXEC, pread/pwrite,
// and flock for the cut.

#include "platform/log_files.h"

namespace tovanik {

class LinuxLogFiles final : public LogFiles {
 public:
  std::string stateFolder() override;
  std::string noStateFolderReason() const override {
    return "neither XDG_STATE_HOME nor HOME is set";
  }
  // Mode 0700 (make_folders.h).
  bool makeFolders(const std::string& folder) override;
  std::unique_ptr<LogFile> open(const std::string& path, Access access) override;
  std::optional<std::uint64_t> sizeOf(const std::string& path) override;
  bool exists(const std::string& path) override;
};

// Opens the log at `path` by the rules of the writers' lock file, so that no other user
// can read the server's output or make a reader wait: the folder must be a real folder
// (not a link), the caller's own, that neither group nor others may write; the file a
// regular file with one name, the caller's, that group and others may not open, reached
// without following a link and opened so that a FIFO cannot block. Anything else in its
// place is refused to a reader (EPERM, or the open's ELOOP or ENXIO) and, for Append,
// replaced by a new file (0600) under the folder's write permission. A descriptor, or -1
// with errno.
int openOwnLog(const std::string& path, LogFiles::Access access);

}  // namespace tovanik
