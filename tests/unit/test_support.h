#pragma once
// Helpers shared by the unit tests: scratch folders, files as bytes, free ports and a
// tiny HTTP client for checking a real server.

#include <string>

namespace tovanik::test {

// A fresh folder under $TMPDIR, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);

// A TCP port that nothing listens on right now (bound once to port 0 and released).
int freePort();

// GET http://127.0.0.1:port/path; returns the status code, or 0 when nothing answered.
int httpStatus(int port, const std::string& path = "/");

// Folder of the built programs (tovanik-webserver, tovanikctl) and of the sources.
std::string binDir();
std::string sourceDir();

}  // namespace tovanik::test
