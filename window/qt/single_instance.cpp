#include "window/qt/single_instance.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/linux/ownership.h"
#include "platform/output_log.h"
#include "window/qt/show_request.h"

namespace tovanik {
namespace {

QString reason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// A folder that belongs to this user alone: no other user can put a file, a link or a
// socket of theirs in it, nor hold our lock.
std::optional<QString> whyNotPrivate(const struct stat& st) {
  if (!S_ISDIR(st.st_mode)) return QStringLiteral("not a folder");
  if (st.st_uid != geteuid()) return QStringLiteral("owned by another user");
  return std::nullopt;
}

// An environment folder we may put our files in as it is: an absolute path to a folder
// of this user's that neither group nor others may write to (as root, every folder above
// it root's too). One that is not is not used, never chmod-ed.
bool ownFolder(const QString& path) { return isSafeFolder(QFile::encodeName(path).toStdString()); }

// Creates the missing folders of `path`, the last one 0700 (its parents too, when they
// are missing: they lie in the user's home). `created`: whether the last one was made here.
std::optional<QString> makeFolders(const QByteArray& path, bool* created) {
  for (qsizetype slash = path.indexOf('/', 1); slash >= 0; slash = path.indexOf('/', slash + 1))
    if (mkdir(path.left(slash).constData(), 0700) != 0 && errno != EEXIST) return reason(errno);
  *created = mkdir(path.constData(), 0700) == 0;
  if (!*created && errno != EEXIST) return reason(errno);
  return std::nullopt;
}

}  // namespace

QString SingleInstance::lockFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  // The runtime folder must be private for anyone: a lock file planted in a folder
  // others may write to could be held by them, and the panel would never show.
  if (ownFolder(runtime)) return runtime;
  // Else the state folder the server's log uses, by the same rules (root's own, as root).
  return QFile::decodeName(QByteArray::fromStdString(stateFolder()));
}

SingleInstance::SingleInstance(const QString& executablePath) : folder_(lockFolder()) {
  const QByteArray hash =
      QCryptographicHash::hash(executablePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  name_ = QStringLiteral("tovanik-webserver-") + QString::fromLatin1(hash);
}

SingleInstance::~SingleInstance() {
  notifier_.reset();
  if (socketFd_ >= 0) {
    // Removed while the lock is still held, so it is never a newer holder's socket.
    unlinkat(folderFd_, QFile::encodeName(name_ + ".sock").constData(), 0);
    close(socketFd_);
  }
  // The lock file stays: removing it while another copy may be opening it would let two
  // copies lock two different files.
  if (lockFd_ >= 0) close(lockFd_);
  if (folderFd_ >= 0) close(folderFd_);
}

bool SingleInstance::openFolder() {
  if (folderFd_ >= 0) return true;
  if (folder_.isEmpty()) {
    error_ = QStringLiteral("no folder for the lock: neither XDG_RUNTIME_DIR nor a home folder");
    return false;
  }
  const QByteArray path = QFile::encodeName(folder_);
  bool created = false;
  if (auto why = makeFolders(path, &created)) {
    error_ = QStringLiteral("cannot make the lock folder %1: %2").arg(folder_, *why);
    return false;
  }
  // Checked and used through one descriptor: a folder swapped after the check changes
  // nothing, and a link in the folder's place is never followed.
  const int fd = open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    error_ = QStringLiteral("cannot use the lock folder %1: %2")
                 .arg(folder_, err == ELOOP || err == ENOTDIR ? QStringLiteral("not a folder")
                                                              : reason(err));
    return false;
  }
  struct stat st {};
  std::optional<QString> why = fstat(fd, &st) == 0 ? whyNotPrivate(st) : reason(errno);
  // A folder found is used as it is, or not at all: changing its mode could lock others
  // out of a folder that is theirs too (a shared XDG_RUNTIME_DIR). Only the folder made
  // here gets its mode, whatever the umask left of it.
  if (!why && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !created)
    why = QStringLiteral("group or others may write it");
  else if (!why && created && (st.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0)
    why = reason(errno);
  if (why) {
    error_ = QStringLiteral("cannot use the lock folder %1: %2").arg(folder_, *why);
    close(fd);
    return false;
  }
  folderFd_ = fd;
  return true;
}

SingleInstance::Result SingleInstance::acquire() {
  if (lockFd_ >= 0) return Result::Acquired;
  if (!openFolder()) return Result::Failed;
  // The lock takes no fsync and never writes: only the open file description counts.
  const int fd = openat(folderFd_, QFile::encodeName(name_ + ".lock").constData(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (fd < 0) {
    error_ = QStringLiteral("cannot open the lock file %1: %2").arg(lockPath(), reason(errno));
    return Result::Failed;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    if (err == EWOULDBLOCK) return Result::HeldByAnotherCopy;
    error_ = QStringLiteral("cannot lock %1: %2").arg(lockPath(), reason(err));
    return Result::Failed;
  }
  lockFd_ = fd;
  return Result::Acquired;
}

std::string SingleInstance::throughFolder(const QString& name) const {
  return "/proc/self/fd/" + std::to_string(folderFd_) + "/" + QFile::encodeName(name).toStdString();
}

bool SingleInstance::listenForShowRequests(std::function<void(const QByteArray&)> show) {
  if (lockFd_ < 0) {
    error_ = QStringLiteral("the single-copy lock is not held");
    return false;
  }
  std::string why;
  socketFd_ = bindShowRequestSocket(throughFolder(name_ + ".sock"), &why);
  if (socketFd_ < 0) {
    error_ =
        QStringLiteral("cannot listen on %1: %2").arg(socketPath(), QString::fromStdString(why));
    return false;
  }
  show_ = std::move(show);
  notifier_ = std::make_unique<QSocketNotifier>(socketFd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { takeRequests(); });
  return true;
}

void SingleInstance::takeRequests() {
  const std::vector<QByteArray> tokens = takeShowRequests(socketFd_);
  // Several starts in a row bring the window back once, with the newest token.
  if (!tokens.empty()) show_(tokens.back());
}

bool SingleInstance::askToShow(const QByteArray& activationToken) {
  if (!openFolder()) return false;
  std::string why;
  if (sendShowRequest(throughFolder(name_ + ".sock"), activationToken, &why)) return true;
  error_ = QStringLiteral("cannot send to %1: %2").arg(socketPath(), QString::fromStdString(why));
  return false;
}

}  // namespace tovanik
