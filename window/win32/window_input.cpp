// The pointer on the window: its events handed to the panel's pointer routing, the capture,
// the hand pointer and the window's moves.
#include "window/win32/main_window.h"

namespace tovanik::win32 {
namespace {

constexpr WPARAM kAnyButton = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_XBUTTON1 | MK_XBUTTON2;

PointerAt clientPoint(POINT at) {
  PointerAt pointer;
  pointer.x = at.x;
  pointer.y = at.y;
  return pointer;
}

HeldButtons held(WPARAM buttons) {
  const WPARAM any = buttons & kAnyButton;
  return {any != 0, any == MK_LBUTTON};
}

}  // namespace

void MainWindow::buttonDown(POINT at, WPARAM) {
  keyboard_.pointerPressed();
  sync();  // the focus mark goes
  pointer_.press(clientPoint(at));
  // The control pressed keeps the pointer until the last button is released, also
  // outside the window.
  if (GetCapture() != hwnd_) SetCapture(hwnd_);
}

void MainWindow::buttonUp(UINT message, POINT at, WPARAM buttons) {
  pointer_.release(clientPoint(at), message == WM_LBUTTONUP, held(buttons));
  if (!(buttons & kAnyButton)) ReleaseCapture();
}

void MainWindow::mouseMove(POINT at, WPARAM buttons) {
  // The pointer's place on the screen when this motion happened, for a drag.
  const DWORD screen = GetMessagePos();
  PointerAt pointer = clientPoint(at);
  pointer.screenX = static_cast<short>(LOWORD(screen));
  pointer.screenY = static_cast<short>(HIWORD(screen));
  pointer_.move(pointer, held(buttons));
}

void MainWindow::showHand(bool hand) {
  hand_ = hand;
  SetCursor(LoadCursorW(nullptr, hand_ ? IDC_HAND : IDC_ARROW));
}

bool MainWindow::setCursor(LPARAM hitTest) {
  if (LOWORD(hitTest) != HTCLIENT) return false;
  // The last motion decided; Windows asks again before each one.
  SetCursor(LoadCursorW(nullptr, hand_ ? IDC_HAND : IDC_ARROW));
  return true;
}

void MainWindow::moveWindowTo(int left, int top) {
  SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The server is not stopped: it keeps running after the panel has closed.
void MainWindow::closeWindow() { DestroyWindow(hwnd_); }

void MainWindow::minimiseWindow() { ShowWindow(hwnd_, SW_MINIMIZE); }

}  // namespace tovanik::win32
