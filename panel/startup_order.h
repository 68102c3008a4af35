#pragma once
// The start-up, for both toolkits; each window supplies only the steps its toolkit takes.
// The copy that shows its window shows the settings before the window, and the load
// (startPHP, which launches the server) runs only once the first frame is on the screen,
// so the window never waits for the server's start. Should no frame be painted by the
// first tick (a window never exposed, or started minimised), the tick runs it.

#include <functional>

#include "panel/window_shell.h"

namespace tovanik {

class Panel;

class StartupOrder {
 public:
  StartupOrder(Panel& panel, WindowShell& shell) : panel_(panel), shell_(shell) {}

  // The copy that holds the single-copy lock: settings shown, the load put off until the
  // first frame, then `showWindow`.
  void firstCopy(const std::function<void()>& showWindow);
  // A later copy: `askFirstCopyToShow` brings the running copy's window back first, so
  // that nothing this copy loads delays it; then the whole launch attempt (it starts the
  // server when the first copy had stopped it). Its own window never shows.
  void secondCopy(const std::function<void()>& askFirstCopyToShow);

  // Settings and address shown, nothing launched yet.
  void showSettings();
  // The window's load: startPHP at once.
  void load();
  void loadAfterFirstPaint() { pending_ = true; }
  // A frame was painted: true when the load waits for it. The window then runs
  // loadIfPending as soon as its event loop is free, after the frame has reached the
  // screen (a zero-delay timer, a posted message).
  bool framePainted() const { return pending_; }
  void loadIfPending();
  // The one-second tick: a load still pending, then the status monitor.
  void tick();

 private:
  Panel& panel_;
  WindowShell& shell_;
  bool pending_ = false;
};

}  // namespace tovanik
