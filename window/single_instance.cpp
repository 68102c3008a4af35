#include "window/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStandardPaths>

namespace tovanik {

SingleInstance::SingleInstance(const QString& executablePath) {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  const QByteArray hash =
      QCryptographicHash::hash(executablePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  lock_ = std::make_unique<QLockFile>(folder + "/tovanik-webserver-" + hash + ".lock");
  // A lock whose owner process is gone is taken over at once, however young.
  lock_->setStaleLockTime(0);
}

bool SingleInstance::acquire() { return lock_->tryLock(0); }

QString SingleInstance::lockPath() const { return lock_->fileName(); }

}  // namespace tovanik
