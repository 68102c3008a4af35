#include "platform/linux/kept_comms.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace tovanik {

KeptComms::~KeptComms() {
  for (const Kept& kept : kept_) ::close(kept.fd);
}

KeptComms::KeptComms() {
  // The rest of the program (the window's connection, its fonts, the launches) keeps the
  // other half.
  rlimit files{};
  const rlim_t soft = ::getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 256;
  limit_ = static_cast<std::size_t>(std::clamp<rlim_t>(soft / 2, 1, 4096));
}

void KeptComms::startScan() {
  cursor_ = 0;
  next_.clear();
}

void KeptComms::endScan() {
  next_.insert(next_.end(), kept_.begin() + static_cast<std::ptrdiff_t>(cursor_), kept_.end());
  kept_.swap(next_);
  next_.clear();
  cursor_ = 0;
}

ssize_t KeptComms::read(int procFd, int pid, const char* pidText, char* buffer,
                        std::size_t capacity) {
  while (cursor_ < kept_.size() && kept_[cursor_].pid < pid) ::close(kept_[cursor_++].fd);
  if (cursor_ < kept_.size() && kept_[cursor_].pid == pid) {
    const int fd = kept_[cursor_++].fd;
    const ssize_t got = ::pread(fd, buffer, capacity, 0);
    if (got >= 0) {
      next_.push_back({pid, fd});
      return got;
    }
    ::close(fd);  // ended: the PID, listed, is another process's now
  }
  char path[32];
  std::snprintf(path, sizeof path, "%s/comm", pidText);
  const int fd = ::openat(procFd, path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  const ssize_t got = ::pread(fd, buffer, capacity, 0);
  if (got >= 0 && next_.size() < limit_)
    next_.push_back({pid, fd});
  else
    ::close(fd);
  return got;
}

}  // namespace tovanik
