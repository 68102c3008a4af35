// The window shell: creation at the monitor's DPI, the message dispatch, painting, the
// rounded outline, staying on top, the tick and the start-up's launch.
#include "window/win32/main_window.h"

#include <commctrl.h>

#include "panel/dpi_geometry.h"
#include "platform/windows/wide_text.h"
#include "window/win32/accessible_calls.h"
#include "window/win32/gdi_painter.h"
#include "window/win32/resource_ids.h"
#include "window/win32/single_copy.h"

namespace tovanik::win32 {

using windows::utf16;

namespace {

constexpr UINT_PTR kTickTimer = 1;
// Posted from the first paint: the load runs once that frame is on the screen.
constexpr UINT kLoadAfterPaint = WM_APP + 2;

}  // namespace

MainWindow::MainWindow(Platform& platform, HINSTANCE instance, const std::wstring& className)
    : instance_(instance),
      panel_(platform, *this),
      pointer_(panel_, *this),
      keyboard_(panel_, *this),
      startup_(panel_, *this),
      commonControls_(instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = className.c_str();  // no background brush: painted whole
  if (!RegisterClassExW(&windowClass)) {
    creationError_ = utf16(windows::systemMessage(GetLastError()));
    return;
  }
  // Created on the primary monitor, so that it takes that monitor's DPI; sized and
  // centred on its work area once the DPI is known.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT work = monitor.rcWork;
  const std::wstring title = utf16(kFormCaption);
  // WS_MINIMIZEBOX and WS_SYSMENU draw nothing on a popup; they let the taskbar button
  // minimise and restore the window and offer Close.
  if (!CreateWindowExW(WS_EX_APPWINDOW | WS_EX_TOPMOST, className.c_str(), title.c_str(),
                       WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU | WS_CLIPCHILDREN, work.left,
                       work.top, 1, 1, nullptr, nullptr, instance, this)) {
    creationError_ = utf16(windows::systemMessage(GetLastError()));
    return;
  }
  dpi_ = static_cast<int>(GetDpiForWindow(hwnd_));
  fonts_.setDpi(dpi_);
  pointer_.setDpi(dpi_);
  // Only what the first frame shows, or needs (the focus box): the hidden boxes and the
  // tooltips are made once that frame is on the screen (createAfterFirstFrame).
  createTextBoxes({Ctl::txtPort, Ctl::txtFocus});
  const WindowShape shape = windowShape(dpi_);
  fitToDpi(work.left + (work.right - work.left - shape.width) / 2,
           work.top + (work.bottom - work.top - shape.height) / 2);
  SetTimer(hwnd_, kTickTimer, 1000, nullptr);
  announced_.changes(panel_);  // what a reader finds when it first asks is no change
  sync();
}

MainWindow::~MainWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (portBrush_) DeleteObject(portBrush_);
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
  if (comStarted_) accessibleCalls()->endCom();
}

