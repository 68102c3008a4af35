// The IAccessible of the panel's client area: MSAA's calls answered from the panel's
// table of accessible controls (panel/accessible_controls.h).
#include "window/win32/accessible_panel.h"

#include <algorithm>
#include <string>

#include "panel/accessible_controls.h"
#include "panel/panel.h"
#include "platform/windows/wide_text.h"
#include "window/win32/accessible_calls.h"

namespace tovanik::win32 {
namespace {

constexpr long kChildCount = static_cast<long>(kAccessibleControls.size());

HRESULT text(const std::string& utf8, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (utf8.empty()) return S_FALSE;
  // The object exists only once its calls are loaded.
  *out = accessibleCalls()->allocString(windows::utf16(utf8).c_str());
  return *out ? S_OK : E_OUTOFMEMORY;
}

// VariantInit's work, without importing oleaut32 for it.
void empty(VARIANT* out) { out->vt = VT_EMPTY; }

void childId(VARIANT* out, LONG id) {
  out->vt = VT_I4;
  out->lVal = id;
}

Ctl controlAt(long id) { return kAccessibleControls[static_cast<std::size_t>(id - 1)]; }

long roleOf(Ctl control) {
  switch (accessibleRole(control)) {
    case AccessibleRole::Switch:
      return ROLE_SYSTEM_CHECKBUTTON;
    case AccessibleRole::Link:
      return ROLE_SYSTEM_LINK;
    case AccessibleRole::Button:
      return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::PortText:
      break;
  }
  return ROLE_SYSTEM_TEXT;
}

}  // namespace

LONG accessibleChildId(Ctl control) {
  const auto at = std::find(kAccessibleControls.begin(), kAccessibleControls.end(), control);
  return at == kAccessibleControls.end() ? CHILDID_SELF
                                         : static_cast<LONG>(at - kAccessibleControls.begin()) + 1;
}

void PanelAccessible::disconnect() {
  host_ = nullptr;
  window_ = nullptr;
}

bool PanelAccessible::resolve(const VARIANT& child, std::optional<Ctl>& control,
                              HRESULT& result) const {
  result = CO_E_OBJNOTCONNECTED;
  if (!host_) return false;
  result = E_INVALIDARG;
  if (child.vt != VT_I4 || child.lVal < 0 || child.lVal > kChildCount) return false;
  control = child.lVal == CHILDID_SELF ? std::nullopt : std::optional(controlAt(child.lVal));
  return true;
}

void PanelAccessible::portBoxObject(VARIANT* out) const {
  IDispatch* box = nullptr;
  if (host_->portBox() &&
      SUCCEEDED(accessibleCalls()->objectFromWindow(host_->portBox(), OBJID_CLIENT, IID_IDispatch,
                                                    reinterpret_cast<void**>(&box)))) {
    out->vt = VT_DISPATCH;
    out->pdispVal = box;
  } else {
    childId(out, accessibleChildId(Ctl::txtPort));
  }
}

// ---------------------------------------------------------------- IUnknown, IDispatch

HRESULT PanelAccessible::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
    *object = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG PanelAccessible::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG PanelAccessible::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT PanelAccessible::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT PanelAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT PanelAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT PanelAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                UINT*) {
  return E_NOTIMPL;
}

// ---------------------------------------------------------------- the tree

HRESULT PanelAccessible::get_accParent(IDispatch** parent) {
  if (!parent) return E_POINTER;
  *parent = nullptr;
  if (!host_) return CO_E_OBJNOTCONNECTED;
  // The window's own object (its frame), which the system makes.
  return accessibleCalls()->objectFromWindow(window_, static_cast<DWORD>(OBJID_WINDOW),
                                             IID_IDispatch, reinterpret_cast<void**>(parent));
}

HRESULT PanelAccessible::get_accChildCount(long* count) {
  if (!count) return E_POINTER;
  *count = host_ ? kChildCount : 0;
  return host_ ? S_OK : CO_E_OBJNOTCONNECTED;
}

HRESULT PanelAccessible::get_accChild(VARIANT child, IDispatch** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  std::optional<Ctl> control;
  HRESULT result;
  if (!resolve(child, control, result)) return result;
  if (!control) return E_INVALIDARG;
  // The drawn controls are simple children: the parent answers for them.
  if (*control != Ctl::txtPort || !host_->portBox()) return S_FALSE;
  return accessibleCalls()->objectFromWindow(host_->portBox(), static_cast<DWORD>(OBJID_CLIENT),
                                             IID_IDispatch, reinterpret_cast<void**>(object));
}

HRESULT PanelAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
  if (!end) return E_POINTER;
  empty(end);
  std::optional<Ctl> control;
  HRESULT result;
  if (!resolve(start, control, result)) return result;
  long to = 0;
  if (!control && direction == NAVDIR_FIRSTCHILD) to = 1;
  if (!control && direction == NAVDIR_LASTCHILD) to = kChildCount;
  if (control && direction == NAVDIR_NEXT) to = start.lVal + 1;
  if (control && direction == NAVDIR_PREVIOUS) to = start.lVal - 1;
  if (to < 1 || to > kChildCount) return S_FALSE;  // nothing there (or a direction on screen)
  childId(end, to);
  return S_OK;
}

HRESULT PanelAccessible::accHitTest(long x, long y, VARIANT* child) {
  if (!child) return E_POINTER;
  empty(child);
  if (!host_) return CO_E_OBJNOTCONNECTED;
  POINT at{x, y};
  RECT client;
  ScreenToClient(window_, &at);
  GetClientRect(window_, &client);
  if (!PtInRect(&client, at)) return S_FALSE;
  for (const Ctl control : kAccessibleControls) {
    const RECT box = host_->controlBox(control);
    if (!PtInRect(&box, at)) continue;
    if (control == Ctl::txtPort)
      portBoxObject(child);
    else
      childId(child, accessibleChildId(control));
    return S_OK;
  }
  childId(child, CHILDID_SELF);
  return S_OK;
}

