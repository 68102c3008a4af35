#include "window/win32/single_copy.h"

#include <cstdint>
#include <cwchar>

#include "platform/windows/wide_text.h"

namespace tovanik::win32 {
namespace {

// Windows paths compare without regard to case: C:\Tovanik and c:\tovanik are one file.
std::wstring lowerCase(const std::wstring& text) {
  if (text.empty()) return text;
  const int size = static_cast<int>(text.size());
  std::wstring lower(text.size(), L'\0');
  LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, text.c_str(), size, lower.data(), size,
                nullptr, nullptr, 0);
  return lower;
}

// FNV-1a over the UTF-16 code units, as 16 hexadecimal digits.
std::wstring pathHash(const std::wstring& path) {
  std::uint64_t hash = 14695981039346656037ull;
  for (wchar_t unit : lowerCase(path)) {
    hash ^= static_cast<std::uint16_t>(unit);
    hash *= 1099511628211ull;
  }
  wchar_t digits[17];
  std::swprintf(digits, 17, L"%016llx", static_cast<unsigned long long>(hash));
  return digits;
}

}  // namespace

std::wstring executablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // a long path: the name was cut, try with more room
  }
}

SingleCopy::SingleCopy(const std::wstring& executablePath) {
  const std::wstring hash = pathHash(executablePath);
  mutexName_ = L"Local\\Tovanik-" + hash;
  className_ = L"Tovanik-" + hash;
}

SingleCopy::~SingleCopy() {
  if (mutex_) CloseHandle(mutex_);
}

SingleCopy::Result SingleCopy::acquire() {
  mutex_ = CreateMutexW(nullptr, FALSE, mutexName_.c_str());
  const DWORD error = GetLastError();
  if (!mutex_) {
    error_ = L"cannot create " + mutexName_ + L": " + windows::utf16(windows::systemMessage(error));
    return Result::Failed;
  }
  return error == ERROR_ALREADY_EXISTS ? Result::HeldByAnotherCopy : Result::Acquired;
}

bool SingleCopy::showRunningCopy() const {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, className_.c_str(), nullptr))) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) continue;
    // This copy was just started by the user and may hand the foreground on.
    AllowSetForegroundWindow(process);
    PostMessageW(window, kShowYourself, 0, 0);
    return true;
  }
  return false;
}

}  // namespace tovanik::win32
