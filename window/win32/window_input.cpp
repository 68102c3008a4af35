// The pointer on the window: presses, clicks on the labels, hover, the hand pointer and
// dragging the window by its bare surface.
#include "window/win32/dpi_geometry.h"
#include "window/win32/main_window.h"

namespace tovanik::win32 {
namespace {

constexpr WPARAM kAnyButton = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_XBUTTON1 | MK_XBUTTON2;

}  // namespace

void MainWindow::buttonDown(POINT at, WPARAM) {
  const float x = twipsOf(at.x, dpi_);
  const float y = twipsOf(at.y, dpi_);
  pressedLabel_ = labelAt(x, y);
  pressOnSurface_ = !pressedLabel_;
  if (pressOnSurface_) {
    // Any button moves the anchor; only the left button alone drags.
    dragStartX_ = x;
    dragStartY_ = y;
  }
  // The control pressed keeps the pointer until the last button is released, also
  // outside the window.
  if (GetCapture() != hwnd_) SetCapture(hwnd_);
}

void MainWindow::buttonUp(UINT message, POINT at, WPARAM buttons) {
  const auto label = labelAt(twipsOf(at.x, dpi_), twipsOf(at.y, dpi_));
  const bool clicked = message == WM_LBUTTONUP && pressedLabel_ && label == pressedLabel_;
  if (!(buttons & kAnyButton)) ReleaseCapture();  // WM_CAPTURECHANGED forgets the press
  if (clicked) click(*label);
}

void MainWindow::mouseMove(POINT at, WPARAM buttons) {
  // While a button is held, what it was pressed on keeps the pointer: a label goes on
  // taking the motion, the surface goes on dragging.
  const WPARAM held = buttons & kAnyButton;
  std::optional<Ctl> label;
  if (held && pressedLabel_)
    label = pressedLabel_;
  else if (!(held && pressOnSurface_))
    label = labelAt(twipsOf(at.x, dpi_), twipsOf(at.y, dpi_));
  if (label) {
    hand_ = panel_.hover(*label);
  } else {
    if (held == MK_LBUTTON && pressOnSurface_) drag();
    panel_.surfaceMotion();
    hand_ = false;
  }
  SetCursor(LoadCursorW(nullptr, hand_ ? IDC_HAND : IDC_ARROW));
  sync();
}

bool MainWindow::setCursor(LPARAM hitTest) {
  if (LOWORD(hitTest) != HTCLIENT) return false;
  // The last motion decided; Windows asks again before each one.
  SetCursor(LoadCursorW(nullptr, hand_ ? IDC_HAND : IDC_ARROW));
  return true;
}

void MainWindow::drag() {
  // The pressed point goes under the pointer: the window's place is the pointer's place on
  // the screen when this motion happened, less the press's offset in the window. Never
  // from the window's own position, which may lag behind while the display has not
  // applied the previous move, so the window never overshoots. The design's drag
  // arithmetic (dragOrigin), with this monitor's twips per pixel.
  const DWORD screen = GetMessagePos();
  const float twipsPerPixel = static_cast<float>(kTwipsPerInch) / static_cast<float>(dpi_);
  SetWindowPos(hwnd_, nullptr,
               dragOrigin(static_cast<short>(LOWORD(screen)), dragStartX_, twipsPerPixel),
               dragOrigin(static_cast<short>(HIWORD(screen)), dragStartY_, twipsPerPixel), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::click(Ctl label) {
  switch (panel_.click(label)) {
    case ClickOutcome::Close:
      // The server is not stopped: it keeps running after the panel has closed.
      DestroyWindow(hwnd_);
      return;
    case ClickOutcome::Minimise:
      ShowWindow(hwnd_, SW_MINIMIZE);
      return;
    case ClickOutcome::Changed:
      sync();
      return;
    case ClickOutcome::None:
      return;
  }
}

}  // namespace tovanik::win32
