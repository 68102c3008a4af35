#pragma once
// Tells whether another copy of this program (the same executable file) runs, by
// holding an advisory lock (flock) on a file for the program's life. The kernel drops
// the lock with the last descriptor, so a copy that dies in any way, SIGKILL included,
// leaves nothing that blocks the next one. The file lies in a folder of the user's own,
// so another user's copy never blocks.

#include <QString>

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
  QString lockPath() const { return path_; }
  // What failed and why, in one line, after acquire() returned Failed.
  QString error() const { return error_; }

  // $XDG_RUNTIME_DIR when set; else tovanik-<uid> under the temporary folder, created
  // with mode 0700 and used only when it is a real folder owned by this user.
  static QString lockFolder();

 private:
  QString path_;
  QString error_;
  int fd_ = -1;
};

}  // namespace tovanik
