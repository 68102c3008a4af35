// tovanikctl's `launcher` command on Windows: a Start-menu shortcut to this program
// folder's panel (a .lnk written through IShellLinkW) under
// %APPDATA%\Microsoft\Windows\Start Menu\Programs, and its removal.
#include <windows.h>
// The shell's headers need windows.h before them.
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <optional>
#include <ostream>

#include "app/ctl_commands.h"
#include "platform/path_text.h"
#include "platform/windows/system_library.h"
#include "platform/windows/wide_text.h"

namespace tovanik::ctl {
namespace {

using windows::systemFunction;
using windows::systemMessage;
using windows::utf16;
using windows::utf8;

constexpr const char* kShortcutName = "Tovanik Web Server.lnk";
constexpr const wchar_t* kDescription = L"Start, stop and watch PHP's built-in web server";

// %APPDATA% when it is an absolute path, else the system's roaming application data
// folder; nullopt when there is neither.
std::optional<std::string> roamingAppData() {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(L"APPDATA", value, 32768);
  if (length > 2 && length < 32768 && value[1] == L':') return utf8(std::wstring(value, length));
  const auto knownFolder =
      systemFunction<decltype(SHGetKnownFolderPath)>(L"shell32.dll", "SHGetKnownFolderPath");
  const auto release = systemFunction<decltype(CoTaskMemFree)>(L"ole32.dll", "CoTaskMemFree");
  wchar_t* known = nullptr;
  std::optional<std::string> folder;
  if (knownFolder && SUCCEEDED(knownFolder(FOLDERID_RoamingAppData, 0, nullptr, &known)))
    folder = utf8(known);
  if (release) release(known);
  return folder;
}

std::string shortcutPath(const std::string& appData) {
  std::string programs = appData;
  while (programs.size() > 3 && (programs.back() == '\\' || programs.back() == '/'))
    programs.pop_back();
  for (const char* part : {"Microsoft", "Windows", "Start Menu", "Programs"})
    programs = joinPath(programs, part);
  return joinPath(programs, kShortcutName);
}

// COM on this thread for as long as the object lives. COM is loaded here, at the first
// launcher command, not at every start of tovanikctl (status is run often).
class ComScope {
 public:
  ComScope()
      : start_(systemFunction<decltype(CoInitializeEx)>(L"ole32.dll", "CoInitializeEx")),
        end_(systemFunction<decltype(CoUninitialize)>(L"ole32.dll", "CoUninitialize")),
        create_(systemFunction<decltype(CoCreateInstance)>(L"ole32.dll", "CoCreateInstance")),
        result_(start_ && end_ && create_ ? start_(nullptr, COINIT_APARTMENTTHREADED)
                                          : HRESULT_FROM_WIN32(GetLastError())) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) end_();
  }
  HRESULT create(REFCLSID type, REFIID asked, void** object) const {
    return create_(type, nullptr, CLSCTX_INPROC_SERVER, asked, object);
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  HRESULT result() const { return result_; }

 private:
  decltype(CoInitializeEx)* start_;
  decltype(CoUninitialize)* end_;
  decltype(CoCreateInstance)* create_;
  HRESULT result_;
};

template <typename Interface>
struct Released {
  Interface* pointer = nullptr;
  ~Released() {
    if (pointer) pointer->Release();
  }
};

// Writes the shortcut; the reason on failure.
std::optional<std::string> writeShortcut(const std::string& link, const std::string& panel,
                                         const std::string& folder) {
  const ComScope com;
  if (FAILED(com.result())) return systemMessage(static_cast<DWORD>(com.result()));
  Released<IShellLinkW> shortcut;
  HRESULT result =
      com.create(CLSID_ShellLink, IID_IShellLinkW, reinterpret_cast<void**>(&shortcut.pointer));
  if (FAILED(result)) return systemMessage(static_cast<DWORD>(result));
  shortcut.pointer->SetPath(utf16(panel).c_str());
  shortcut.pointer->SetWorkingDirectory(utf16(folder).c_str());
  shortcut.pointer->SetDescription(kDescription);
  shortcut.pointer->SetIconLocation(utf16(panel).c_str(), 0);
  Released<IPersistFile> file;
  result =
      shortcut.pointer->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.pointer));
  if (SUCCEEDED(result)) result = file.pointer->Save(utf16(link).c_str(), TRUE);
  if (FAILED(result)) return systemMessage(static_cast<DWORD>(result));
  return std::nullopt;
}

int install(const Context& c, const std::string& link) {
  const std::string panel = joinPath(c.programFolder, "tovanik-webserver.exe");
  const DWORD attributes = GetFileAttributesW(utf16(panel).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return fail(c, "no panel to launch at " + panel + ": " +
                       (attributes == INVALID_FILE_ATTRIBUTES ? lastSystemError() : "a folder"));
  std::error_code error;
  const auto folder = fsPath(link).parent_path();
  std::filesystem::create_directories(folder, error);
  if (error) return fail(c, "cannot create the folder of " + link + ": " + error.message());
  if (const auto why = writeShortcut(link, panel, c.programFolder))
    return fail(c, "cannot write " + link + ": " + *why);
  c.out << "menu entry: " << link << '\n';
  return 0;
}

int remove(const Context& c, const std::string& link) {
  int removed = 0;
  if (DeleteFileW(utf16(link).c_str())) {
    removed = 1;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
    return fail(c, "cannot remove " + link + ": " + lastSystemError());
  }
  c.out << "removed " << removed << " file" << (removed == 1 ? "" : "s") << '\n';
  return 0;
}

}  // namespace

int launcher(const Context& c, const std::vector<std::string>& args) {
  if (args.size() != 1 || (args[0] != "install" && args[0] != "remove"))
    return usageError(c, "usage: tovanikctl launcher install | launcher remove");
  const auto appData = roamingAppData();
  if (!appData) return fail(c, "no application data folder: set APPDATA");
  const std::string link = shortcutPath(*appData);
  return args[0] == "install" ? install(c, link) : remove(c, link);
}

}  // namespace tovanik::ctl
