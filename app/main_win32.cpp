// tovanik-webserver for Windows: the control panel of PHP's built-in web server.
#include <windows.h>

#include "platform/windows/single_copy.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_platform.h"
#include "window/win32/main_window.h"
#include "window/win32/single_copy.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace tovanik::win32;
  // Start-up: keep to one copy, show the settings and the window, and launch the server
  // one frame later, so the window never waits for the server's start.
  tovanik::WindowsPlatform platform;
  const auto copy = platform.singleCopy(tovanik::runningExecutablePath());
  const tovanik::SingleCopy::Result held = copy->acquire();
  const std::wstring className = tovanik::windows::utf16(copy->name());
  MainWindow form(platform, instance, className);
  if (held == tovanik::SingleCopy::Result::HeldByAnotherCopy) {
    form.startup().secondCopy([&className] { showRunningCopy(className); });
    return 0;
  }
  if (held == tovanik::SingleCopy::Result::Failed)
    OutputDebugStringW(
        tovanik::windows::utf16("tovanik-webserver: no single-copy test: " + copy->error() + "\n")
            .c_str());
  if (!form.created()) {
    const std::wstring text = L"The panel cannot open its window: " + form.creationError() + L".";
    MessageBoxW(nullptr, text.c_str(), L"Tovanik PHP Web Server", MB_ICONERROR | MB_OK);
    return 1;
  }
  form.startup().firstCopy([&form, showCommand] { form.show(showCommand); });

  for (;;) {
    // While the tick rests the window has no timer: the wait also ends when what ends the
    // rest is signalled (the server's end, a change in a watched folder).
    const std::vector<void*>& rest = form.restObjects();
    const auto count = static_cast<DWORD>(rest.size());
    if (MsgWaitForMultipleObjectsEx(count, rest.data(), INFINITE, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE) < WAIT_OBJECT_0 + count)
      form.endRest();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
      // Tab, Space and Enter reach the drawn controls first; the dialog's own handling
      // keeps the rest of the boxes' keys.
      if (form.hwnd() && form.keyMessage(message)) continue;
      if (form.hwnd() && IsDialogMessageW(form.hwnd(), &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}
