#pragma once
// The TCP sockets listening on a port, and the processes holding them.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovanik {

struct Listener {
  std::string localAddress;  // as text, e.g. "0.0.0.0" or "::"
  unsigned long inode = 0;
  std::vector<std::pair<int, std::string>> holders;  // pid and comm, where visible
};

// Listening sockets on the port (IPv4 and IPv6) with their holders. The holders are
// looked for among `likelyHolders` first (the server's processes); the rest of the
// process table is searched only for sockets none of them holds.
std::vector<Listener> tcpListenersOnPort(int port, const std::vector<int>& likelyHolders = {});

// The two sources, without holders. The kernel's socket diagnostics answer in one
// round trip; nullopt when they are not available (no netlink, an old kernel). The
// text tables under /proc/net are the fallback.
std::optional<std::vector<Listener>> listenersFromSockDiag(int port);
std::vector<Listener> listenersFromProcNet(int port, const std::string& procNet = "/proc/net");

}  // namespace tovanik
