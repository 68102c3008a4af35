// The baseline `tovanikctl.exe status` is measured against on Windows: the least a
// program does to say whether a process of a name runs. One toolhelp snapshot, names
// compared as the file system does; prints the PIDs found, exits 0 when there are any
// and 3 when there are none (as status does).
#include <windows.h>
// tlhelp32.h needs windows.h before it.
#include <tlhelp32.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (CompareStringOrdinal(entry.szExeFile, -1, argv[1], -1, TRUE) != CSTR_EQUAL) continue;
    std::printf("%lu\n", entry.th32ProcessID);
    ++found;
  }
  CloseHandle(snapshot);
  return found ? 0 : 3;
}
