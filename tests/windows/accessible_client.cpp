// A screen reader's view of the running panel, for the Windows display test: finds the
// window titled "Tovanik PHP Web Server", takes its client area's IAccessible as any
// MSAA client does (AccessibleObjectFromWindow: across processes) and writes each child as
// "role|name|description|states" into OUTPUT, in UTF-8 (a file: under Wine outputs are read
// through files). `press PREFIX` first runs the default action of the child whose name
// starts with PREFIX; `events PREFIX` does so too, and then writes the window's events
// for its client area, "event KIND CHILD", until the child's name change is heard (10 s at
// most). Exits 1 with the failing call and its HRESULT in OUTPUT.
//   accessible_client OUTPUT [press|events PREFIX]
#include <windows.h>
// oleacc.h needs windows.h before it.
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
  if (!text) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length > 0 ? length - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

const char* roleWord(long role) {
  switch (role) {
    case ROLE_SYSTEM_CHECKBUTTON: return "checkbutton";
    case ROLE_SYSTEM_PUSHBUTTON: return "pushbutton";
    case ROLE_SYSTEM_LINK: return "link";
    case ROLE_SYSTEM_TEXT: return "text";
    default: return "other";
  }
}

std::string states(long bits) {
  std::string words;
  for (const auto& [bit, word] : {std::pair{STATE_SYSTEM_CHECKED, "checked"},
                                  {STATE_SYSTEM_FOCUSABLE, "focusable"},
                                  {STATE_SYSTEM_UNAVAILABLE, "unavailable"}})
    if (bits & bit) words.append(words.empty() ? "" : ",").append(word);
  return words;
}

std::string text(IAccessible* object, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*),
                 long id) {
  BSTR value = nullptr;
  VARIANT child{};
  child.vt = VT_I4;
  child.lVal = id;
  (object->*get)(child, &value);
  std::string said = utf8(value);
  SysFreeString(value);
  return said;
}

FILE* out = nullptr;
HWND window = nullptr;
long pressed = 0;  // the child whose default action ran
bool named = false;

void CALLBACK heard(HWINEVENTHOOK, DWORD event, HWND from, LONG object, LONG child, DWORD, DWORD) {
  if (from != window || object != OBJID_CLIENT) return;
  const char* kind = event == EVENT_OBJECT_STATECHANGE  ? "statechange"
                     : event == EVENT_OBJECT_NAMECHANGE ? "namechange"
                     : event == EVENT_OBJECT_FOCUS      ? "focus"
                                                        : "other";
  std::fprintf(out, "event %s %ld\n", kind, static_cast<long>(child));
  named = named || (event == EVENT_OBJECT_NAMECHANGE && child == pressed);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 4) return 2;
  out = _wfopen(argv[1], L"wb");
  if (!out) return 2;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IAccessible* panel = nullptr;
  window = FindWindowW(nullptr, L"Tovanik PHP Web Server");
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  // Hooked before the press, so that no event of it is missed.
  const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_NAMECHANGE, nullptr,
                                             heard, process, 0, WINEVENT_OUTOFCONTEXT);
  const HRESULT got = window ? AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                                          __uuidof(IAccessible),
                                                          reinterpret_cast<void**>(&panel))
                             : E_HANDLE;
  long count = 0;
  if (FAILED(got) || FAILED(panel->get_accChildCount(&count))) {
    std::fprintf(out, "error: AccessibleObjectFromWindow 0x%08lx\n", static_cast<unsigned long>(got));
    std::fclose(out);
    return 1;
  }
  const std::string prefix = argc == 4 ? utf8(argv[3]) : "";
  for (long id = 1; id <= count; ++id) {
    const std::string name = text(panel, &IAccessible::get_accName, id);
    VARIANT child{}, role{}, state{};
    child.vt = VT_I4;
    child.lVal = id;
    if (!prefix.empty() && name.rfind(prefix, 0) == 0) {
      const HRESULT done = panel->accDoDefaultAction(child);
      pressed = id;
      std::fprintf(out, "pressed %s: 0x%08lx\n", name.c_str(), static_cast<unsigned long>(done));
    }
    panel->get_accRole(child, &role);
    panel->get_accState(child, &state);
    std::fprintf(out, "%s|%s|%s|%s\n", roleWord(role.lVal), name.c_str(),
                 text(panel, &IAccessible::get_accDescription, id).c_str(),
                 states(state.lVal).c_str());
  }
  // The events come as messages to this thread.
  const ULONGLONG deadline = GetTickCount64() + 10000;
  while (argc == 4 && argv[2] == std::wstring(L"events") && !named && GetTickCount64() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  if (hook) UnhookWinEvent(hook);
  panel->Release();
  std::fclose(out);
  CoUninitialize();
  return 0;
}