LRESULT CALLBACK MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  switch (message) {
    case WM_PAINT:
      paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_SIZE:
      applyOutline();  // at every change of size or state, minimise and restore included
      return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      fonts_.setDpi(dpi_);
      pointer_.setDpi(dpi_);
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      fitToDpi(suggested->left, suggested->top);
      return 0;
    }
    case WM_TIMER:
      if (wParam != kTickTimer) break;
      startup_.tick();
      restIfQuiet();
      return 0;
    case kLoadAfterPaint:
      startup_.loadIfPending();
      return 0;
    case kShowYourself:
      showYourself();
      return 0;
    case WM_GETOBJECT:
      // Only the client area is ours; the frame and the EDIT boxes keep the system's.
      if (static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT))
        return accessibleObject(wParam);
      break;
    case kAccessibleClick:
      if (wParam < static_cast<WPARAM>(kControlCount))
        clickLabel(panel_, *this, static_cast<Ctl>(wParam));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
      relayToTooltips(hwnd_, message, wParam, lParam);
      buttonDown(at, wParam);
      return message == WM_XBUTTONDOWN;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_XBUTTONUP:
      relayToTooltips(hwnd_, message, wParam, lParam);
      buttonUp(message, at, wParam);
      return message == WM_XBUTTONUP;
    case WM_MOUSEMOVE:
      relayToTooltips(hwnd_, message, wParam, lParam);
      mouseMove(at, wParam);
      return 0;
    case WM_CAPTURECHANGED:
      pointer_.forgetPress();
      return 0;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == hwnd_ && setCursor(lParam)) return TRUE;
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE && reinterpret_cast<HWND>(lParam) == box(Ctl::txtPort))
        portTextChanged();
      // Where the focus went, by a click or the panel's own reactions.
      if (HIWORD(wParam) == EN_SETFOCUS && reinterpret_cast<HWND>(lParam) == box(Ctl::txtPort))
        keyboard_.focusTaken(Ctl::txtPort);
      if (HIWORD(wParam) == EN_SETFOCUS && reinterpret_cast<HWND>(lParam) == box(Ctl::txtFocus))
        keyboard_.focusTaken(std::nullopt);
      if (HIWORD(wParam) == EN_CHANGE) forgetBoxText(reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:  // what a disabled or read-only edit asks instead
      if (reinterpret_cast<HWND>(lParam) == box(Ctl::txtPort))
        return boxColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      break;
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lParam)->code == TTN_GETDISPINFOW)
        return tooltipText(lParam);
      break;
    case WM_ACTIVATE:
      // A plain window forgets which child had the focus when it is deactivated; keep it,
      // so the focus box (or the port box being edited) has it again on return.
      if (LOWORD(wParam) == WA_INACTIVE) {
        focusBeforeDeactivation_ = GetFocus();
      } else if (!HIWORD(wParam)) {
        // The window itself holds a drawn control's keyboard focus.
        HWND focus = focusBeforeDeactivation_ && (focusBeforeDeactivation_ == hwnd_ ||
                                                  IsChild(hwnd_, focusBeforeDeactivation_))
                         ? focusBeforeDeactivation_
                         : hwnd_;
        SetFocus(focus);
        return 0;
      }
      break;
    case WM_DESTROY:
      KillTimer(hwnd_, kTickTimer);
      rest_.reset();
      dropAccessible();
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void MainWindow::fitToDpi(int left, int top) {
  const WindowShape shape = windowShape(dpi_);
  SetWindowPos(hwnd_, nullptr, left, top, shape.width, shape.height, SWP_NOZORDER | SWP_NOACTIVATE);
  placeChildren();
  loadIcons();
  applyOutline();
  InvalidateRect(hwnd_, nullptr, FALSE);
}

void MainWindow::placeChildren() {
  for (Ctl which : kTextBoxTabOrder) {
    const ControlDesign& s = design(which);
    const PixelBox b = deviceBox(s, dpi_);
    HWND edit = box(which);
    if (!edit) continue;  // not made yet
    SetWindowPos(edit, nullptr, b.left, b.top, b.right - b.left, b.bottom - b.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.font(s.font)), FALSE);
  }
  portFont_.forget();  // the fonts of the old DPI are gone
  fitPortFont();
  placeTooltips();
}

void MainWindow::placeTooltips() {
  for (int i = 0; tooltip_ && i < kControlCount; ++i) {
    if (kLayout[i].kind != Kind::Label) continue;
    const PixelBox b = deviceBox(kLayout[i], dpi_);
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = hwnd_;
    tool.uId = static_cast<UINT_PTR>(i);
    tool.rect = RECT{b.left, b.top, b.right, b.bottom};
    SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void MainWindow::applyOutline() {
  // Setting the region repositions the window, which may report a size change again.
  if (applyingOutline_) return;
  applyingOutline_ = true;
  const WindowShape shape = windowShape(dpi_);
  // The region belongs to the window once set; a region that cannot be made leaves the
  // window rectangular.
  SetWindowRgn(
      hwnd_,
      CreateRoundRectRgn(0, 0, shape.regionRight, shape.regionBottom, shape.corner, shape.corner),
      TRUE);
  applyingOutline_ = false;
}

void MainWindow::loadIcons() {
  auto load = [&](int width, int height) {
    return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(TOVANIK_ICON), IMAGE_ICON,
                                         GetSystemMetricsForDpi(width, dpi_),
                                         GetSystemMetricsForDpi(height, dpi_), 0));
  };
  HICON big = load(SM_CXICON, SM_CYICON);
  HICON small = load(SM_CXSMICON, SM_CYSMICON);
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
  bigIcon_ = big;
  smallIcon_ = small;
}

