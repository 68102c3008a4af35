#pragma once
// Reading the Linux process table under /proc and the listening TCP sockets.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovanik {

// Fields of /proc/PID/stat that the matcher needs: the name (comm, cut to 15 bytes by
// the kernel) and the one-letter state. nullopt when the text is malformed.
struct ProcStat {
  std::string comm;
  char state = '?';
};
std::optional<ProcStat> parseProcStat(std::string_view statText);

// True when two file names are equal with ASCII letters folded.
bool sameImageName(std::string_view a, std::string_view b);

// PIDs of live processes whose executable file name equals imageName (see Platform).
// procRoot is "/proc" except in tests.
std::vector<int> findProcessesByImageName(const std::string& imageName,
                                          const std::string& procRoot = "/proc");

// SIGKILL to each of them that may be signalled; returns how many were signalled.
int killProcessesByImageName(const std::string& imageName);

// A socket in LISTEN state on the given TCP port (IPv4 or IPv6), with the processes
// holding it when they can be seen (pid and comm).
struct Listener {
  std::string localAddress;  // as text, e.g. "0.0.0.0" or "::"
  unsigned long inode = 0;
  std::vector<std::pair<int, std::string>> holders;
};
std::vector<Listener> tcpListenersOnPort(int port);

}  // namespace tovanik
