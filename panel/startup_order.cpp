#include "panel/startup_order.h"

#include "panel/panel.h"

namespace tovanik {

void StartupOrder::firstCopy(const std::function<void()>& showWindow) {
  showSettings();
  loadAfterFirstPaint();
  showWindow();
}

void StartupOrder::secondCopy(const std::function<void()>& askFirstCopyToShow) {
  askFirstCopyToShow();
  load();
}

void StartupOrder::showSettings() {
  panel_.loadConfig();
  panel_.showURL();
  shell_.sync();
}

void StartupOrder::load() {
  panel_.startPHP();
  shell_.sync();
}

void StartupOrder::loadIfPending() {
  if (!pending_) return;
  pending_ = false;
  shell_.firstFrameShown();
  load();
}

void StartupOrder::tick() {
  loadIfPending();
  panel_.statusTick();
  shell_.sync();
}

}  // namespace tovanik
