#include "window/win32/single_copy.h"

namespace tovanik::win32 {

bool showRunningCopy(const std::wstring& className) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, className.c_str(), nullptr))) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) continue;
    // This copy was just started by the user and may hand the foreground on.
    AllowSetForegroundWindow(process);
    PostMessageW(window, kShowYourself, 0, 0);
    return true;
  }
  return false;
}

}  // namespace tovanik::win32
