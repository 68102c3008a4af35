#pragma once
// The comm of each process a scan of /proc reads, through a descriptor kept open from one
// scan to the next: the presence check of a stopped server reads every process's name
// once a second, and a kept /proc/PID/comm read again costs one call where opening,
// reading and closing it cost three. The read gives the name the process has now, renamed
// by exec or not; a process that has ended fails it (ESRCH), and its PID, when the table
// lists it again, is another process's and is opened afresh.

#include <sys/types.h>

#include <cstddef>
#include <vector>

namespace tovanik {

class KeptComms {
 public:
  KeptComms();
  ~KeptComms();
  KeptComms(const KeptComms&) = delete;
  KeptComms& operator=(const KeptComms&) = delete;

  // A scan reads the PIDs in the order /proc lists them, ascending; what it did not reach
  // (it stopped at a match) stays kept, what it passed by has ended and is closed.
  void startScan();
  void endScan();
  // Reads "<pid>/comm" below the /proc descriptor into buffer, as read(2) would; -1 when
  // it cannot.
  ssize_t read(int procFd, int pid, const char* pidText, char* buffer, std::size_t capacity);

 private:
  struct Kept {
    int pid;
    int fd;
  };
  std::vector<Kept> kept_, next_;
  std::size_t cursor_ = 0;
  std::size_t limit_;  // how many may be kept: half the descriptors the process may hold
};

}  // namespace tovanik