HRESULT PanelAccessible::get_accFocus(VARIANT* focus) {
  if (!focus) return E_POINTER;
  empty(focus);
  if (!host_) return CO_E_OBJNOTCONNECTED;
  const std::optional<Ctl> control = host_->accessibleFocus();
  if (!control) return S_FALSE;
  if (*control == Ctl::txtPort)
    portBoxObject(focus);
  else
    childId(focus, accessibleChildId(*control));
  return S_OK;
}

HRESULT PanelAccessible::get_accSelection(VARIANT* selection) {
  if (selection) empty(selection);
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT PanelAccessible::accSelect(long, VARIANT) { return DISP_E_MEMBERNOTFOUND; }

// ---------------------------------------------------------------- one control's properties

HRESULT PanelAccessible::get_accName(VARIANT child, BSTR* name) {
  std::optional<Ctl> control;
  HRESULT result;
  if (name) *name = nullptr;
  if (!resolve(child, control, result)) return result;
  return text(control ? accessibleName(host_->accessiblePanel(), *control)
                      : std::string(kFormCaption),
              name);
}

HRESULT PanelAccessible::get_accValue(VARIANT child, BSTR* value) {
  std::optional<Ctl> control;
  HRESULT result;
  if (value) *value = nullptr;
  if (!resolve(child, control, result)) return result;
  if (control != Ctl::txtPort) return DISP_E_MEMBERNOTFOUND;
  return text(host_->accessiblePanel()[Ctl::txtPort].caption, value);
}

HRESULT PanelAccessible::get_accDescription(VARIANT child, BSTR* description) {
  std::optional<Ctl> control;
  HRESULT result;
  if (description) *description = nullptr;
  if (!resolve(child, control, result)) return result;
  return text(control ? accessibleDescription(host_->accessiblePanel(), *control) : "",
              description);
}

HRESULT PanelAccessible::get_accRole(VARIANT child, VARIANT* role) {
  std::optional<Ctl> control;
  HRESULT result;
  if (!role) return E_POINTER;
  empty(role);
  if (!resolve(child, control, result)) return result;
  childId(role, control ? roleOf(*control) : ROLE_SYSTEM_CLIENT);
  return S_OK;
}

HRESULT PanelAccessible::get_accState(VARIANT child, VARIANT* state) {
  std::optional<Ctl> control;
  HRESULT result;
  if (!state) return E_POINTER;
  empty(state);
  if (!resolve(child, control, result)) return result;
  long bits = STATE_SYSTEM_FOCUSABLE;
  if (control) {
    const Panel& panel = host_->accessiblePanel();
    // Tab passes over the port box while it is disabled, not over the address.
    if (!accessibleEnabled(panel, *control))
      bits = (*control == Ctl::txtPort ? 0 : bits) | STATE_SYSTEM_UNAVAILABLE;
    if (host_->accessibleFocus() == control) bits |= STATE_SYSTEM_FOCUSED;
    if (accessibleChecked(panel, *control)) bits |= STATE_SYSTEM_CHECKED;
    if (accessibleRole(*control) == AccessibleRole::Link) bits |= STATE_SYSTEM_LINKED;
  }
  childId(state, bits);
  return S_OK;
}

HRESULT PanelAccessible::get_accHelp(VARIANT, BSTR* help) {
  if (help) *help = nullptr;
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT PanelAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
  if (file) *file = nullptr;
  if (topic) *topic = 0;
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT PanelAccessible::get_accKeyboardShortcut(VARIANT, BSTR* shortcut) {
  if (shortcut) *shortcut = nullptr;
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT PanelAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
  std::optional<Ctl> control;
  HRESULT result;
  if (action) *action = nullptr;
  if (!resolve(child, control, result)) return result;
  if (!control || *control == Ctl::txtPort) return DISP_E_MEMBERNOTFOUND;
  return text(accessibleDefaultAction(host_->accessiblePanel(), *control), action);
}

HRESULT PanelAccessible::accDoDefaultAction(VARIANT child) {
  std::optional<Ctl> control;
  HRESULT result;
  if (!resolve(child, control, result)) return result;
  if (!control || *control == Ctl::txtPort) return DISP_E_MEMBERNOTFOUND;
  // Posted: a start waits for the server's port, and a reader must not wait with it.
  host_->postClick(*control);
  return S_OK;
}

HRESULT PanelAccessible::accLocation(long* left, long* top, long* width, long* height,
                                     VARIANT child) {
  std::optional<Ctl> control;
  HRESULT result;
  if (!left || !top || !width || !height) return E_POINTER;
  *left = *top = *width = *height = 0;
  if (!resolve(child, control, result)) return result;
  RECT box;
  if (control)
    box = host_->controlBox(*control);
  else
    GetClientRect(window_, &box);
  POINT corner{box.left, box.top};
  ClientToScreen(window_, &corner);
  *left = corner.x;
  *top = corner.y;
  *width = box.right - box.left;
  *height = box.bottom - box.top;
  return S_OK;
}

HRESULT PanelAccessible::put_accName(VARIANT, BSTR) { return DISP_E_MEMBERNOTFOUND; }

HRESULT PanelAccessible::put_accValue(VARIANT, BSTR) { return DISP_E_MEMBERNOTFOUND; }

}  // namespace tovanik::win32
