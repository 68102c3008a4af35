#pragma once
// Functions of system DLLs that only some commands need (the shell's, COM's, the IP
// helper's), loaded from System32 at their first call instead of at every start: each
// DLL a program imports is loaded, with all it imports itself, before its first line
// runs. Under Wine shell32, ole32 and iphlpapi cost a start about 7 MiB of resident
// memory and a good part of its time, and the panel uses them only on a click.

#include <windows.h>

namespace tovanik::windows {

// The function `name` of the system DLL `dll` as a pointer of type Function (name it
// with decltype of the declaration, which imports nothing); nullptr when the DLL or the
// function cannot be had (GetLastError says why). The DLL stays loaded.
template <typename Function>
Function* systemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) return nullptr;
  // Through the generic function pointer type, which converts to any other.
  return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace tovanik::windows
