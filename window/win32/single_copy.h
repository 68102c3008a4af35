#pragma once
// One running copy of the panel per program file and user session. The copy that shows
// holds a named mutex, Local\Tovanik-<hash of the executable's path>, for its life; the
// kernel closes it with the process however it ends, so nothing stale blocks the next
// start. A second copy finds the mutex there, makes its launch attempt, asks the first
// copy to come to the front and ends.

#include <windows.h>

#include <string>

namespace tovanik::win32 {

// Posted by a second copy to the window of the first: come back from the taskbar, to the
// front.
inline constexpr UINT kShowYourself = WM_APP + 1;

// The full path of the running executable.
std::wstring executablePath();

class SingleCopy {
 public:
  explicit SingleCopy(const std::wstring& executablePath);
  ~SingleCopy();
  SingleCopy(const SingleCopy&) = delete;
  SingleCopy& operator=(const SingleCopy&) = delete;

  enum class Result { Acquired, HeldByAnotherCopy, Failed };
  // Failed means no mutex could be had (the reason is in error()), for example because a
  // copy of another user holds it in this session; the caller then runs as the only copy
  // rather than refuse to start.
  Result acquire();
  const std::wstring& error() const { return error_; }

  const std::wstring& mutexName() const { return mutexName_; }
  // The window class of this program file's copies, so a second copy finds the first.
  const std::wstring& windowClassName() const { return className_; }

  // Posts kShowYourself to the window of the copy that runs (not this process's own),
  // allowed to take the foreground. Returns whether such a window was found.
  bool showRunningCopy() const;

 private:
  std::wstring mutexName_;
  std::wstring className_;
  HANDLE mutex_ = nullptr;
  std::wstring error_;
};

}  // namespace tovanik::win32
