#pragma once
// The single copy on Linux: an advisory lock (flock) on a file held for the program's life,
// and a datagram socket beside it on which a later copy asks to be shown. The kernel drops
// the lock with the last descriptor, so a copy that dies in any way, SIGKILL included,
// leaves nothing that blocks the next one. Lock and socket lie in a folder of the user's
// own that no other user can enter or plant anything in, so another user's copy never
// blocks, and nobody else can send.

#include "platform/single_copy.h"

namespace tovanik {

class LinuxSingleCopy final : public SingleCopy {
 public:
  // The lock file is named after a hash of the executable's path, in lockFolder().
  explicit LinuxSingleCopy(const std::string& executablePath);
  ~LinuxSingleCopy() override;
  LinuxSingleCopy(const LinuxSingleCopy&) = delete;
  LinuxSingleCopy& operator=(const LinuxSingleCopy&) = delete;

  Result acquire() override;
  std::string name() const override { return name_; }
  bool listenForShowRequests() override;
  int showRequestHandle() const override { return socketFd_; }
  std::vector<std::string> takeShowRequests() override;
  bool askToShow(const std::string& activationToken) override;
  std::string error() const override { return error_; }

  std::string lockPath() const { return folder_ + '/' + name_ + ".lock"; }
  std::string socketPath() const { return folder_ + '/' + name_ + ".sock"; }

  // $XDG_RUNTIME_DIR when it is a folder of this user's that no one else may write to;
  // else tovanik in the user's state folder: $XDG_STATE_HOME/tovanik, else
  // $HOME/.local/state/tovanik, never the shared temporary folder. Run as root,
  // XDG_STATE_HOME and HOME count only when they are folders of root's that no one else
  // may write to, else root's home from the user database: root never follows another
  // user's environment (sudo -E) into a folder that user controls. "" when there is no
  // home folder at all.
  static std::string lockFolder();

 private:
  bool openFolder();
  // The folder's entry `name` as a path that fits a socket address however deep the
  // folder lies: /proc/self/fd/N/name, through the folder opened once.
  std::string throughFolder(const std::string& name) const;

  std::string folder_;
  std::string name_;  // tovanik-webserver-<hash>, the lock's and the socket's name
  std::string error_;
  int folderFd_ = -1;
  int lockFd_ = -1;
  int socketFd_ = -1;
};

}  // namespace tovanik
