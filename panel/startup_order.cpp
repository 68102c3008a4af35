#include "panel/startup_order.h"

#include "panel/panel.h"

namespace tovanik {

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
