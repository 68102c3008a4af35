#include "platform/proc_table.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace tovanik {

namespace {

// The kernel keeps at most this many bytes of a process name in comm (TASK_COMM_LEN - 1).
constexpr std::size_t kCommLength = 15;

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isAllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Reads a small /proc file in one go. The stat line of a process is well under 1 KiB;
// a stack buffer and raw read() keep the per-process cost of a scan to three syscalls.
bool readSmallFile(const std::string& path, char* buffer, std::size_t capacity,
                   std::size_t& length) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t got = ::read(fd, buffer, capacity);
  ::close(fd);
  if (got < 0) return false;
  length = static_cast<std::size_t>(got);
  return true;
}

std::string baseName(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Base name of the file the process was started from, or "" when /proc/PID/exe cannot be
// read (another user's process, a kernel thread). A file replaced or removed since the
// start reads as "PATH (deleted)"; the suffix is not part of the name.
std::string exeBaseName(const std::string& pidDir) {
  char target[4096];
  ssize_t length = ::readlink((pidDir + "/exe").c_str(), target, sizeof target);
  if (length <= 0) return {};
  std::string_view path(target, static_cast<std::size_t>(length));
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted)
    path.remove_suffix(kDeleted.size());
  return baseName(path);
}

// Base name of argv[0], which /proc/PID/cmdline holds up to the first NUL. Unlike exe
// it is readable for every user's process, and it keeps the name a program was started
// under when that name is a symbolic link to another file.
std::string argv0BaseName(const std::string& pidDir) {
  char buffer[4096];
  std::size_t length = 0;
  if (!readSmallFile(pidDir + "/cmdline", buffer, sizeof buffer, length)) return {};
  std::string_view argv0(buffer, length);
  argv0 = argv0.substr(0, argv0.find('\0'));
  return baseName(argv0);
}

// comm holds only the first 15 bytes of a name. A longer name is confirmed by the whole
// base name of either the executable file or argv[0]: a server started through a
// symbolic link (t-server-long-name.exe -> php8.2) has exe = php8.2, and its full name
// survives only in argv[0]; a program copied or renamed to the long name has it in exe
// even when argv[0] was set to something else.
bool fullNameConfirmed(const std::string& pidDir, const std::string& imageName) {
  return sameImageName(exeBaseName(pidDir), imageName) ||
         sameImageName(argv0BaseName(pidDir), imageName);
}

// A comm of exactly 15 bytes may be the cut-off start of a longer name. When the
// executable or argv[0] names such a longer file, the process is not one of this name.
bool longerNameEvident(const std::string& pidDir, const std::string& imageName) {
  auto longerWithPrefix = [&](const std::string& candidate) {
    return candidate.size() > imageName.size() &&
           sameImageName(std::string_view(candidate).substr(0, imageName.size()), imageName);
  };
  std::string exeName = exeBaseName(pidDir);
  std::string argv0Name = argv0BaseName(pidDir);
  bool exactSomewhere = sameImageName(exeName, imageName) || sameImageName(argv0Name, imageName);
  return !exactSomewhere && (longerWithPrefix(exeName) || longerWithPrefix(argv0Name));
}

// The matching rule, by the length of the wanted name:
//   shorter than 15 bytes: comm equals it;
//   exactly 15 bytes: comm equals it, unless exe or argv[0] shows a longer name;
//   longer: comm equals its first 15 bytes, and the base name of exe or of argv[0]
//           equals the whole name.
// All comparisons fold ASCII letters only. Only the rare candidates whose comm already
// matches cost the extra reads of exe and cmdline.
bool processMatches(const std::string& pidDir, const ProcStat& stat, const std::string& imageName) {
  if (imageName.size() < kCommLength) return sameImageName(stat.comm, imageName);
  if (imageName.size() == kCommLength)
    return sameImageName(stat.comm, imageName) && !longerNameEvident(pidDir, imageName);
  return sameImageName(stat.comm, std::string_view(imageName).substr(0, kCommLength)) &&
         fullNameConfirmed(pidDir, imageName);
}

template <typename Visit>
void forEachPidDir(const std::string& procRoot, Visit visit) {
  DIR* dir = ::opendir(procRoot.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    if (!isAllDigits(entry->d_name)) continue;
    visit(std::atoi(entry->d_name), procRoot + "/" + entry->d_name);
  }
  ::closedir(dir);
}

std::optional<ProcStat> readProcStat(const std::string& pidDir) {
  char buffer[1024];
  std::size_t length = 0;
  if (!readSmallFile(pidDir + "/stat", buffer, sizeof buffer, length)) return std::nullopt;
  return parseProcStat(std::string_view(buffer, length));
}

