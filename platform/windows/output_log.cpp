// The server's log on Windows: %LOCALAPPDATA%\Tovanik\logs\<name>-<hash>.log. The hidden
// server holds it open for appending (FILE_APPEND_DATA), so a cut in place never makes it
// write into a hole; cuts take turns through a lock on a byte far past any file's end.
#include "platform/output_log.h"

#include <windows.h>
// shlobj.h needs windows.h before it.
#include <shlobj.h>

#include <filesystem>

#include "platform/log_text.h"
#include "platform/path_text.h"
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

Handle openShared(const std::string& path, DWORD access, DWORD disposition) {
  return Handle(CreateFileW(filePath(path).c_str(), access, kShareAll, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool readAt(HANDLE file, char* buffer, std::size_t length, std::uint64_t offset) {
  while (length > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
    if (!ReadFile(file, buffer, chunk, &got, &at) || got == 0) return false;
    buffer += got;
    length -= got;
    offset += got;
  }
  return true;
}

bool writeAt(HANDLE file, const char* buffer, std::size_t length, std::uint64_t offset) {
  while (length > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
    if (!WriteFile(file, buffer, chunk, &put, &at) || put == 0) return false;
    buffer += put;
    length -= put;
    offset += put;
  }
  return true;
}

std::optional<std::uint64_t> sizeOf(HANDLE file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

// The last `length` bytes of an open file (fewer when it is shorter), and its size.
std::optional<std::string> readTail(HANDLE file, std::uint64_t length, std::uint64_t& size) {
  const auto known = sizeOf(file);
  if (!known) return std::nullopt;
  size = *known;
  const std::uint64_t take = size < length ? size : length;
  std::string bytes(take, '\0');
  if (take > 0 && !readAt(file, bytes.data(), take, size - take)) return std::nullopt;
  return bytes;
}

std::time_t modificationTime(HANDLE file) {
  FILETIME written{};
  if (!GetFileTime(file, nullptr, nullptr, &written)) return 0;
  const ULONGLONG ticks =
      (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  constexpr ULONGLONG kTicksTo1970 = 116444736000000000ull;  // 100 ns ticks from 1601
  return ticks < kTicksTo1970 ? 0 : static_cast<std::time_t>((ticks - kTicksTo1970) / 10000000ull);
}

}  // namespace

std::string stateFolder() {
  const std::wstring base = localAppData();
  if (base.empty()) return {};
  const bool rooted = base.back() == L'\\' || base.back() == L'/';
  return utf8(base + (rooted ? L"" : L"\\") + L"Tovanik\\logs");
}

std::string outputLogPath(const std::string& programFolder) {
  const std::string folder = stateFolder();
  if (folder.empty()) return {};
  const std::size_t separator = programFolder.find_last_of("\\/");
  const std::string base =
      separator == std::string::npos ? programFolder : programFolder.substr(separator + 1);
  return folder + "\\" + logtext::logFileName(base, programFolder);
}

bool trimOutputLog(const std::string& path, std::uint64_t limit, std::uint64_t keep) {
  // The panel's tick asks once a second: a log within its limit is seen by its size
  // alone, which opens no handle.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(filePath(path).c_str(), GetFileExInfoStandard, &data) &&
      ((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) <= limit)
    return true;
  const Handle file = openShared(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  if (!file)
    return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
  const auto size = sizeOf(file.get());
  if (!size || *size <= limit) return true;
  // Two of our programs may find the file too large at once; one cut is enough.
  OVERLAPPED at{};
  at.OffsetHigh = kCutLockHigh;
  if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
    return true;
  bool done = false;
  std::uint64_t now = 0;
  // One byte more than is kept: the byte before the kept part tells whether that part
  // starts a line.
  if (auto tail = readTail(file.get(), keep + 1, now)) {
    const std::size_t start = logtext::keptStart(*tail);
    const std::size_t length = tail->size() - start;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(length);
    done = now <= limit ||
           (writeAt(file.get(), tail->data() + start, length, 0) &&
            SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()));
  }
  OVERLAPPED unlockAt{};
  unlockAt.OffsetHigh = kCutLockHigh;
  UnlockFileEx(file.get(), 0, 1, 0, &unlockAt);
  return done;
}

bool markLaunch(const std::string& path, const std::string& note) {
  if (path.empty()) return false;
  const std::size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos && separator > 0) {
    // Each missing folder on the way, with the user's default permissions (below
    // %LOCALAPPDATA%, the user's own).
    std::error_code error;
    std::filesystem::create_directories(fsPath(path.substr(0, separator)), error);
    if (error) return false;
  }
  trimOutputLog(path);
  const Handle file = openShared(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  if (!file) return false;
  const std::string line = logtext::markLine(std::time(nullptr), note);
  DWORD written = 0;
  return WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

bool outputLogExists(const std::string& path) {
  return !path.empty() && GetFileAttributesW(filePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<LastRun> readLastRun(const std::string& path) {
  // A run that ended at once printed a few lines; its mark is near the end.
  constexpr std::uint64_t kLookBack = 64 * 1024;
  const Handle file = openShared(path, GENERIC_READ, OPEN_EXISTING);
  if (!file) return std::nullopt;
  std::uint64_t size = 0;
  const std::optional<std::string> tail = readTail(file.get(), kLookBack, size);
  if (!tail) return std::nullopt;
  return logtext::lastRunIn(*tail, modificationTime(file.get()));
}

std::optional<std::vector<std::string>> tailLines(const std::string& path, long count) {
  const Handle file = openShared(path, GENERIC_READ, OPEN_EXISTING);
  if (!file) return std::nullopt;
  std::uint64_t size = 0;
  const std::optional<std::string> all = readTail(file.get(), ~0ull, size);
  if (!all) return std::nullopt;
  return logtext::lastLines(*all, count);
}

}  // namespace tovanik
