#include "tests/support/test_support.h"

#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
// winsock2.h before windows.h, which would bring the old winsock.h.
#include <windows.h>

#include "platform/windows/wide_text.h"
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/path_text.h"
#include "tests/support/fs_path.h"

namespace tovanik::test {

std::string TempDir::file(const std::string& name) const {
  std::string native = name;
  for (char& c : native)
    if (c == '/') c = kPathSeparator;
  return joinPath(path_, native);
}

#ifdef _WIN32

namespace {

// Winsock, started once for the helpers below.
void startSockets() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

}  // namespace

TempDir::TempDir() {
  wchar_t base[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, base);
  if (length == 0) throw std::runtime_error("no temporary folder");
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring candidate = std::wstring(base, length) + L"tovanik-test-" +
                                   std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(random() % 1000000);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = windows::utf8(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

namespace {

// Removes a folder and all below it, read-only files too, through the long-path prefix
// (a test may make paths past 260 characters, which the C++ library cannot remove).
void removeTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeTree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

// A server a test has just stopped may still hold its log open for a moment, and Windows
// removes an open file, and so its folder, only once the last handle closes: try again
// until the folder is gone, for up to 5 s.
TempDir::~TempDir() {
  const std::wstring folder = L"\\\\?\\" + windows::utf16(path_);
  for (int tries = 0; tries < 250; ++tries) {
    removeTree(folder);
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    Sleep(20);
  }
}

int freePort() {
  startSockets();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  closesocket(s);
  return ntohs(addr.sin_port);
}

int httpStatus(int port, const std::string& path) {
  startSockets();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return 0;
  DWORD timeout = 5000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port));
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(s);
    return 0;
  }
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
  if (send(s, request.data(), static_cast<int>(request.size()), 0) < 0) {
    closesocket(s);
    return 0;
  }
  char buffer[64] = {};
  const int got = recv(s, buffer, sizeof buffer - 1, 0);
  closesocket(s);
  int status = 0;
  if (got > 12 && std::sscanf(buffer, "HTTP/%*s %d", &status) == 1) return status;
  return 0;
}

#else

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

#endif

std::string readBytes(const std::string& path) {
  std::ifstream in(fsPath(path), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(fsPath(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

#ifndef _WIN32

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

std::string httpGet(int port, const std::string& path, const std::string& address) {
  sockaddr_in6 six{AF_INET6, htons(static_cast<uint16_t>(port)), 0, {}, 0};
  sockaddr_in four{AF_INET, htons(static_cast<uint16_t>(port)), {}, {}};
  const bool v6 = inet_pton(AF_INET6, address.c_str(), &six.sin6_addr) == 1;
  if (!v6 && inet_pton(AF_INET, address.c_str(), &four.sin_addr) != 1) return {};
  const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  const auto* to = v6 ? reinterpret_cast<sockaddr*>(&six) : reinterpret_cast<sockaddr*>(&four);
  std::string response;
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
  if (connect(fd, to, v6 ? sizeof six : sizeof four) == 0 &&
      write(fd, request.data(), request.size()) > 0) {
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) response.append(buffer, got);
  }
  close(fd);
  const std::size_t body = response.find("\r\n\r\n");
  return body == std::string::npos ? "" : response.substr(body + 4);
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
  // A name no user or group has yet: in a PID namespace every run's PID is the same, and
  // a user left by a killed run must not make this one fail or reuse it.
  static int made = 0;
  do name_ = "tvk" + std::to_string(::getpid()) + "x" + std::to_string(made++);
  while (::getpwnam(name_.c_str()) || ::getgrnam(name_.c_str()));
  const std::string add = "useradd --no-create-home --shell /usr/sbin/nologin --user-group " +
                          name_ + " >/dev/null 2>&1";
  // Run as root, the tests that need another user fail rather than skip without one.
  if (std::system(add.c_str()) != 0)
    throw std::runtime_error("root could not make the user " + name_ + " (useradd)");
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

#else

// No other users are made on Windows: the tests that need one skip.
ThrowawayUser::ThrowawayUser() = default;
ThrowawayUser::~ThrowawayUser() = default;
std::string ThrowawayUser::runAs() const { return {}; }
void ThrowawayUser::own(const std::string&, bool) const {}

#endif

namespace {

// A folder of the build, with the system's separators.
std::string buildFolder(const char* variable, const char* fallback) {
  const char* dir = std::getenv(variable);
  std::string folder = dir ? dir : fallback;
  for (char& c : folder)
    if (c == '/') c = kPathSeparator;
  return folder;
}

}  // namespace

std::string binDir() { return buildFolder("TOVANIK_BIN_DIR", TOVANIK_TEST_BUILD_DIR); }

std::string sourceDir() { return buildFolder("TOVANIK_SOURCE_DIR", TOVANIK_TEST_SOURCE_DIR); }

}  // namespace tovanik::test

namespace tovanik::test {

#ifdef _WIN32

void layoutProgramFolder(const std::string& dir, const std::string& exeName, int port) {
  namespace fs = std::filesystem;
  fs::create_directories(fsPath(dir + "\\config"));
  fs::create_directories(fsPath(dir + "\\php"));
  fs::create_directories(fsPath(dir + "\\www"));
  fs::copy_file(fsPath(binDir() + "\\stand_in_server.exe"), fsPath(dir + "\\php\\" + exeName),
                fs::copy_options::overwrite_existing);
  writeBytes(dir + "\\www\\index.php", "<?php echo 'tovanik-ok';\n");
  writeBytes(dir + "\\config\\config.ini",
             "[Config]\r\ncommand_prompt=hide\r\nserver_port=" + std::to_string(port) +
                 "\r\nroot_directory=www\r\nphp_folder=php\r\n"
                 "exe_name=" +
                 exeName + "\r\n");
}

#else

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

#endif

}  // namespace tovanik::test
