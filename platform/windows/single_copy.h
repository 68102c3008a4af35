#pragma once
// The single copy on Windows: the copy that shows holds a named mutex,
// Local\Tovanik-<hash of the executable's path>, for its life; the kernel closes it with the
// process however it ends, so nothing stale blocks the next start. The request to show
// itself is a window message (window/win32/single_copy.h), sent to the window class
// named name().

#include <windows.h>

#include "platform/single_copy.h"

namespace tovanik {

// The full path of the running executable.
std::string runningExecutablePath();

class WindowsSingleCopy final : public SingleCopy {
 public:
  explicit WindowsSingleCopy(const std::string& executablePath);
  ~WindowsSingleCopy() override;
  WindowsSingleCopy(const WindowsSingleCopy&) = delete;
  WindowsSingleCopy& operator=(const WindowsSingleCopy&) = delete;

  // Failed, for example, when a copy of another user holds the mutex in this session.
  Result acquire() override;
  // "Tovanik-<hash>": the window class of this program file's copies.
  std::string name() const override { return name_; }
  // The requests are window messages, which the window itself sends and receives.
  bool listenForShowRequests() override { return true; }
  int showRequestHandle() const override { return -1; }
  std::vector<std::string> takeShowRequests() override { return {}; }
  bool askToShow(const std::string&) override;
  std::string error() const override { return error_; }

  std::string mutexName() const { return "Local\\" + name_; }

 private:
  std::string name_;
  HANDLE mutex_ = nullptr;
  std::string error_;
};

}  // namespace tovanik
