#include "platform/windows/single_copy.h"

#include <cstdint>
#include <cwchar>

#include "platform/windows/wide_text.h"

namespace tovanik {
namespace {

using windows::utf16;
using windows::utf8;

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
std::string pathHash(const std::wstring& path) {
  std::uint64_t hash = 14695981039346656037ull;
  for (wchar_t unit : lowerCase(path)) {
    hash ^= static_cast<std::uint16_t>(unit);
    hash *= 1099511628211ull;
  }
  char digits[17];
  std::snprintf(digits, 17, "%016llx", static_cast<unsigned long long>(hash));
  return digits;
}

}  // namespace

std::string runningExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return utf8(path);
    }
    path.resize(path.size() * 2);  // a long path: the name was cut, try with more room
  }
}

WindowsSingleCopy::WindowsSingleCopy(const std::string& executablePath)
    : name_("Tovanik-" + pathHash(utf16(executablePath))) {}

WindowsSingleCopy::~WindowsSingleCopy() {
  if (mutex_) CloseHandle(mutex_);
}

SingleCopy::Result WindowsSingleCopy::acquire() {
  if (mutex_) return Result::Acquired;
  mutex_ = CreateMutexW(nullptr, FALSE, utf16(mutexName()).c_str());
  const DWORD error = GetLastError();
  if (!mutex_) {
    error_ = "cannot create " + mutexName() + ": " + windows::systemMessage(error);
    return Result::Failed;
  }
  if (error != ERROR_ALREADY_EXISTS) return Result::Acquired;
  CloseHandle(mutex_);
  mutex_ = nullptr;
  return Result::HeldByAnotherCopy;
}

bool WindowsSingleCopy::askToShow(const std::string&) {
  error_ = "the request to show is a window message: the window sends it";
  return false;
}

}  // namespace tovanik