// "0100007F" (IPv4) or 32 hex digits (IPv6) as printed by the kernel: the address in
// network byte order, shown as 32-bit words in the host's byte order.
std::string addressText(const std::string& hex) {
  unsigned char bytes[16] = {};
  std::size_t words = hex.size() / 8;
  if ((words != 1 && words != 4) || hex.size() % 8 != 0) return {};
  for (std::size_t i = 0; i < words; ++i) {
    std::uint32_t word = static_cast<std::uint32_t>(std::stoul(hex.substr(i * 8, 8), nullptr, 16));
    std::memcpy(bytes + i * 4, &word, 4);
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (!::inet_ntop(words == 1 ? AF_INET : AF_INET6, bytes, text, sizeof text)) return {};
  return text;
}

// Appends the sockets of one /proc/net/tcp* table that listen on the port.
void collectListeners(const std::string& tablePath, int port, std::vector<Listener>& out) {
  constexpr int kListenState = 0x0A;
  std::ifstream table(tablePath);
  std::string line;
  std::getline(table, line);  // column headings
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
    unsigned long inode = 0;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode))
      continue;
    std::size_t colon = local.find(':');
    if (colon == std::string::npos) continue;
    try {
      if (std::stoi(state, nullptr, 16) != kListenState) continue;
      if (std::stoi(local.substr(colon + 1), nullptr, 16) != port) continue;
    } catch (const std::exception&) {
      continue;
    }
    out.push_back(Listener{addressText(local.substr(0, colon)), inode, {}});
  }
}

}  // namespace

std::optional<ProcStat> parseProcStat(std::string_view statText) {
  // "PID (comm) S ...": comm may itself hold blanks and parentheses, so it runs from the
  // first '(' to the last ')'; every later field is numeric or a single letter.
  std::size_t open = statText.find('(');
  std::size_t close = statText.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open)
    return std::nullopt;
  if (open < 2 || statText[open - 1] != ' ' || !isAllDigits(statText.substr(0, open - 1)))
    return std::nullopt;
  if (close + 2 >= statText.size() || statText[close + 1] != ' ') return std::nullopt;
  char state = statText[close + 2];
  if (state == ' ' || state == '\n') return std::nullopt;
  return ProcStat{std::string(statText.substr(open + 1, close - open - 1)), state};
}

bool sameImageName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  return true;
}

std::vector<int> findProcessesByImageName(const std::string& imageName,
                                          const std::string& procRoot) {
  std::vector<int> pids;
  if (imageName.empty()) return pids;
  forEachPidDir(procRoot, [&](int pid, const std::string& pidDir) {
    std::optional<ProcStat> stat = readProcStat(pidDir);
    if (!stat || stat->state == 'Z' || stat->state == 'X' || stat->state == 'x') return;
    if (processMatches(pidDir, *stat, imageName)) pids.push_back(pid);
  });
  return pids;
}

int killProcessesByImageName(const std::string& imageName) {
  int signalled = 0;
  for (int pid : findProcessesByImageName(imageName)) {
    // EPERM (another user's process) and ESRCH (ended since the scan) are both "not ours
    // to count"; the caller is told only how many were actually signalled.
    if (::kill(pid, SIGKILL) == 0) ++signalled;
  }
  return signalled;
}

std::vector<Listener> tcpListenersOnPort(int port) {
  std::vector<Listener> listeners;
  collectListeners("/proc/net/tcp", port, listeners);
  collectListeners("/proc/net/tcp6", port, listeners);
  if (listeners.empty()) return listeners;

  std::map<std::string, Listener*> byLink;
  for (Listener& listener : listeners)
    byLink["socket:[" + std::to_string(listener.inode) + "]"] = &listener;

  forEachPidDir("/proc", [&](int pid, const std::string& pidDir) {
    DIR* fds = ::opendir((pidDir + "/fd").c_str());
    if (!fds) return;  // another user's process: its descriptors cannot be seen
    std::string comm;
    while (const dirent* entry = ::readdir(fds)) {
      if (!isAllDigits(entry->d_name)) continue;
      char target[64];
      ssize_t length = ::readlinkat(::dirfd(fds), entry->d_name, target, sizeof target);
      if (length <= 0) continue;
      auto found = byLink.find(std::string(target, static_cast<std::size_t>(length)));
      if (found == byLink.end()) continue;
      if (comm.empty()) {
        std::optional<ProcStat> stat = readProcStat(pidDir);
        comm = stat ? stat->comm : std::string();
      }
      auto& holders = found->second->holders;
      if (holders.empty() || holders.back().first != pid) holders.emplace_back(pid, comm);
    }
    ::closedir(fds);
  });
  return listeners;
}

}  // namespace tovanik
