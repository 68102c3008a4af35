#pragma once
// What the running processes say about the server of one program folder: which of them
// are its server, which come from another folder under the same name, and who holds the
// port. Matching by image name is the design; these only explain what it finds.

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "server/command.h"

namespace tovanik {

// A process of the server's name that was started from another program folder: its
// PID and that folder (or its executable's path, when no folder can be told).
struct ForeignServer {
  int pid = 0;
  std::string folder;
};

// Those of `pids` whose arguments name another server file than this folder's: started
// as another folder's server, or as another program of that name. Processes whose
// arguments cannot be read count as this folder's.
std::vector<ForeignServer> foreignServers(Platform& platform, const std::string& programFolder,
                                          const ServerSettings& s, const std::vector<int>& pids);

// Whether `pid` is one of `ancestors` or a descendant of one (a wrapper script's php).
bool descendsFrom(Platform& platform, int pid, const std::set<int>& ancestors);

// Who listens on the port, described for a person.
struct PortState {
  bool listening = false;
  bool heldByServer = false;   // by one of the server's processes or their descendants
  bool holderUnknown = false;  // by a holder the system does not name (PID 0: Wine)
  std::string otherHolders;    // "nc (pid 123), ..." of holders that are not the server
};
PortState portState(Platform& platform, int port, const std::set<int>& serverPids);

}  // namespace tovanik
