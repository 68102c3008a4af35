#pragma once
// The log's file operations on Windows: %LOCALAPPDATA%\Tovanik\logs, handles shared for
// reading, writing and deleting (the hidden server holds the log open for appending,
// FILE_APPEND_DATA, so a cut in place never makes it write into a hole), and cuts that take
// turns through a lock on a byte far past any file's end. UTF-16 at every call.

#include "platform/log_files.h"

namespace tovanik {

class WindowsLogFiles final : public LogFiles {
 public:
  std::string stateFolder() override;
  std::string noStateFolderReason() const override { return "LOCALAPPDATA is not set"; }
  // Each missing folder on the way, with the user's default permissions (below
  // %LOCALAPPDATA%, the user's own).
  bool makeFolders(const std::string& folder) override;
  std::unique_ptr<LogFile> open(const std::string& path, Access access) override;
  std::optional<std::uint64_t> sizeOf(const std::string& path) override;
  bool exists(const std::string& path) override;
};

}  // namespace tovanik
