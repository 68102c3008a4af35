// The baselines `tovanikctl.exe status` is measured against on Windows.
//
// `toolhelp_lookup NAME`: the least a program does to say whether a process of a name
// runs. One toolhelp snapshot, names compared as the file system does; prints the PIDs
// found, exits 0 when there are any and 3 when there are none (as status does).
//
// `toolhelp_lookup NAME PORT`: that, and then the least a program does to say who listens
// on a TCP port: the IP helper loaded at its first use, as tovanikctl loads it, and the
// two tables a port's listeners are in, asked as status asks them while a server runs
// (IPv4 with owners, IPv6 without). Prints "listening" or "not listening" too. This is
// the floor of any status that tells the port's state besides the process's.
#include <winsock2.h>
// The IP helper needs the sockets' types before it, tlhelp32.h windows.h.
#include <iphlpapi.h>
#include <tlhelp32.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

using TableFunction = decltype(GetExtendedTcpTable);

// Whether a row of `family`'s listeners has `port`; false when the table cannot be read.
template <typename Table>
bool tableHasPort(TableFunction* table, ULONG family, TCP_TABLE_CLASS kind, unsigned port) {
  std::vector<char> buffer(16 * 1024);
  DWORD size = static_cast<DWORD>(buffer.size());
  DWORD result = table(buffer.data(), &size, FALSE, family, kind, 0);
  if (result == ERROR_INSUFFICIENT_BUFFER) {
    buffer.resize(size);
    result = table(buffer.data(), &size, FALSE, family, kind, 0);
  }
  if (result != NO_ERROR) return false;
  const auto* rows = reinterpret_cast<const Table*>(buffer.data());
  for (DWORD i = 0; i < rows->dwNumEntries; ++i)
    if ((((rows->table[i].dwLocalPort & 0xFF) << 8) | ((rows->table[i].dwLocalPort >> 8) & 0xFF)) ==
        port)  // its low 16 bits, big-endian
      return true;
  return false;
}

int listening(unsigned port) {
  HMODULE helper = LoadLibraryExW(L"iphlpapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  auto* table = helper ? reinterpret_cast<TableFunction*>(reinterpret_cast<void (*)()>(
                             GetProcAddress(helper, "GetExtendedTcpTable")))
                       : nullptr;
  if (!table) return -1;
  const bool v4 = tableHasPort<MIB_TCPTABLE_OWNER_PID>(table, AF_INET,
                                                        TCP_TABLE_OWNER_PID_LISTENER, port);
  const bool v6 = tableHasPort<MIB_TCP6TABLE>(table, AF_INET6, TCP_TABLE_BASIC_LISTENER, port);
  return v4 || v6;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) return 2;
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
  if (argc == 3) {
    const int port = listening(static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10)));
    if (port < 0) return 1;
    std::printf("%s\n", port ? "listening" : "not listening");
  }
  return found ? 0 : 3;
}
