#include "platform/windows/tcp_table.h"

#include <winsock2.h>
// The IP helper needs the sockets' types before it.
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include "platform/windows/system_library.h"

namespace tovanik::windows {
namespace {

// The rows of one table, read into a buffer that grows until it holds them all.
std::optional<std::vector<char>> readTable(ULONG family) {
  // The IP helper is loaded by the first look at a port: the panel's start needs none.
  static const auto table =
      systemFunction<decltype(GetExtendedTcpTable)>(L"iphlpapi.dll", "GetExtendedTcpTable");
  if (!table) return std::nullopt;
  std::vector<char> buffer(16 * 1024);
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD result =
        table(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
    if (result == NO_ERROR) return buffer;
    if (result != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    buffer.resize(size + 4096);  // room for sockets opened since
  }
  return std::nullopt;
}

// The port of a row: the low 16 bits, in network byte order (big-endian).
int rowPort(DWORD localPort) {
  return static_cast<int>(((localPort & 0xFF) << 8) | ((localPort >> 8) & 0xFF));
}

}  // namespace

std::optional<std::vector<DWORD>> listenersOnPort(int port) {
  std::vector<DWORD> holders;
  const auto v4 = readTable(AF_INET);
  if (v4) {
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(v4->data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
      if (rowPort(table->table[i].dwLocalPort) == port)
        holders.push_back(table->table[i].dwOwningPid);
  }
  const auto v6 = readTable(AF_INET6);
  if (v6) {
    const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(v6->data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
      if (rowPort(table->table[i].dwLocalPort) == port)
        holders.push_back(table->table[i].dwOwningPid);
  }
  if (!v4 && !v6) return std::nullopt;
  return holders;
}

}  // namespace tovanik::windows
