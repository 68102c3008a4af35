#include "server/server_processes.h"

#include "platform/ascii_case.h"
#include "platform/path_text.h"

namespace tovanik {
namespace {

// Parents followed at most: a process table has no loops, but a reused PID could make one.
constexpr int kMostGenerations = 64;

// The program folder a server path lies in: "<folder>/<php_folder>/<exe_name>" with this
// folder's php_folder, else the folder two levels up.
std::string folderOfServerPath(std::string_view path, const ServerSettings& s) {
  std::string_view folder = parentFolder(path);
  const std::string tail = std::string(1, kPathSeparator) + s.phpFolder;
  if (folder.size() > tail.size() && folder.substr(folder.size() - tail.size()) == tail)
    return std::string(folder.substr(0, folder.size() - tail.size()));
  const std::string_view up = parentFolder(folder);
  return std::string(up.empty() ? path : up);
}

}  // namespace

std::vector<ForeignServer> foreignServers(Platform& platform, const std::string& programFolder,
                                          const ServerSettings& s, const std::vector<int>& pids) {
  const std::string ours = serverPath(programFolder, s);
  std::vector<ForeignServer> foreign;
  for (const int pid : pids) {
    const std::optional<ProcessInfo> info = platform.processInfo(pid);
    if (!info || info->arguments.empty()) continue;
    // argv[0], or a script's path after its interpreter (and its one argument).
    const std::vector<std::string>& args = info->arguments;
    std::string started;
    for (std::size_t i = 0; i < args.size() && i < 3; ++i) {
      if (platform.samePathText(args[i], ours)) {
        started.clear();
        break;
      }
      const std::string_view name = baseName(args[i]);
      if (started.empty() && equalAsciiCaseless(name, s.exeName)) started = args[i];
    }
    if (started.empty() || platform.samePathText(started, ours)) continue;
    const bool path = started.find_first_of("/\\") != std::string::npos;
    foreign.push_back({pid, path ? folderOfServerPath(started, s) : info->executable});
  }
  return foreign;
}

bool descendsFrom(Platform& platform, int pid, const std::set<int>& ancestors) {
  for (int step = 0; pid > 1 && step < kMostGenerations; ++step) {
    if (ancestors.count(pid)) return true;
    const std::optional<ProcessInfo> info = platform.processInfo(pid);
    if (!info) return false;
    pid = info->parent;
  }
  return false;
}

PortState portState(Platform& platform, int port, const std::set<int>& serverPids) {
  PortState state;
  const PortUse use =
      platform.portUse(port, std::vector<int>(serverPids.begin(), serverPids.end()));
  state.listening = use.listening;
  for (const auto& [pid, name] : use.holders) {
    if (pid == 0) {
      state.holderUnknown = true;
    } else if (descendsFrom(platform, pid, serverPids)) {
      state.heldByServer = true;
    } else {
      if (!state.otherHolders.empty()) state.otherHolders += ", ";
      state.otherHolders += name + " (pid " + std::to_string(pid) + ")";
    }
  }
  return state;
}

}  // namespace tovanik
