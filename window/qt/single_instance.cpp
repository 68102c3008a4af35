#include "window/qt/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <optional>

namespace tovanik {
namespace {

QString reason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Makes `folder` usable as a private lock folder: created 0700 when missing; an existing
// one must be a folder (not a link) owned by this user, and loses any group or other
// access. Returns the reason when it cannot be used.
std::optional<QString> preparePrivateFolder(const QByteArray& folder) {
  if (mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) return reason(errno);
  struct stat st {};
  if (lstat(folder.constData(), &st) != 0) return reason(errno);
  if (!S_ISDIR(st.st_mode)) return QStringLiteral("not a folder");
  if (st.st_uid != geteuid()) return QStringLiteral("owned by another user");
  if ((st.st_mode & 077) != 0 && chmod(folder.constData(), 0700) != 0) return reason(errno);
  return std::nullopt;
}

}  // namespace

QString SingleInstance::lockFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) return runtime;
  // The temporary folder is shared by every user: a folder of our own keeps another
  // user's copy (or a file planted there) from ever holding our lock.
  return QDir::tempPath() + QStringLiteral("/tovanik-") + QString::number(geteuid());
}

SingleInstance::SingleInstance(const QString& executablePath) {
  const QByteArray hash =
      QCryptographicHash::hash(executablePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  path_ = lockFolder() + QStringLiteral("/tovanik-webserver-") + QString::fromLatin1(hash) +
          QStringLiteral(".lock");
}

SingleInstance::~SingleInstance() {
  // The file stays: removing it while another copy may be opening it would let two
  // copies lock two different files.
  if (fd_ >= 0) close(fd_);
}

SingleInstance::Result SingleInstance::acquire() {
  if (fd_ >= 0) return Result::Acquired;
  const QString folder = lockFolder();
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    if (auto why = preparePrivateFolder(QFile::encodeName(folder))) {
      error_ = QStringLiteral("cannot use the lock folder %1: %2").arg(folder, *why);
      return Result::Failed;
    }
  }
  // The lock takes no fsync and never writes: only the open file description counts.
  const int fd = open(QFile::encodeName(path_).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (fd < 0) {
    error_ = QStringLiteral("cannot open the lock file %1: %2").arg(path_, reason(errno));
    return Result::Failed;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    if (err == EWOULDBLOCK) return Result::HeldByAnotherCopy;
    error_ = QStringLiteral("cannot lock %1: %2").arg(path_, reason(err));
    return Result::Failed;
  }
  fd_ = fd;
  return Result::Acquired;
}

}  // namespace tovanik