void MainWindow::paint() {
  PAINTSTRUCT ps;
  HDC screen = BeginPaint(hwnd_, &ps);
  const WindowShape shape = windowShape(dpi_);
  // Drawn off screen and copied in one go, so nothing flickers.
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, shape.width, shape.height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  paintLayout(memory, panel_, dpi_, fonts_);
  paintedMark_ = keyboard_.mark();
  if (paintedMark_) paintFocusMark(memory, *paintedMark_, dpi_);
  BitBlt(screen, 0, 0, shape.width, shape.height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(hwnd_, &ps);
  painted_ = panel_.controls();
  if (startup_.framePainted()) PostMessageW(hwnd_, kLoadAfterPaint, 0, 0);
}

void MainWindow::createAfterFirstFrame() {
  createTextBoxes({Ctl::txtExeName, Ctl::txtRootDir});
  // In the design's tab order: Tab follows the order of the child windows.
  for (std::size_t i = 1; i < kTextBoxTabOrder.size(); ++i)
    SetWindowPos(box(kTextBoxTabOrder[i]), box(kTextBoxTabOrder[i - 1]), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  placeChildren();
  sync();
}

void MainWindow::show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  // No visible control holds the focus at start: the port box shows no caret until used.
  focusControl(std::nullopt);
}

void MainWindow::showYourself() {
  if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
  SetForegroundWindow(hwnd_);
}

void MainWindow::restIfQuiet() {
  // Under Wine a tick that only looks still wakes the program and the Wine server each
  // second (docs/performance.md).
  rest_ = panel_.restAlarm();
  if (rest_) KillTimer(hwnd_, kTickTimer);
}

const std::vector<void*>& MainWindow::restObjects() const {
  static const std::vector<void*> none;
  return rest_ ? rest_->objects() : none;
}

void MainWindow::endRest() {
  if (!rest_) return;
  rest_.reset();
  SetTimer(hwnd_, kTickTimer, 1000, nullptr);
}

void MainWindow::makeTopMost() {
  // A window not yet shown (or a second copy's, never shown) stays hidden and inactive.
  const UINT activate = IsWindowVisible(hwnd_) ? 0 : SWP_NOACTIVATE;
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | activate);
}

void MainWindow::sync() {
  if (!hwnd_) return;
  endRest();
  for (Ctl which : kTextBoxTabOrder)
    if (box(which)) syncBox(which);
  if (panel_.controls() != painted_ || keyboard_.mark() != paintedMark_)
    InvalidateRect(hwnd_, nullptr, FALSE);
  announceChanges();
}

bool MainWindow::keyMessage(const MSG& message) {
  if (message.message != WM_KEYDOWN || !(message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd)) ||
      GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0)
    return false;
  if (message.wParam == VK_TAB) {
    keyboard_.tab(GetKeyState(VK_SHIFT) >= 0);
    return true;
  }
  const bool repeat = (message.lParam & (1 << 30)) != 0;  // the key was down already
  if ((message.wParam == VK_SPACE || message.wParam == VK_RETURN) && !repeat)
    return keyboard_.activate();
  return false;
}

void MainWindow::focusControl(std::optional<Ctl> control) {
  if (!control) {
    // At rest the window itself holds the focus, as the focus box does in the design: an
    // edit box with the focus keeps a caret, whose blink (a system timer the caret's owner
    // cannot stop under Wine) would wake the panel twice a second, though the box lies out
    // of sight.
    SetFocus(hwnd_);
    keyboard_.focusTaken(std::nullopt);
  } else if (*control == Ctl::txtPort) {
    SetFocus(box(Ctl::txtPort));
    SendMessageW(box(Ctl::txtPort), EM_SETSEL, 0, -1);  // its port selected, to type over
  } else {
    SetFocus(hwnd_);  // the window holds the drawn controls' focus
    NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd_, OBJID_CLIENT, accessibleChildId(*control));
  }
}

}  // namespace tovanik::win32
