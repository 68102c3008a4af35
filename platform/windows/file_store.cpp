// The settings store's file operations on Windows. Every path reaches the system as
// UTF-16; the file is replaced by a temporary file moved over it (MoveFileExW with
// MOVEFILE_WRITE_THROUGH), and writers take turns through LockFileEx on a lock file
// beside it, as Windows cannot lock a folder.
#include "platform/file_store.h"

#include <windows.h>

#include <chrono>
#include <random>

#include "platform/why_not.h"
#include "platform/windows/handle.h"
#include "platform/windows/wide_text.h"

namespace tovanik {

using windows::filePath;
using windows::Handle;
using windows::utf16;

namespace {

// Another program holding the file (an editor, a virus scanner, a backup) is waited for as
// long as the caller's patience, at most kBusyPatience, before the reason is reported,
// looking again every kBusyRetry. The panel's patience is a quarter of a second, so no
// keystroke freezes its window longer.
constexpr auto kBusyPatience = std::chrono::milliseconds(1000);
constexpr auto kBusyRetry = std::chrono::milliseconds(20);
// How often a writer looks whether another one has finished.
constexpr int kLockRetryMs = 1;
constexpr DWORD kHiddenBits =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool failedWith(std::string* whyNot, DWORD error) {
  return failed(whyNot, windows::systemMessage(error));
}

bool isBusy(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// Runs `attempt` until it succeeds, or fails for a reason other than another program
// holding the file, or `patience` has passed; the last error stays in GetLastError.
template <typename Attempt>
bool retryWhileBusy(std::chrono::milliseconds patience, Timing& timing, Attempt attempt) {
  const auto giveUp = timing.now() + std::min(patience, kBusyPatience);
  for (;;) {
    if (attempt()) return true;
    const DWORD error = GetLastError();
    const auto now = timing.now();
    if (!isBusy(error) || now >= giveUp) {
      SetLastError(error);
      return false;
    }
    // The last look comes at the deadline, not a retry's length past it.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - now);
    timing.sleepMs(static_cast<int>(std::max<std::chrono::milliseconds::rep>(
        1, std::min(kBusyRetry, left).count())));
    SetLastError(error);
  }
}

std::wstring folderOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return L".";
  if (separator == 0 || (separator == 2 && path[1] == L':')) return path.substr(0, separator + 1);
  return path.substr(0, separator);
}

std::wstring nameOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring joined(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
  return folder + L"\\" + name;
}

std::wstring randomLetters() {
  static constexpr wchar_t kAlphabet[] =
      L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}() ^
                                   static_cast<unsigned>(GetCurrentProcessId() * 2654435761u)};
  std::wstring letters;
  for (std::size_t i = 0; i < kTempRandomLength; ++i) letters += kAlphabet[random() % 62];
  return letters;
}

// The archive-attribute rule: after each read and write the file is neither read-only,
// hidden nor system, so a file made read-only by hand does not block the next change.
void clearHiddenBits(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & kHiddenBits)) return;
  SetFileAttributesW(path.c_str(), (attributes & ~kHiddenBits) | FILE_ATTRIBUTE_ARCHIVE);
}

// Refused before anything of it is read when larger than kSettingsFileLimit; one that
// grows past it while being read, as one that was too large already.
std::optional<std::string> readAll(HANDLE file, std::string* whyNot) {
  std::string bytes;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    if (static_cast<std::uint64_t>(size.QuadPart) > kSettingsFileLimit) {
      failed(whyNot, settingsFileTooLarge(static_cast<std::uint64_t>(size.QuadPart)));
      return std::nullopt;
    }
    bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  }
  char buffer[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      failedWith(whyNot, GetLastError());
      return std::nullopt;
    }
    if (got == 0) return bytes;
    if (bytes.size() + got > kSettingsFileLimit) {
      failed(whyNot, settingsFileTooLarge(bytes.size() + got));
      return std::nullopt;
    }
    bytes.append(buffer, got);
  }
}

bool writeAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

std::optional<std::string> readFile(const std::wstring& path, std::string* whyNot,
                                    std::chrono::milliseconds patience, Timing& timing) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    failed(whyNot, "is a folder");
    return std::nullopt;
  }
  HANDLE opened = INVALID_HANDLE_VALUE;
  const bool ok = retryWhileBusy(patience, timing, [&] {
    opened = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    return opened != INVALID_HANDLE_VALUE;
  });
  if (!ok) {
    failedWith(whyNot, GetLastError());
    return std::nullopt;
  }
  const Handle file(opened);
  // A device (NUL, CON, COM1) answers to a file's name too; it is no settings file.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    failed(whyNot, "not a regular file");
    return std::nullopt;
  }
  std::optional<std::string> bytes = readAll(file.get(), whyNot);
  if (bytes) clearHiddenBits(path);
  return bytes;
}

