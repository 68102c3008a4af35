#include "window/qt/desktop_platform.h"

#include <QDesktopServices>
#include <QFile>
#include <QString>
#include <QUrl>

namespace tovanik {

bool DesktopPlatform::openUrl(const std::string& url) {
  return QDesktopServices::openUrl(
      QUrl(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size()))));
}

bool DesktopPlatform::openTextFile(const std::string& path) { return openLocal(path); }

bool DesktopPlatform::openFolder(const std::string& path) { return openLocal(path); }

bool DesktopPlatform::openLocal(const std::string& path) {
  const QString localPath =
      QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
  return QDesktopServices::openUrl(QUrl::fromLocalFile(localPath));
}

}  // namespace tovanik
