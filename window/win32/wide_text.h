#pragma once
// Text is UTF-8 inside the program and UTF-16 at every Win32 call: these convert at the
// boundary, so nothing ever passes through the ANSI code page.

#include <windows.h>

#include <string>
#include <string_view>

namespace tovanik::win32 {

// Invalid UTF-8 becomes U+FFFD.
std::wstring utf16(std::string_view text);
std::string utf8(std::wstring_view text);

// The system's own text for an error code from GetLastError, without its closing full
// stop and line break, to end a sentence of ours ("...: Access is denied"); the code in
// digits when the system has no text for it.
std::wstring systemMessage(DWORD error);

}  // namespace tovanik::win32
