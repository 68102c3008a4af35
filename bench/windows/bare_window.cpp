// The baseline the panel's start-up and memory are measured against on Windows: a plain
// Win32 window of the panel's size, flags and rounded outline that paints the design's
// captions in the panel's fonts (the first family of each chain GDI has, no fitting) on
// its background through one BitBlt, and ends at the first click. No settings, no server,
// no edit boxes, no tooltips, no timer: the least any window showing the panel's
// texts does.
#include <windows.h>

#include <string>

#include "panel/layout.h"
#include "panel/dpi_geometry.h"
#include "window/win32/font_book.h"

namespace {

using namespace tovanik;

COLORREF colorRef(Rgb c) { return RGB(c.r, c.g, c.b); }

std::wstring wide(std::string_view text) {
  std::wstring out(text.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return out;
}

void paint(HWND window) {
  PAINTSTRUCT ps;
  HDC screen = BeginPaint(window, &ps);
  const int dpi = static_cast<int>(GetDpiForWindow(window));
  const WindowShape shape = windowShape(dpi);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, shape.width, shape.height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  RECT all{0, 0, shape.width, shape.height};
  HBRUSH background = CreateSolidBrush(colorRef(colour::kWindow));
  FillRect(memory, &all, background);
  DeleteObject(background);
  SetBkMode(memory, TRANSPARENT);
  // The fonts the panel draws with: the first family of each design font's chain that
  // GDI has (the panel's own lookup), without the panel's fitting of each caption.
  win32::FontBook fonts(dpi);
  for (int i = kControlCount - 1; i >= 0; --i) {  // bottom first, as the design lists them
    const ControlDesign& s = kLayout[i];
    if (s.kind != Kind::Label || s.caption.empty()) continue;
    HGDIOBJ before = SelectObject(memory, fonts.font(s.font));
    SetTextColor(memory, colorRef(s.colour));
    const PixelBox b = deviceBox(s, dpi);
    RECT r{b.left, b.top, b.right, b.bottom};
    const std::wstring text = wide(s.caption);
    DrawTextW(memory, text.c_str(), static_cast<int>(text.size()), &r,
              DT_SINGLELINE | DT_NOPREFIX | (s.align == Align::Right ? DT_RIGHT : DT_LEFT));
    SelectObject(memory, before);
  }
  BitBlt(screen, 0, 0, shape.width, shape.height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(window, &ps);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONUP:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = L"TovanikBareWindow";
  RegisterClassExW(&windowClass);
  HWND window = CreateWindowExW(WS_EX_APPWINDOW | WS_EX_TOPMOST, windowClass.lpszClassName,
                                L"bare window", WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU, 0, 0, 1, 1,
                                nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  const WindowShape shape = windowShape(static_cast<int>(GetDpiForWindow(window)));
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(window, nullptr, work.left + (work.right - work.left - shape.width) / 2,
               work.top + (work.bottom - work.top - shape.height) / 2, shape.width, shape.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowRgn(
      window,
      CreateRoundRectRgn(0, 0, shape.regionRight, shape.regionBottom, shape.corner, shape.corner),
      FALSE);
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
