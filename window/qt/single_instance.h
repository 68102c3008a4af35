#pragma once
// The panel's single copy in Qt's event loop: the platform's SingleCopy (the lock, and the
// way a later copy asks to be shown; see platform/single_copy.h), with its show requests
// delivered by the event loop.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

#include "platform/platform.h"

class QSocketNotifier;

namespace tovanik {

class SingleInstance {
 public:
  SingleInstance(Platform& platform, const QString& executablePath);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  using Result = SingleCopy::Result;
  Result acquire() { return copy_->acquire(); }

  // For the copy that holds the lock: from now on the event loop calls `show` whenever a
  // later copy asks, with the activation token that copy was started with (empty when it
  // had none). The request channel is watched by the event loop: no thread, no timer.
  // Needs a QCoreApplication. False, with the reason in error(), when it cannot be opened.
  bool listenForShowRequests(std::function<void(const QByteArray& activationToken)> show);
  // For a copy that found the lock held: asks the holder to show its window, passing on
  // the token the desktop gave this start, without which the compositor may refuse the
  // window the focus. False, with the reason in error(), when the request cannot be sent.
  bool askToShow(const QByteArray& activationToken);

  // What failed and why, in one line.
  QString error() const { return QString::fromStdString(copy_->error()); }

 private:
  void takeRequests();

  std::unique_ptr<SingleCopy> copy_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void(const QByteArray&)> show_;
};

}  // namespace tovanik
