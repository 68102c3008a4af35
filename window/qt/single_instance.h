#pragma once
// Tells whether another copy of this program (the same executable file) runs, by holding
// an advisory lock (flock) on a file for the program's life, and lets a later copy ask the
// one that runs to show its window. The kernel drops the lock with the last descriptor,
// so a copy that dies in any way, SIGKILL included, leaves nothing that blocks the next
// one. Lock and socket lie in a folder of the user's own that no other user can enter or
// plant anything in, so another user's copy never blocks, and nobody else can send.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tovanik {

class SingleInstance {
 public:
  // The lock file is named after a hash of the executable's path, in lockFolder().
  explicit SingleInstance(const QString& executablePath);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  enum class Result { Acquired, HeldByAnotherCopy, Failed };
  // Takes the lock without waiting. Failed means no lock could be made (the reason is in
  // error()); the caller then runs as the only copy rather than refuse to start.
  Result acquire();

  // For the copy that holds the lock: from now on the event loop calls `show` whenever a
  // later copy asks, with the activation token that copy was started with (empty when it
  // had none). The socket is watched by the event loop: no thread, no timer. Needs a
  // QCoreApplication. False, with the reason in error(), when no socket can be made.
  bool listenForShowRequests(std::function<void(const QByteArray& activationToken)> show);
  // For a copy that found the lock held: asks the holder to show its window, passing on
  // the token the desktop gave this start (XDG_ACTIVATION_TOKEN on Wayland), without
  // which the compositor may refuse the window the focus. False, with the reason in
  // error(), when the request cannot be sent.
  bool askToShow(const QByteArray& activationToken);

  QString lockPath() const { return folder_ + QLatin1Char('/') + name_ + ".lock"; }
  QString socketPath() const { return folder_ + QLatin1Char('/') + name_ + ".sock"; }
  // What failed and why, in one line.
  QString error() const { return error_; }

  // $XDG_RUNTIME_DIR when it is a folder of this user's that no one else may write to;
  // else tovanik in the user's state folder: $XDG_STATE_HOME/tovanik, else
  // $HOME/.local/state/tovanik, never the shared temporary folder. Run as root,
  // XDG_STATE_HOME and HOME count only when they are folders of root's that no one else
  // may write to, else root's home from the user database: root never follows another
  // user's environment (sudo -E) into a folder that user controls. "" when there is no
  // home folder at all.
  static QString lockFolder();

 private:
  bool openFolder();
  // The folder's entry `name` as a path that fits a socket address however deep the
  // folder lies: /proc/self/fd/N/name, through the folder opened once.
  std::string throughFolder(const QString& name) const;
  void takeRequests();

  QString folder_;
  QString name_;  // tovanik-webserver-<hash>, the lock's and the socket's name
  QString error_;
  int folderFd_ = -1;
  int lockFd_ = -1;
  int socketFd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void(const QByteArray&)> show_;
};

}  // namespace tovanik
