// The window's side of its accessible object (accessible_panel.h): handing it out at
// WM_GETOBJECT, the events a reader listens for, and the click a reader asks for.
#include <windows.h>
// oleacc.h needs windows.h before it.
#include <oleacc.h>

#include "panel/dpi_geometry.h"
#include "window/win32/accessible_calls.h"
#include "window/win32/main_window.h"

namespace tovanik::win32 {

LRESULT MainWindow::accessibleObject(WPARAM flags) {
  const AccessibleCalls* calls = accessibleCalls();
  if (!calls) return 0;  // the system's object for a plain window serves
  if (!comStarted_) {
    // LresultFromObject marshals the object through COM; a thread that had it started
    // already (in another mode) keeps it as it is.
    const HRESULT started = calls->startCom(nullptr, COINIT_APARTMENTTHREADED);
    comStarted_ = SUCCEEDED(started);
  }
  if (!accessible_) accessible_ = new PanelAccessible(*this, hwnd_);
  return calls->lresultFromObject(__uuidof(IAccessible), flags, accessible_);
}

void MainWindow::dropAccessible() {
  if (!accessible_) return;
  accessible_->disconnect();
  // Readers in other processes are cut off now, not at their next call's failure.
  accessibleCalls()->disconnect(accessible_, 0);
  accessible_->Release();
  accessible_ = nullptr;
}

void MainWindow::announceChanges() {
  for (const AccessibleChange& change : announced_.changes(panel_)) {
    const LONG id = accessibleChildId(change.control);
    if (change.checked) NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd_, OBJID_CLIENT, id);
    if (change.name) NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, hwnd_, OBJID_CLIENT, id);
    if (change.description)
      NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, hwnd_, OBJID_CLIENT, id);
  }
}

std::optional<Ctl> MainWindow::accessibleFocus() const {
  const HWND focus = GetFocus();
  if (focus && focus == box(Ctl::txtPort)) return Ctl::txtPort;
  if (focus != hwnd_ || keyboard_.focus() == Ctl::txtPort) return std::nullopt;
  return keyboard_.focus();
}

RECT MainWindow::controlBox(Ctl control) const {
  const PixelBox b = deviceBox(design(control), dpi_);
  return RECT{b.left, b.top, b.right, b.bottom};
}

void MainWindow::postClick(Ctl control) {
  PostMessageW(hwnd_, kAccessibleClick, static_cast<WPARAM>(index(control)), 0);
}

}  // namespace tovanik::win32
