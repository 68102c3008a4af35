#pragma once
// The TCP sockets listening on a port (IPv4 and IPv6), from the system's TCP tables.

#include <windows.h>

#include <optional>
#include <vector>

namespace tovanik::windows {

// The PIDs holding a listening socket on `port`, one entry per socket (0 where the system
// does not say: Wine reports every owner as 0). nullopt when neither table can be read.
// `serverRuns`: a server of ours runs, so most likely something listens (the answer is
// the same; only the order of the questions follows it).
std::optional<std::vector<DWORD>> listenersOnPort(int port, bool serverRuns);

}  // namespace tovanik::windows
