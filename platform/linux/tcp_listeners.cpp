#include "platform/linux/tcp_listeners.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/linux/descriptor.h"
#include "platform/text_rules.h"

namespace tovanik {

namespace {

constexpr int kListenState = 10;  // TCP_LISTEN in the kernel's numbering

// One dump request for listening TCP sockets of a family; false when the kernel
// refused or the answer broke off.
bool dumpFamily(int sock, unsigned char family, int port, std::vector<Listener>& out) {
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  message.header.nlmsg_seq = family;
  message.request.sdiag_family = family;
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = 1u << kListenState;
  // Listening sockets are filtered by this port in the kernel already.
  message.request.id.idiag_sport = htons(static_cast<std::uint16_t>(port));
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(sock, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) != static_cast<ssize_t>(sizeof message))
    return false;
  alignas(nlmsghdr) char buffer[16384];
  for (;;) {
    ssize_t got = ::recv(sock, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    int left = static_cast<int>(got);
    for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, left);
         header = NLMSG_NEXT(header, left)) {
      if (header->nlmsg_type == NLMSG_DONE) return true;
      if (header->nlmsg_type == NLMSG_ERROR) return false;
      if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY) continue;
      const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
      if (socket->idiag_state != kListenState || ntohs(socket->id.idiag_sport) != port) continue;
      char text[INET6_ADDRSTRLEN] = {};
      ::inet_ntop(socket->idiag_family, socket->id.idiag_src, text, sizeof text);
      out.push_back(Listener{text, socket->idiag_inode, {}});
    }
  }
}

// "0100007F" (IPv4) or 32 hex digits (IPv6) as printed by the kernel: the address in
// network byte order, shown as 32-bit words in the host's byte order.
std::string addressText(const std::string& hex) {
  unsigned char bytes[16] = {};
  std::size_t words = hex.size() / 8;
  if ((words != 1 && words != 4) || hex.size() % 8 != 0) return {};
  for (std::size_t i = 0; i < words; ++i) {
    char* end = nullptr;
    std::string word = hex.substr(i * 8, 8);
    auto value = static_cast<std::uint32_t>(std::strtoul(word.c_str(), &end, 16));
    if (*end) return {};
    std::memcpy(bytes + i * 4, &value, 4);
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (!::inet_ntop(words == 1 ? AF_INET : AF_INET6, bytes, text, sizeof text)) return {};
  return text;
}

// Appends the sockets of one /proc/net/tcp* table that listen on the port.
void collectFromTable(const std::string& tablePath, int port, std::vector<Listener>& out) {
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
    if (std::strtol(state.c_str(), nullptr, 16) != kListenState) continue;
    if (std::strtol(local.c_str() + colon + 1, nullptr, 16) != port) continue;
    out.push_back(Listener{addressText(local.substr(0, colon)), inode, {}});
  }
}

std::string commOf(int procFd, const std::string& pid) {
  std::string path = pid + "/comm";
  int fd = ::openat(procFd, path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[64];
  ssize_t got = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (got <= 0) return {};
  std::size_t length = static_cast<std::size_t>(got);
  if (buffer[length - 1] == '\n') --length;
  return std::string(buffer, length);
}

// Adds `pid` as a holder of every wanted socket among its descriptors. Another user's
// descriptors cannot be read: those processes are skipped.
void searchDescriptors(int procFd, const std::string& pid,
                       std::map<unsigned long, Listener*>& wanted) {
  int fdDir = ::openat(procFd, (pid + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdDir < 0) return;
  DIR* fds = ::fdopendir(fdDir);
  if (!fds) {
    ::close(fdDir);
    return;
  }
  std::string comm;
  const int number = std::atoi(pid.c_str());
  while (const dirent* entry = ::readdir(fds)) {
    if (!isAllDigits(entry->d_name)) continue;
    char target[64];
    ssize_t length = ::readlinkat(fdDir, entry->d_name, target, sizeof target - 1);
    if (length <= 8) continue;
    target[length] = '\0';
    if (std::strncmp(target, "socket:[", 8) != 0) continue;
    auto found = wanted.find(std::strtoul(target + 8, nullptr, 10));
    if (found == wanted.end()) continue;
    if (comm.empty()) comm = commOf(procFd, pid);
    auto& holders = found->second->holders;
    if (holders.empty() || holders.back().first != number) holders.emplace_back(number, comm);
  }
  ::closedir(fds);
}

void findHolders(std::vector<Listener>& listeners, const std::vector<int>& likelyHolders) {
  Descriptor proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (proc.get() < 0) return;
  std::map<unsigned long, Listener*> wanted;
  for (Listener& listener : listeners) wanted[listener.inode] = &listener;
  for (int pid : likelyHolders) searchDescriptors(proc.get(), std::to_string(pid), wanted);
  for (auto it = wanted.begin(); it != wanted.end();)
    it = it->second->holders.empty() ? std::next(it) : wanted.erase(it);
  if (wanted.empty()) return;

  int listFd = ::dup(proc.get());
  DIR* all = listFd < 0 ? nullptr : ::fdopendir(listFd);
  if (!all) {
    if (listFd >= 0) ::close(listFd);
    return;
  }
  while (const dirent* entry = ::readdir(all)) {
    if (!isAllDigits(entry->d_name)) continue;
    const int pid = std::atoi(entry->d_name);
    bool seen = false;
    for (int likely : likelyHolders) seen = seen || likely == pid;
    if (!seen) searchDescriptors(proc.get(), entry->d_name, wanted);
  }
  ::closedir(all);
}

}  // namespace

std::optional<std::vector<Listener>> listenersFromSockDiag(int port) {
  Descriptor sock(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (sock.get() < 0) return std::nullopt;
  std::vector<Listener> listeners;
  if (!dumpFamily(sock.get(), AF_INET, port, listeners) ||
      !dumpFamily(sock.get(), AF_INET6, port, listeners))
    return std::nullopt;
  return listeners;
}

std::vector<Listener> listenersFromProcNet(int port, const std::string& procNet) {
  std::vector<Listener> listeners;
  collectFromTable(procNet + "/tcp", port, listeners);
  collectFromTable(procNet + "/tcp6", port, listeners);
  return listeners;
}

std::vector<Listener> tcpListenersOnPort(int port, const std::vector<int>& likelyHolders) {
  std::optional<std::vector<Listener>> fromKernel = listenersFromSockDiag(port);
  std::vector<Listener> listeners =
      fromKernel ? std::move(*fromKernel) : listenersFromProcNet(port);
  if (!listeners.empty()) findHolders(listeners, likelyHolders);
  return listeners;
}

}  // namespace tovanik
