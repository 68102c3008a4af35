#pragma once
// Helpers shared by the unit tests: scratch folders, files as bytes, environment changes
// for one scope, free ports and a tiny HTTP client for checking a real server.

#include <cstdlib>
#include <optional>
#include <string>

namespace tovanik::test {

// A fresh folder under $TMPDIR (on Windows the user's temporary folder), removed with
// everything in it on destruction. file("a/b") is "<folder>/a/b", with the system's
// separators.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);

// Sets an environment variable for one scope (nullptr unsets it); the old value, or its
// absence, comes back on destruction.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(name, value);
  }
  ~ScopedEnv() { set(name_, old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  static void set(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");  // "" removes it
#else
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
#endif
  }
  const char* name_;
  std::optional<std::string> old_;
};

// A TCP port that nothing listens on right now (bound once to port 0 and released).
int freePort();

// GET http://127.0.0.1:port/path; returns the status code, or 0 when nothing answered.
int httpStatus(int port, const std::string& path = "/");

// Linux: GET path from a loopback `address` ("127.0.0.1", "::1"): the body, "" for none.
std::string httpGet(int port, const std::string& path, const std::string& address = "127.0.0.1");

// A user made for one test and removed with it (useradd, no home, no login): another
// user for the tests of what root and other users may do. Needs root; ok() tells. Run as
// root, a user that cannot be made throws: the test fails, never skips.
class ThrowawayUser {
 public:
  ThrowawayUser();
  ~ThrowawayUser();
  ThrowawayUser(const ThrowawayUser&) = delete;
  ThrowawayUser& operator=(const ThrowawayUser&) = delete;
  bool ok() const { return uid_ >= 0; }
  const std::string& name() const { return name_; }
  int uid() const { return uid_; }
  int gid() const { return gid_; }
  // A command prefix that runs what follows as this user, for std::system.
  std::string runAs() const;
  // Gives `path` (and, with recursive, everything below it) to this user.
  void own(const std::string& path, bool recursive = false) const;

 private:
  std::string name_;
  int uid_ = -1;
  int gid_ = -1;
};

// Folder of the built programs (tovanik-webserver, tovanikctl) and of the sources.
std::string binDir();
std::string sourceDir();

}  // namespace tovanik::test

namespace tovanik::test {

#ifndef _WIN32
// The real PHP interpreter behind `php` on PATH, symbolic links resolved.
std::string phpBinary();
#endif

// Lays out a program folder in `dir` for a server named `exeName` (a link to the real
// PHP; on Windows a copy of the stand-in server, tests/windows/stand_in_server.cpp)
// serving `dir`/www on `port`, with an index.php that prints "tovanik-ok".
void layoutProgramFolder(const std::string& dir, const std::string& exeName, int port);

// Polls `condition` every 50 ms until it holds or `seconds` pass; returns its last value.
template <typename Condition>
bool waitFor(Condition condition, double seconds = 10);

}  // namespace tovanik::test

#include <chrono>
#include <thread>

template <typename Condition>
bool tovanik::test::waitFor(Condition condition, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}
