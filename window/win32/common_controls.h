#pragma once
// Common controls 6, loaded the first time a window of theirs is made. The program's
// manifest asks for no common controls, so its edit boxes are the system's own EDIT
// class and nothing before the first frame (nor a panel nobody points at) loads comctl32,
// about 1.3 MiB of memory under Wine. The tooltips are comctl32's, version 6 as before:
// made under an activation context built from a second manifest in the program's
// resources, which asks for that version.

#include <windows.h>

namespace tovanik::win32 {

class CommonControls {
 public:
  explicit CommonControls(HINSTANCE instance) : instance_(instance) {}
  ~CommonControls();
  CommonControls(const CommonControls&) = delete;
  CommonControls& operator=(const CommonControls&) = delete;

  // A window of a common-controls class (TOOLTIPS_CLASSW), owned by `owner`: comctl32 is
  // loaded and its classes registered at the first call. nullptr when it cannot be made
  // (GetLastError says why).
  HWND create(DWORD exStyle, const wchar_t* className, DWORD style, HWND owner);

 private:
  HINSTANCE instance_;
  HANDLE context_ = INVALID_HANDLE_VALUE;
  bool loaded_ = false;
};

}  // namespace tovanik::win32
