#include "tests/support/test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tovanik::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/tovanik-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

int httpStatus(int port, const std::string& path) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return 0;
  }
  std::string request = "GET " + path + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
  if (write(fd, request.data(), request.size()) < 0) {
    close(fd);
    return 0;
  }
  char buffer[64] = {};
  ssize_t got = read(fd, buffer, sizeof buffer - 1);
  close(fd);
  int status = 0;
  if (got > 12 && std::sscanf(buffer, "HTTP/%*s %d", &status) == 1) return status;
  return 0;
}

namespace {

// Runs a shell command whose outcome the caller checks otherwise.
void quietly(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
  }
}

}  // namespace

ThrowawayUser::ThrowawayUser() {
  if (::geteuid() != 0) return;
  static int made = 0;
  name_ = "tvk" + std::to_string(::getpid()) + "x" + std::to_string(made++);
  const std::string add = "useradd --no-create-home --shell /usr/sbin/nologin --user-group " +
                          name_ + " >/dev/null 2>&1";
  if (std::system(add.c_str()) != 0) return;
  if (const passwd* entry = ::getpwnam(name_.c_str())) {
    uid_ = static_cast<int>(entry->pw_uid);
    gid_ = static_cast<int>(entry->pw_gid);
  }
}

ThrowawayUser::~ThrowawayUser() {
  if (name_.empty() || uid_ < 0) return;
  // Whatever the test left running as this user goes first, or userdel refuses.
  quietly("pkill -KILL -U " + std::to_string(uid_) + " >/dev/null 2>&1");
  quietly("userdel " + name_ + " >/dev/null 2>&1");
}

std::string ThrowawayUser::runAs() const {
  return "setpriv --reuid=" + std::to_string(uid_) + " --regid=" + std::to_string(gid_) +
         " --clear-groups ";
}

void ThrowawayUser::own(const std::string& path, bool recursive) const {
  const std::string command = std::string("chown -h ") + (recursive ? "-R " : "") +
                              std::to_string(uid_) + ":" + std::to_string(gid_) + " '" + path + "'";
  quietly(command);
}

std::string binDir() {
  const char* dir = std::getenv("TOVANIK_BIN_DIR");
  return dir ? dir : TOVANIK_TEST_BUILD_DIR;
}

std::string sourceDir() {
  const char* dir = std::getenv("TOVANIK_SOURCE_DIR");
  return dir ? dir : TOVANIK_TEST_SOURCE_DIR;
}

}  // namespace tovanik::test

namespace tovanik::test {

std::string phpBinary() {
  for (const char* dir : {"/usr/local/bin", "/usr/bin", "/bin"}) {
    std::error_code ec;
    const auto resolved = std::filesystem::canonical(std::string(dir) + "/php", ec);
    if (!ec) return resolved.string();
  }
  return "/usr/bin/php";
}

void layoutProgramFolder(const std::string& dir, const std::string& exeName, int port) {
  namespace fs = std::filesystem;
  fs::create_directories(dir + "/config");
  fs::create_directories(dir + "/php");
  fs::create_directories(dir + "/www");
  std::error_code ignored;
  fs::remove(dir + "/php/" + exeName, ignored);
  fs::create_symlink(phpBinary(), dir + "/php/" + exeName);
  writeBytes(dir + "/www/index.php", "<?php echo 'tovanik-ok';\n");
  writeBytes(dir + "/config/config.ini",
             "[Config]\r\ncommand_prompt=hide\r\nserver_port=" + std::to_string(port) +
                 "\r\nroot_directory=www\r\nphp_folder=php\r\n"
                 "exe_name=" +
                 exeName + "\r\n");
}

}  // namespace tovanik::test
