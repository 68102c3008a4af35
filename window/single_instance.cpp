#include "window/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStandardPaths>

namespace tovanik {

SingleInstance::SingleInstance(const QString& executablePath) {
  // Without XDG_RUNTIME_DIR (a bare X session, a test display) Qt would warn and fall
  // back to a folder in /tmp; the temporary folder serves the same purpose quietly.
  const QString folder = qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
                             ? QDir::tempPath()
                             : QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  const QByteArray hash =
      QCryptographicHash::hash(executablePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  lock_ = std::make_unique<QLockFile>(folder + "/tovanik-webserver-" + hash + ".lock");
  // A lock whose owner process is gone is taken over at once, however young.
  lock_->setStaleLockTime(0);
}

bool SingleInstance::acquire() { return lock_->tryLock(0); }

QString SingleInstance::lockPath() const { return lock_->fileName(); }

}  // namespace tovanik
