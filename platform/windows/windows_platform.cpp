#include "platform/windows/windows_platform.h"

#include <windows.h>
// The shell's headers need windows.h before them.
#include <objbase.h>
#include <shellapi.h>

#include <map>
#include <set>

#include "platform/file_store.h"
#include "platform/windows/handle.h"
#include "platform/windows/process_launch.h"
#include "platform/windows/process_table.h"
#include "platform/windows/rest_alarm.h"
#include "platform/windows/single_copy.h"
#include "platform/windows/system_library.h"
#include "platform/windows/tcp_table.h"
#include "platform/windows/wide_text.h"

namespace tovanik {

using windows::utf16;
using windows::utf8;

namespace {

// `path` without its trailing separators, except the one of a drive's root ("C:\").
std::wstring withoutTrailingSeparators(std::wstring path) {
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/') &&
         !(path.size() == 3 && path[1] == L':'))
    path.pop_back();
  return path;
}

// The system folder that holds a program of Windows itself: notepad.exe in System32,
// explorer.exe in the Windows folder. Named in full, so no file of the same name in the
// current folder or on PATH is started instead.
std::wstring systemProgram(bool inSystem32, const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length =
      inSystem32 ? GetSystemDirectoryW(folder, MAX_PATH) : GetWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return name;
  return std::wstring(folder, length) + L"\\" + name;
}

Opening startShown(const std::wstring& application, const std::wstring& commandLine) {
  if (windows::startProcess(application.c_str(), commandLine, ConsoleMode::Shown) != 0) return {};
  return {0, lastSystemError()};
}

// ShellExecuteW's own codes (32 and below) in words; those that are system error codes
// too are the system's. The shell decides before it returns: the reason is known at once.
std::string shellExecuteReason(INT_PTR code) {
  switch (code) {
    case 0:
    case SE_ERR_OOM:
      return "the system is out of memory or resources";
    case SE_ERR_NOASSOC:
    case SE_ERR_ASSOCINCOMPLETE:
      return "no program is associated with it";
    case SE_ERR_DDEBUSY:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDETIMEOUT:
      return "the program it is associated with did not answer (DDE)";
    case SE_ERR_DLLNOTFOUND:
      return "a library the program needs was not found";
    case SE_ERR_SHARE:
      return "a sharing violation occurred";
    default:
      return windows::systemMessage(static_cast<DWORD>(code));
  }
}

// The log, opened for appending by the server: writes always land at its end, whatever
// a cut does meanwhile, and the cut, a reader and a later launch may open it too.
windows::Handle openLogForAppending(const std::string& path) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
  return windows::Handle(CreateFileW(windows::filePath(path).c_str(),
                                     FILE_APPEND_DATA | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     &attributes, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Windows starts no program from a path of MAX_PATH characters or more, whatever its
// long-path setting, and says the file is missing (Wine: or its name invalid). The file
// was found just before: say what really stopped the start.
void explainTooLong(const std::wstring& program) {
  const DWORD error = GetLastError();
  if (program.size() >= MAX_PATH && (error == ERROR_FILE_NOT_FOUND ||
                                     error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME))
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
}

}  // namespace

std::string lastSystemError() { return windows::systemMessage(GetLastError()); }

std::string WindowsPlatform::programFolder() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {};
  return utf8(withoutTrailingSeparators(path.substr(0, separator + 1)));
}

std::string WindowsPlatform::absolutePath(const std::string& path) const {
  const std::wstring wide = utf16(path);
  const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) return {};
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) return {};
  full.resize(written);
  return utf8(withoutTrailingSeparators(full));
}

bool WindowsPlatform::samePathText(const std::string& a, const std::string& b) const {
  return windows::sameFileName(utf16(a), utf16(b));
}

