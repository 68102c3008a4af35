#pragma once
// The window's part of the single copy (the lock is the platform's, platform/single_copy.h):
// a second copy asks the first to come to the front by posting it a message, found by the
// window class the copies of one program file share.

#include <windows.h>

#include <string>

namespace tovanik::win32 {

// Posted by a second copy to the window of the first: come back from the taskbar, to the
// front.
inline constexpr UINT kShowYourself = WM_APP + 1;

// Posts kShowYourself to the window of class `className` of the copy that runs (not this
// process's own), allowed to take the foreground. Returns whether such a window was found.
bool showRunningCopy(const std::wstring& className);

}  // namespace tovanik::win32
