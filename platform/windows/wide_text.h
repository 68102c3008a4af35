#pragma once
// Text is UTF-8 inside the program and UTF-16 at every Win32 call: these convert at the
// boundary, so nothing passes through the ANSI code page.

#include <windows.h>

#include <string>
#include <string_view>

namespace tovanik::windows {

// Invalid UTF-8 (or a lone surrogate in UTF-16) becomes U+FFFD.
std::wstring utf16(std::string_view text);
std::string utf8(std::wstring_view text);

// `path` (UTF-8) as a file call takes it at any length: a path too long for the old
// limit is made absolute and given the "\\?\" prefix ("\\?\UNC\" for a share), which
// lifts the limit whatever the system's long-path setting. Shorter paths are unchanged.
std::wstring filePath(std::string_view path);

// The system's text for an error code from GetLastError, without its closing full stop
// and line break ("Access is denied"); "error N" when the system has none.
std::string systemMessage(DWORD error);

}  // namespace tovanik::windows
