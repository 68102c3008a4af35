#include "platform/windows/start_menu.h"

#include <windows.h>
// The shell's headers need windows.h before them.
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <optional>

#include "platform/path_text.h"
#include "platform/platform.h"
#include "platform/why_not.h"
#include "platform/windows/folders.h"
#include "platform/windows/system_library.h"
#include "platform/windows/wide_text.h"

namespace tovanik {
namespace {

using windows::systemFunction;
using windows::systemMessage;
using windows::utf16;
using windows::utf8;

constexpr const wchar_t* kDescription = L"Start, stop and watch PHP's built-in web server";
// Every shortcut of ours has a name that starts so ("Tovanik Web Server", "Tovanik — site").
constexpr const wchar_t* kNamePattern = L"Tovanik*.lnk";
constexpr const char* kPanelName = "tovanik-webserver.exe";

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

std::string programsFolder() {
  const auto appData = roamingAppData();
  if (!appData) return {};
  std::string programs = *appData;
  while (programs.size() > 3 && (programs.back() == '\\' || programs.back() == '/'))
    programs.pop_back();
  for (const char* part : {"Microsoft", "Windows", "Start Menu", "Programs"})
    programs = joinPath(programs, part);
  return programs;
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

// A shortcut object and its file interface; the reason on failure.
std::optional<std::string> makeShortcut(const ComScope& com, Released<IShellLinkW>& shortcut,
                                        Released<IPersistFile>& file) {
  HRESULT result =
      com.create(CLSID_ShellLink, IID_IShellLinkW, reinterpret_cast<void**>(&shortcut.pointer));
  if (SUCCEEDED(result))
    result =
        shortcut.pointer->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.pointer));
  if (FAILED(result)) return systemMessage(static_cast<DWORD>(result));
  return std::nullopt;
}

// Writes the shortcut; the reason on failure.
std::optional<std::string> writeShortcut(const std::string& link, const std::string& panel,
                                         const std::string& folder) {
  const ComScope com;
  if (FAILED(com.result())) return systemMessage(static_cast<DWORD>(com.result()));
  Released<IShellLinkW> shortcut;
  Released<IPersistFile> file;
  if (auto why = makeShortcut(com, shortcut, file)) return why;
  shortcut.pointer->SetPath(utf16(panel).c_str());
  shortcut.pointer->SetWorkingDirectory(utf16(folder).c_str());
  shortcut.pointer->SetDescription(kDescription);
  shortcut.pointer->SetIconLocation(utf16(panel).c_str(), 0);
  const HRESULT result = file.pointer->Save(utf16(link).c_str(), TRUE);
  if (FAILED(result)) return systemMessage(static_cast<DWORD>(result));
  return std::nullopt;
}

// The program a shortcut of ours starts; "" when it cannot be read. A target past the
// old path limit does not come back from GetPath (Wine gives "", others cut it at
// MAX_PATH), so the working folder, which ours set to the program folder, names the
// panel then.
std::string shortcutTarget(const std::string& link) {
  const ComScope com;
  Released<IShellLinkW> shortcut;
  Released<IPersistFile> file;
  if (FAILED(com.result()) || makeShortcut(com, shortcut, file) || FAILED(file.pointer->Load(utf16(link).c_str(), STGM_READ)))
    return {};
  std::wstring target(32768, L'\0'), folder(32768, L'\0');
  const bool whole = SUCCEEDED(shortcut.pointer->GetPath(target.data(), 32768, nullptr, SLGP_RAWPATH)) &&
                     target[0] != L'\0' && wcslen(target.c_str()) < MAX_PATH - 1;
  if (whole) return utf8(target.c_str());
  if (FAILED(shortcut.pointer->GetWorkingDirectory(folder.data(), 32768)) || folder[0] == L'\0')
    return {};
  return joinPath(utf8(folder.c_str()), kPanelName);
}

bool removeFile(const std::string& path, int* removed, std::string* why) {
  if (DeleteFileW(windows::filePath(path).c_str())) {
    ++*removed;
    return true;
  }
  if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) return true;
  return failed(why, "cannot remove " + path + ": " + lastSystemError());
}

}  // namespace

std::string WindowsStartMenu::shortcutsFolder() const {
  const std::string programs = programsFolder();
  if (place_ == MenuPlace::Menu || programs.empty()) return programs;
  return joinPath(programs, "Startup");  // FOLDERID_Startup's place below Programs
}

std::string WindowsStartMenu::location(std::string* why) {
  const std::string folder = shortcutsFolder();
  if (folder.empty()) failed(why, "no application data folder: set APPDATA");
  return folder;
}

std::vector<MenuEntry> WindowsStartMenu::installed() {
  std::vector<MenuEntry> entries;
  const std::string folder = shortcutsFolder();
  if (folder.empty()) return entries;
  WIN32_FIND_DATAW found{};
  const HANDLE search =
      FindFirstFileW(utf16(joinPath(folder, "")).append(kNamePattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string file = utf8(found.cFileName);
    MenuEntry entry;
    entry.id = file.substr(0, file.size() - 4);  // without ".lnk"
    entry.name = entry.id;
    entry.file = joinPath(folder, file);
    entry.panel = shortcutTarget(entry.file);
    const std::size_t separator = entry.panel.find_last_of("\\/");
    entry.folder =
        separator == std::string::npos ? std::string() : entry.panel.substr(0, separator);
    if (!entry.panel.empty()) entries.push_back(entry);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

bool WindowsStartMenu::canInstall(const MenuEntry& entry, std::string* why) {
  const DWORD attributes = GetFileAttributesW(windows::filePath(entry.panel).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return failed(why,
                  "no panel to launch at " + entry.panel + ": " +
                      (attributes == INVALID_FILE_ATTRIBUTES ? lastSystemError() : "a folder"));
  return true;
}

bool WindowsStartMenu::write(const MenuEntry& entry, std::vector<std::string>* report,
                             std::string* why) {
  const std::string folder = shortcutsFolder();
  if (folder.empty()) return failed(why, "no application data folder: set APPDATA");
  const std::string link = joinPath(folder, entry.name + ".lnk");
  if (const auto reason = windows::makeFolders(folder))
    return failed(why, "cannot create the folder of " + link + ": " + *reason);
  if (const auto reason = writeShortcut(link, entry.panel, entry.folder))
    return failed(why, "cannot write " + link + ": " + *reason);
  // The shortcut of the same panel under its former name goes.
  int ignored = 0;
  for (const MenuEntry& other : installed())
    if (other.panel == entry.panel && other.id != entry.name)
      removeFile(joinPath(folder, other.id + ".lnk"), &ignored, nullptr);
  report->push_back((place_ == MenuPlace::Menu ? "menu entry: " : "at login: ") + link);
  return true;
}

bool WindowsStartMenu::remove(const MenuEntry& entry, bool, int* removed, std::string* why) {
  const std::string folder = shortcutsFolder();
  if (folder.empty()) return failed(why, "no application data folder: set APPDATA");
  return removeFile(joinPath(folder, entry.id + ".lnk"), removed, why);
}

}  // namespace tovanik
