#include "platform/windows/log_files.h"

#include <windows.h>
// shlobj.h needs windows.h before it.
#include <shlobj.h>

#include <algorithm>

#include "platform/windows/folders.h"
#include "platform/windows/handle.h"
#include "platform/windows/system_library.h"
#include "platform/windows/wide_text.h"

namespace tovanik {

using windows::filePath;
using windows::Handle;
using windows::systemFunction;
using windows::utf16;
using windows::utf8;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The byte whose lock marks a cut under way: beyond the end of any log, so it never
// blocks the server's writes.
constexpr DWORD kCutLockHigh = 0x40000000;

bool isAbsolute(const std::wstring& path) {
  return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
         path.starts_with(L"\\\\");
}

std::wstring environmentFolder(const wchar_t* name) {
  std::wstring value(32768, L'\0');
  const DWORD length =
      GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  if (length == 0 || length >= value.size()) return {};
  value.resize(length);
  return isAbsolute(value) ? value : std::wstring();
}

std::wstring localAppData() {
  std::wstring folder = environmentFolder(L"LOCALAPPDATA");
  if (folder.empty()) {
    // Rare (the variable is always set): the shell and COM are loaded only then.
    const auto knownFolder =
        systemFunction<decltype(SHGetKnownFolderPath)>(L"shell32.dll", "SHGetKnownFolderPath");
    const auto release = systemFunction<decltype(CoTaskMemFree)>(L"ole32.dll", "CoTaskMemFree");
    wchar_t* known = nullptr;
    if (knownFolder && SUCCEEDED(knownFolder(FOLDERID_LocalAppData, 0, nullptr, &known)))
      folder = known;
    if (release) release(known);
  }
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

class WindowsLogFile final : public LogFile {
 public:
  explicit WindowsLogFile(HANDLE file) : file_(file) {}
  ~WindowsLogFile() override {
    if (locked_) {
      OVERLAPPED unlockAt{};
      unlockAt.OffsetHigh = kCutLockHigh;
      UnlockFileEx(file_.get(), 0, 1, 0, &unlockAt);
    }
  }
  WindowsLogFile(const WindowsLogFile&) = delete;
  WindowsLogFile& operator=(const WindowsLogFile&) = delete;

  std::optional<std::uint64_t> size() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.get(), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
  }
  std::time_t modified() override {
    FILETIME written{};
    if (!GetFileTime(file_.get(), nullptr, nullptr, &written)) return 0;
    const ULONGLONG ticks =
        (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    constexpr ULONGLONG kTicksTo1970 = 116444736000000000ull;  // 100 ns ticks from 1601
    return ticks < kTicksTo1970 ? 0
                                : static_cast<std::time_t>((ticks - kTicksTo1970) / 10000000ull);
  }
  bool readAt(std::uint64_t offset, std::string& bytes) override {
    char* buffer = bytes.data();
    std::size_t length = bytes.size();
    while (length > 0) {
      OVERLAPPED position = at(offset);
      DWORD got = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
      if (!ReadFile(file_.get(), buffer, chunk, &got, &position) || got == 0) return false;
      buffer += got;
      length -= got;
      offset += got;
    }
    return true;
  }
  bool writeAt(std::uint64_t offset, std::string_view bytes) override {
    const char* buffer = bytes.data();
    std::size_t length = bytes.size();
    while (length > 0) {
      OVERLAPPED position = at(offset);
      DWORD put = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
      if (!WriteFile(file_.get(), buffer, chunk, &put, &position) || put == 0) return false;
      buffer += put;
      length -= put;
      offset += put;
    }
    return true;
  }
  bool truncate(std::uint64_t length) override {
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(length);
    return SetFilePointerEx(file_.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file_.get());
  }
  bool append(std::string_view bytes) override {
    DWORD written = 0;
    return WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
  }
  bool tryLockForCut() override {
    OVERLAPPED lockAt{};
    lockAt.OffsetHigh = kCutLockHigh;
    locked_ = LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         &lockAt);
    return locked_;
  }

 private:
  Handle file_;
  bool locked_ = false;
};

}  // namespace

std::string WindowsLogFiles::stateFolder() {
  const std::wstring base = localAppData();
  if (base.empty()) return {};
  const bool rooted = base.back() == L'\\' || base.back() == L'/';
  return utf8(base + (rooted ? L"" : L"\\") + L"Tovanik\\logs");
}

bool WindowsLogFiles::makeFolders(const std::string& folder) {
  return !windows::makeFolders(folder);
}

std::unique_ptr<LogFile> WindowsLogFiles::open(const std::string& path, Access access) {
  const DWORD rights = access == Access::Read        ? GENERIC_READ
                       : access == Access::ReadWrite ? GENERIC_READ | GENERIC_WRITE
                                                     : FILE_APPEND_DATA;
  const DWORD disposition = access == Access::Append ? OPEN_ALWAYS : OPEN_EXISTING;
  const HANDLE file = CreateFileW(filePath(path).c_str(), rights, kShareAll, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<WindowsLogFile>(file);
}

std::optional<std::uint64_t> WindowsLogFiles::sizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(filePath(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool WindowsLogFiles::exists(const std::string& path) {
  return GetFileAttributesW(filePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace tovanik
