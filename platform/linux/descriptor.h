#pragma once
// An open file descriptor owned for one scope: closed on destruction, never copied.

#include <unistd.h>

namespace tovanik {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  // -1 when the call that made it failed.
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace tovanik