int WindowsPlatform::launchDetached(
    const std::vector<std::string>& argv, ConsoleMode mode, const std::string& outputLog,
    const std::vector<std::pair<std::string, std::string>>& extraEnvironment) {
  if (argv.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::wstring program = utf16(argv[0]);
  const DWORD attributes = GetFileAttributesW(windows::filePath(argv[0]).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  // A name without a folder is left to the system's search; a path is run as it is.
  const bool hasFolder = program.find_first_of(L"\\/:") != std::wstring::npos;
  const std::wstring environment = windows::environmentBlockWith(extraEnvironment);
  const wchar_t* application = hasFolder ? program.c_str() : nullptr;
  if (mode == ConsoleMode::Shown) {
    const DWORD pid = windows::startProcess(application, windows::commandLineOf(argv), mode,
                                            nullptr, environment);
    if (pid == 0) explainTooLong(program);
    return static_cast<int>(pid);
  }
  windows::Handle log;
  if (!outputLog.empty()) log = openLogForAppending(outputLog);
  const DWORD pid = windows::startProcess(application, windows::commandLineOf(argv), mode,
                                          log.get(), environment);
  if (pid == 0) {
    explainTooLong(program);
    const DWORD error = GetLastError();
    log = windows::Handle();  // closed before the caller marks the failure in the file
    SetLastError(error);
  }
  return static_cast<int>(pid);
}

std::vector<int> WindowsPlatform::findProcesses(const ServerImage& image) {
  return windows::findProcessesByImageName(image);
}

bool WindowsPlatform::anyProcess(const ServerImage& image) {
  // The tick's question, once a second: last time's server, still running under the
  // same name, answers it without a snapshot of the whole table.
  if (lastFound_ && windows::sameFileName(lastFoundName_, utf16(image.imageName)) &&
      windows::stillRuns(lastFound_))
    return true;
  lastFound_ = windows::openFirstProcessByImageName(image);
  lastFoundName_ = utf16(image.imageName);
  return static_cast<bool>(lastFound_);
}

std::unique_ptr<RestAlarm> WindowsPlatform::restAlarm(const std::vector<std::string>& folders) {
  if (!lastFound_ || !windows::stillRuns(lastFound_)) return nullptr;
  return windows::armRestAlarm(lastFound_.get(), folders);
}

int WindowsPlatform::killProcesses(const ServerImage& image) {
  return windows::killProcessesByImageName(image, *this);
}

bool WindowsPlatform::killLaunched(int pid) { return windows::killProcessTree(pid); }

bool WindowsPlatform::isLiveProcess(int pid) { return windows::isLiveProcess(pid); }

std::optional<ProcessInfo> WindowsPlatform::processInfo(int pid) {
  return windows::readProcessInfo(pid);
}

PortUse WindowsPlatform::portUse(int port, const std::vector<int>& likelyHolders) {
  PortUse use;
  const auto holders = windows::listenersOnPort(port, !likelyHolders.empty());
  if (!holders) return use;
  std::map<DWORD, std::wstring> names;
  bool namesRead = false;
  std::set<DWORD> seen;
  for (const DWORD pid : *holders) {
    use.listening = true;
    if (!seen.insert(pid).second) continue;
    if (pid == 0) {  // the system does not say (Wine)
      use.holders.emplace_back(0, std::string());
      continue;
    }
    if (!namesRead) {
      for (const auto& entry : windows::processSnapshot()) names[entry.pid] = entry.image;
      namesRead = true;
    }
    use.holders.emplace_back(static_cast<int>(pid), utf8(names[pid]));
  }
  return use;
}

std::optional<bool> WindowsPlatform::portListening(int port) {
  const auto holders = windows::listenersOnPort(port, false);
  if (!holders) return std::nullopt;
  return !holders->empty();
}

std::optional<std::string> WindowsPlatform::untrustedPath(const std::vector<std::string>&) {
  return std::nullopt;
}

Opening WindowsPlatform::openUrl(const std::string& url) {
  // The shell may hand the address to a COM server: initialise COM on this thread for
  // the call, as ShellExecute asks.
  // The shell and COM are loaded at the first click on the address, not at every start.
  const auto execute =
      windows::systemFunction<decltype(ShellExecuteW)>(L"shell32.dll", "ShellExecuteW");
  const auto comStart =
      windows::systemFunction<decltype(CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
  const auto comEnd =
      windows::systemFunction<decltype(CoUninitialize)>(L"ole32.dll", "CoUninitialize");
  if (!execute || !comStart || !comEnd) return {0, "the shell cannot be loaded: " + lastSystemError()};
  const HRESULT com = comStart(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const HINSTANCE result =
      execute(nullptr, L"open", utf16(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (SUCCEEDED(com)) comEnd();
  const auto code = reinterpret_cast<INT_PTR>(result);
  if (code > 32) return {};
  return {0, shellExecuteReason(code)};
}

Opening WindowsPlatform::openTextFile(const std::string& path) {
  return startShown(systemProgram(true, L"notepad.exe"),
                    windows::quotedArgumentLine(L"notepad.exe", path));
}

Opening WindowsPlatform::openFolder(const std::string& path) {
  return startShown(systemProgram(false, L"explorer.exe"),
                    windows::quotedArgumentLine(L"explorer.exe", path));
}

PathKind WindowsPlatform::pathKind(const std::string& path, std::string* why) {
  const DWORD attributes = GetFileAttributesW(utf16(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (why) *why = lastSystemError();
    return PathKind::Unusable;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
  // What the system runs by its name alone.
  std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return extension == ".exe" || extension == ".com" || extension == ".bat" || extension == ".cmd"
             ? PathKind::ExecutableFile
             : PathKind::OtherFile;
}

std::optional<std::string> WindowsPlatform::environmentVariable(const std::string& name) const {
  std::wstring value(32768, L'\0');
  SetLastError(ERROR_SUCCESS);
  const DWORD length =
      GetEnvironmentVariableW(utf16(name).c_str(), value.data(), static_cast<DWORD>(value.size()));
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  if (length >= value.size()) return std::nullopt;
  value.resize(length);
  return utf8(value);
}

bool WindowsPlatform::setEnvironmentVariable(const std::string& name, const std::string& value) {
  return SetEnvironmentVariableW(utf16(name).c_str(), utf16(value).c_str()) != 0;
}

std::unique_ptr<SingleCopy> WindowsPlatform::singleCopy(const std::string& executablePath) {
  return std::make_unique<WindowsSingleCopy>(executablePath);
}

namespace {

// The system's performance counter and sleep: the only clock and wait below the tests'.
class SystemTiming final : public Timing {
 public:
  Clock::time_point now() override {
    LARGE_INTEGER count{}, frequency{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    const auto whole = count.QuadPart / frequency.QuadPart, part = count.QuadPart % frequency.QuadPart;
    return Clock::time_point(std::chrono::seconds(whole) +
                             std::chrono::nanoseconds(part * 1000000000 / frequency.QuadPart));
  }
  void sleepMs(int milliseconds) override {
    Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
  }
};

}  // namespace

Timing& systemTiming() {
  static SystemTiming timing;
  return timing;
}

Platform::Clock::time_point WindowsPlatform::now() { return systemTiming().now(); }

void WindowsPlatform::sleepMs(int milliseconds) { systemTiming().sleepMs(milliseconds); }

FileStore& WindowsPlatform::fileStore() { return systemFileStore(); }

}  // namespace tovanik
