#pragma once
// The panel's drawn controls for Windows' screen readers (Microsoft Active Accessibility):
// the window answers WM_GETOBJECT for its client area with this IAccessible, whose simple
// children 1..N are the controls of panel/accessible_controls.h in the design's tab order
// (the port box, a real EDIT window, is also handed out as its own native object). Names,
// roles, states and actions come from the panel's table; only the COM glue is here.
//
// The window owns one reference and disconnects the object when it is destroyed: from
// then on every call returns CO_E_OBJNOTCONNECTED, however long a reader holds it.
//
// The interface's IID is taken as __uuidof(IAccessible), never IID_IAccessible: mingw's
// import library of oleacc has a symbol of that name too, an import thunk, and a link that
// resolves it there reads the thunk's code bytes as the IID (the object then answers
// E_NOINTERFACE).

#include <windows.h>
// oleacc.h needs windows.h before it.
#include <oleacc.h>

#include <optional>

#include "panel/layout.h"

namespace tovanik {
class Panel;
}

namespace tovanik::win32 {

// What the object asks of its window.
class AccessibleHost {
 public:
  virtual ~AccessibleHost() = default;
  virtual const Panel& accessiblePanel() const = 0;
  // The control that holds the keyboard focus now: a drawn one, or the port box; none
  // while the focus is elsewhere.
  virtual std::optional<Ctl> accessibleFocus() const = 0;
  // The control's rectangle in the window's client pixels at its DPI.
  virtual RECT controlBox(Ctl control) const = 0;
  virtual HWND portBox() const = 0;
  // A click on the control, run once the reader's call has returned.
  virtual void postClick(Ctl control) = 0;
};

// The child id of a control of the table (1..N), CHILDID_SELF for any other.
LONG accessibleChildId(Ctl control);

class PanelAccessible final : public IAccessible {
 public:
  PanelAccessible(AccessibleHost& host, HWND window) : host_(&host), window_(window) {}
  // The window is going: no call reaches it again.
  void disconnect();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch: no type information; readers call IAccessible's methods directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO*, UINT*) override;
  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override;
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override;
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* shortcut) override;
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override;
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override;
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
  HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override;
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override;
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override;

 private:
  ~PanelAccessible() = default;
  // The control a child id names: nullopt for the window itself; false when the id is
  // none of ours or the window is gone (`result` then says which).
  bool resolve(const VARIANT& child, std::optional<Ctl>& control, HRESULT& result) const;
  // The port box's own object, or a child id where the box is not made yet.
  void portBoxObject(VARIANT* out) const;

  LONG references_ = 1;
  AccessibleHost* host_;
  HWND window_;
};

}  // namespace tovanik::win32
