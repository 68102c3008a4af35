#pragma once
// Tells whether another copy of this program (the same executable file) runs, by
// holding a lock file for the program's life. A lock left by a dead copy is stale and
// does not count.

#include <QLockFile>
#include <QString>
#include <memory>

namespace tovanik {

class SingleInstance {
 public:
  // The lock is named after the executable's path, in the user's runtime folder.
  explicit SingleInstance(const QString& executablePath);
  // True when this copy now holds the lock; false when another live copy holds it.
  bool acquire();
  QString lockPath() const;

 private:
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace tovanik
