#pragma once
// The log's file operations on Linux: descriptors opened with O_CLOEXEC (and O_NOFOLLOW
// where the file is written), pread/pwrite, and flock for the cut.

#include "platform/log_files.h"

namespace tovanik {

class LinuxLogFiles final : public LogFiles {
 public:
  std::string stateFolder() override;
  std::string noStateFolderReason() const override {
    return "neither XDG_STATE_HOME nor HOME is set";
  }
  // Mode 0700. Run as root, a link on the way that another user owns is not followed:
  // the log would go wherever that user points it.
  bool makeFolders(const std::string& folder) override;
  std::unique_ptr<LogFile> open(const std::string& path, Access access) override;
  std::optional<std::uint64_t> sizeOf(const std::string& path) override;
  bool exists(const std::string& path) override;
};

}  // namespace tovanik
