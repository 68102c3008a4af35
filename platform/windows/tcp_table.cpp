#include "platform/windows/tcp_table.h"

#include <winsock2.h>
// The IP helper needs the sockets' types before it.
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include "platform/windows/system_library.h"

namespace tovanik::windows {
namespace {

// The rows of one table, read into a buffer that grows until it holds them all.
std::optional<std::vector<char>> readTable(ULONG family, TCP_TABLE_CLASS kind) {
  // The IP helper is loaded by the first look at a port: the panel's start needs none.
  static const auto table =
      systemFunction<decltype(GetExtendedTcpTable)>(L"iphlpapi.dll", "GetExtendedTcpTable");
  if (!table) return std::nullopt;
  std::vector<char> buffer(16 * 1024);
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD result = table(buffer.data(), &size, FALSE, family, kind, 0);
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

// One family's listeners on `port`. The table without owners is read first: the owners
// cost more (under Wine its network service also walks every Wine process's open files to
// name them: 5-8 ms a table against 4-5 ms), and are asked only when something listens
// there, or when a system has no table without owners for the family. Where something
// most likely listens (`listenerLikely`) the owners are asked at once: a first look would
// find it and only add its own time (each table is a request to Wine's network service,
// which reads the system's IPv4 and IPv6 socket lists for every one).
template <typename OwnerTable, typename BasicTable>
std::optional<std::vector<DWORD>> familyListeners(ULONG family, int port, bool listenerLikely) {
  if (const auto basic =
          listenerLikely ? std::nullopt : readTable(family, TCP_TABLE_BASIC_LISTENER)) {
    const auto* sockets = reinterpret_cast<const BasicTable*>(basic->data());
    bool listened = false;
    for (DWORD i = 0; i < sockets->dwNumEntries && !listened; ++i)
      listened = rowPort(sockets->table[i].dwLocalPort) == port;
    if (!listened) return std::vector<DWORD>();
  }
  const auto owned = readTable(family, TCP_TABLE_OWNER_PID_LISTENER);
  if (!owned) return std::nullopt;
  std::vector<DWORD> holders;
  const auto* table = reinterpret_cast<const OwnerTable*>(owned->data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i)
    if (rowPort(table->table[i].dwLocalPort) == port)
      holders.push_back(table->table[i].dwOwningPid);
  return holders;
}

}  // namespace

std::optional<std::vector<DWORD>> listenersOnPort(int port, bool serverRuns) {
  // The server listens on IPv4 (php -S 0.0.0.0:PORT).
  const auto v4 = familyListeners<MIB_TCPTABLE_OWNER_PID, MIB_TCPTABLE>(AF_INET, port, serverRuns);
  const auto v6 = familyListeners<MIB_TCP6TABLE_OWNER_PID, MIB_TCP6TABLE>(AF_INET6, port, false);
  if (!v4 && !v6) return std::nullopt;
  std::vector<DWORD> holders = v4.value_or(std::vector<DWORD>());
  if (v6) holders.insert(holders.end(), v6->begin(), v6->end());
  return holders;
}

}  // namespace tovanik::windows
