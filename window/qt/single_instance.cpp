#include "window/qt/single_instance.h"

#include <QSocketNotifier>
#include <vector>

namespace tovanik {

SingleInstance::SingleInstance(Platform& platform, const QString& executablePath)
    : copy_(platform.singleCopy(executablePath.toStdString())) {}

SingleInstance::~SingleInstance() { notifier_.reset(); }

bool SingleInstance::listenForShowRequests(std::function<void(const QByteArray&)> show) {
  if (!copy_->listenForShowRequests()) return false;
  show_ = std::move(show);
  if (copy_->showRequestHandle() >= 0) {
    notifier_ =
        std::make_unique<QSocketNotifier>(copy_->showRequestHandle(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { takeRequests(); });
  }
  return true;
}

void SingleInstance::takeRequests() {
  const std::vector<std::string> tokens = copy_->takeShowRequests();
  // Several starts in a row bring the window back once, with the newest token.
  if (!tokens.empty()) show_(QByteArray::fromStdString(tokens.back()));
}

bool SingleInstance::askToShow(const QByteArray& activationToken) {
  return copy_->askToShow(activationToken.toStdString());
}

}  // namespace tovanik
