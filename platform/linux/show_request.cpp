#include "platform/linux/show_request.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tovanik {
namespace {

// "show", then optionally a blank and the activation token.
constexpr char kShow[] = "show";
constexpr std::size_t kShowLength = sizeof kShow - 1;
// Activation tokens are short printable strings; anything longer is no request of ours.
constexpr std::size_t kMaxToken = 1024;

std::string reason(int err) { return std::strerror(err); }

bool addressOf(const std::string& path, sockaddr_un& address, std::string* why) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *why = "its path is too long";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool plainToken(const std::string& token) {
  if (token.size() > kMaxToken) return false;
  for (char c : token)
    if (c <= ' ' || c > '~') return false;
  return true;
}

}  // namespace

int bindShowRequestSocket(const std::string& path, std::string* why) {
  sockaddr_un address;
  if (!addressOf(path, address, why)) return -1;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *why = reason(errno);
    return -1;
  }
  // The sender's user id comes with each datagram.
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0) {
    *why = reason(errno);
    ::close(fd);
    return -1;
  }
  // A socket file left by a copy that was killed; the lock says no copy uses it now.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    *why = "cannot remove the old socket: " + reason(errno);
    ::close(fd);
    return -1;
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *why = reason(errno);
    ::close(fd);
    return -1;
  }
  ::chmod(path.c_str(), 0600);  // the folder is private already; this is for the file's look
  return fd;
}

bool sendShowRequest(const std::string& path, const std::string& activationToken,
                     std::string* why) {
  sockaddr_un address;
  if (!addressOf(path, address, why)) return false;
  std::string message(kShow);
  if (!activationToken.empty() && plainToken(activationToken)) message += ' ' + activationToken;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *why = reason(errno);
    return false;
  }
  const ssize_t sent = ::sendto(fd, message.data(), message.size(), MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int err = errno;
  ::close(fd);
  if (sent < 0 || static_cast<std::size_t>(sent) != message.size()) {
    *why = reason(sent < 0 ? err : EMSGSIZE);
    return false;
  }
  return true;
}

std::vector<std::string> takeShowRequests(int fd) {
  std::vector<std::string> tokens;
  for (;;) {
    char buffer[kShowLength + 1 + kMaxToken + 1];
    iovec part{buffer, sizeof buffer};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = ::recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;  // EAGAIN: nothing more waits
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (!header || header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_CREDENTIALS ||
        (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)))
      continue;
    ucred sender;
    std::memcpy(&sender, CMSG_DATA(header), sizeof sender);
    if (sender.uid != ::geteuid()) continue;
    const std::string text(buffer, static_cast<std::size_t>(got));
    if (text == kShow) {
      tokens.emplace_back();
    } else if (text.starts_with(std::string(kShow) + ' ')) {
      const std::string token = text.substr(kShowLength + 1);
      if (plainToken(token)) tokens.push_back(token);
    }
  }
  return tokens;
}

}  // namespace tovanik
