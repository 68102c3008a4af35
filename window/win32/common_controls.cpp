#include "window/win32/common_controls.h"

// commctrl.h needs windows.h before it.
#include <commctrl.h>

#include "platform/windows/system_library.h"
#include "window/win32/resource_ids.h"

namespace tovanik::win32 {

CommonControls::~CommonControls() {
  if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
}

HWND CommonControls::create(DWORD exStyle, const wchar_t* className, DWORD style, HWND owner) {
  if (!loaded_ && context_ == INVALID_HANDLE_VALUE) {
    ACTCTXW request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = instance_;
    request.lpResourceName = MAKEINTRESOURCEW(TOVANIK_COMMON_CONTROLS_MANIFEST);
    context_ = CreateActCtxW(&request);
  }
  // Without the context (it could not be made) the system's older version serves: the
  // tips still show, in the older look.
  ULONG_PTR cookie = 0;
  const bool active = context_ != INVALID_HANDLE_VALUE && ActivateActCtx(context_, &cookie);
  if (!loaded_) {
    // Loaded under the context, the loader takes version 6; the classes are registered in
    // its name, and a window made under the same context finds them.
    const auto initialise = windows::systemFunction<decltype(InitCommonControlsEx)>(
        L"comctl32.dll", "InitCommonControlsEx");
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_BAR_CLASSES};
    loaded_ = initialise && initialise(&classes);
  }
  HWND window = loaded_ ? CreateWindowExW(exStyle, className, nullptr, style, CW_USEDEFAULT,
                                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                                          nullptr, instance_, nullptr)
                        : nullptr;
  const DWORD error = GetLastError();
  if (active) DeactivateActCtx(0, cookie);
  SetLastError(error);
  return window;
}

}  // namespace tovanik::win32
