#pragma once
// The writers' lock beside a settings file: ".<name>.lock", the settings file's owner's
// alone.

#include <sys/types.h>

#include <chrono>
#include <string>

#include "platform/platform.h"

namespace tovanik {

// ".<name>.lock" beside `file` (long names cut to fit the 255-byte name limit).
std::string lockPathOf(const std::string& file);

// An exclusive flock on the lock file beside a settings file, released on destruction.
// The settings file itself cannot carry the lock: the rename puts a new file in its place,
// and the next writer would lock the new one.
//
// Every open makes sure the lock file is the settings file's owner's alone: a regular
// file with one name, never a link, owned by that owner (the caller when the settings
// file is missing, or when the caller is not root and cannot give files away), mode 0600.
// Whatever else stands there is never used as found. A lock file of the caller's or the
// owner's that group and others could never open is made so in place; anything else
// (another user's file, one others could open and so may hold locked already, a second
// name of some other file, a link, a FIFO, a socket) is replaced, under the folder's write
// permission. So no other user can open it, hold the lock and block the writers. A folder
// in its place is an error.
class WriteLock {
 public:
  // `shownLock` names the lock file in messages (its path may be a /proc/self/fd name).
  // The wait for another writer goes by `timing`'s clock.
  WriteLock(const std::string& file, const std::string& shownLock,
            std::chrono::milliseconds patience, Timing& timing);
  ~WriteLock();
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

  // "": locked, or locks unavailable here (a read-only or lock-less file system). Else
  // one line naming the lock file and the real reason.
  const std::string& error() const { return error_; }
  bool timedOut() const { return timedOut_; }
  bool held() const { return held_; }

 private:
  bool open(const std::string& path, uid_t owner, gid_t group);
  bool fail(const std::string& reason);

  std::string shown_;
  int fd_ = -1;
  std::string error_;
  bool timedOut_ = false;
  bool held_ = false;
};

}  // namespace tovanik