// An exclusive lock on "<folder>\.<name>.lock", released on destruction.
class WriterLock {
 public:
  WriterLock(const std::wstring& path, std::chrono::milliseconds patience, Timing& timing) {
    file_ = Handle(CreateFileW(joined(folderOf(path), L"." + nameOf(path) + L".lock").c_str(),
                               GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
      error_ = GetLastError();
      return;
    }
    // Polled rather than blocking: the panel writes on its only thread, and a writer
    // that hangs while holding the lock must not freeze it.
    const auto giveUp = timing.now() + patience;
    for (;;) {
      OVERLAPPED at{};
      if (LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                     &at)) {
        held_ = true;
        return;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
        error_ = error;
        return;
      }
      if (timing.now() >= giveUp) {
        timedOut_ = true;
        return;
      }
      timing.sleepMs(kLockRetryMs);
    }
  }
  ~WriterLock() {
    if (held_) {
      OVERLAPPED at{};
      UnlockFileEx(file_.get(), 0, 1, 0, &at);
    }
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  bool held() const { return held_; }
  bool timedOut() const { return timedOut_; }
  DWORD error() const { return error_; }

 private:
  Handle file_;
  bool held_ = false;
  bool timedOut_ = false;
  DWORD error_ = 0;
};

// Removes the temporary files of killed writers of `name`. Called only under the lock.
void removeDeadWritersFiles(const std::wstring& folder, const std::wstring& name) {
  const std::wstring prefix = tempNamePrefix(name);
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileW(joined(folder, prefix + L"*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        isTempNameOf(std::wstring(entry.cFileName), prefix))
      DeleteFileW(joined(folder, entry.cFileName).c_str());
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

bool replace(const std::wstring& path, std::string_view bytes, std::string* whyNot,
             std::chrono::milliseconds patience, Timing& timing) {
  const std::wstring name = nameOf(path);
  if (name.empty()) return failed(whyNot, "is a folder");
  const std::wstring folder = folderOf(path);
  std::wstring tempPath;
  Handle temp;
  for (int attempt = 0; attempt < 16 && !temp; ++attempt) {
    tempPath = joined(folder, tempNamePrefix(name) + randomLetters());
    temp = Handle(CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!temp && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!temp) return failedWith(whyNot, GetLastError());
  bool ok = writeAll(temp.get(), bytes) && FlushFileBuffers(temp.get());
  DWORD error = ok ? 0 : GetLastError();
  temp = Handle();
  if (ok) {
    // A read-only, hidden or system file cannot be replaced: the rule clears them first.
    clearHiddenBits(path);
    ok = retryWhileBusy(patience, timing, [&] {
      return MoveFileExW(tempPath.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
    if (!ok) error = GetLastError();
  }
  if (!ok) {
    DeleteFileW(tempPath.c_str());
    return failedWith(whyNot, error);
  }
  clearHiddenBits(path);
  return true;
}

// A writer's turn: the lock, and the file read and replaced in it, each waiting for
// another program's hold as long as the writer waits for the lock.
class WindowsTurn final : public FileTurn {
 public:
  WindowsTurn(std::wstring file, std::chrono::milliseconds patience, Timing& timing)
      : file_(std::move(file)), patience_(patience), timing_(timing), lock_(file_, patience, timing) {}
  const WriterLock& lock() const { return lock_; }
  const std::wstring& file() const { return file_; }
  std::optional<std::string> read(std::string* whyNot) override {
    return readFile(file_, whyNot, patience_, timing_);
  }
  bool replace(std::string_view bytes, std::string* whyNot) override {
    return tovanik::replace(file_, bytes, whyNot, patience_, timing_);
  }

 private:
  std::wstring file_;
  std::chrono::milliseconds patience_;
  Timing& timing_;
  const WriterLock lock_;
};

std::uint64_t bits64(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

class WindowsFileStore final : public FileStore {
 public:
  explicit WindowsFileStore(Timing& timing) : timing_(timing) {}

  std::optional<std::string> read(const std::string& path, std::string* whyNot,
                                  std::chrono::milliseconds patience) override {
    return readFile(filePath(path), whyNot, patience, timing_);
  }

  bool replace(const std::string& path, std::string_view bytes, std::string* whyNot) override {
    return tovanik::replace(filePath(path), bytes, whyNot, kBusyPatience, timing_);
  }

  bool ensureFolder(const std::string& path, std::string* whyNot) override {
    const std::wstring folder = filePath(path);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
      return true;
    if (error == ERROR_ALREADY_EXISTS) return failed(whyNot, "a file is in the folder's place");
    return failedWith(whyNot, error);
  }

  std::optional<FileStamp> stamp(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(filePath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return std::nullopt;
    // Windows keeps no change time of the attributes here: a changed attribute shows
    // through the archive bit, which every write sets.
    return FileStamp{0, data.dwFileAttributes, bits64(data.nFileSizeHigh, data.nFileSizeLow),
                     static_cast<std::int64_t>(bits64(data.ftLastWriteTime.dwHighDateTime,
                                                      data.ftLastWriteTime.dwLowDateTime)),
                     static_cast<std::int64_t>(bits64(data.ftCreationTime.dwHighDateTime,
                                                      data.ftCreationTime.dwLowDateTime))};
  }

  std::optional<std::chrono::milliseconds> sinceLastChange(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(filePath(path).c_str(), GetFileExInfoStandard, &data))
      return std::nullopt;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    // Both in 100 ns units since 1601.
    const auto written =
        bits64(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    const auto current = bits64(now.dwHighDateTime, now.dwLowDateTime);
    if (written >= current) return std::chrono::milliseconds(0);
    return std::chrono::milliseconds((current - written) / 10000);
  }

  std::unique_ptr<FileTurn> takeTurn(const std::string& path, std::chrono::milliseconds patience,
                                     std::string* whyNot) override {
    auto turn = std::make_unique<WindowsTurn>(filePath(path), patience, timing_);
    if (turn->lock().timedOut()) {
      failed(whyNot, lockHeldTooLong(patience));
      return nullptr;
    }
    if (!turn->lock().held()) {
      failedWith(whyNot, turn->lock().error());
      return nullptr;
    }
    removeDeadWritersFiles(folderOf(turn->file()), nameOf(turn->file()));
    return turn;
  }

 private:
  Timing& timing_;
};

}  // namespace

FileStore& systemFileStore() {
  static WindowsFileStore store(systemTiming());
  return store;
}

std::unique_ptr<FileStore> systemFileStoreOn(Timing& timing) {
  return std::make_unique<WindowsFileStore>(timing);
}

}  // namespace tovanik
