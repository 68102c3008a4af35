// Server launch: from a click on the panel's switch, from `tovanikctl start` and from
// `php -S` started directly, each to the first HTTP 200 of the served folder, one after
// the other in every round. `tovanikctl start` is also timed to its return.
#include <signal.h>

#include "bench/bench.h"
#include "panel/layout.h"
#include "tests/support/test_support.h"

namespace tovanik::bench {
namespace {

// True once the panel shows the server as stopped: its "off" disc is drawn.
bool showsStopped(XDisplay& x, XWindow panel) {
  const Point off = centreOf(index(Ctl::shapeOff));
  return x.pixel(panel, off.x, off.y) == 0xF0F0F0;
}

// Stops the server and waits until the panel has seen it stopped: a full status tick
// (one second) must pass, so that a tick that saw the server running is not the last.
bool stopAndSettle(const Setup& s, XDisplay& x, XWindow panel) {
  if (!stopServer(s)) return false;
  sleepMs(1100);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!showsStopped(x, panel)) {
    if (Clock::now() > deadline) {
      fail("the panel does not show the server stopped");
      return false;
    }
    sleepMs(20);
  }
  return true;
}

std::optional<double> clickToHttp200(const Setup& s, XDisplay& x, XWindow panel) {
  const Point sw = centreOf(index(Ctl::lblStartStop));
  const auto start = Clock::now();
  x.click(panel, sw.x, sw.y);
  return waitHttp200(s.port, start);
}

// `tovanikctl start`: milliseconds to the first 200 and to its return with status 0.
std::optional<std::pair<double, double>> ctlStart(const Setup& s) {
  const auto start = Clock::now();
  const pid_t pid = spawn(s.ctl("start"));
  if (pid < 0) return std::nullopt;
  std::optional<double> answered, returned;
  const auto deadline = start + std::chrono::seconds(10);
  while (!answered || !returned) {
    if (!answered && test::httpStatus(s.port) == 200) answered = msSince(start);
    if (!returned) {
      if (auto code = exited(pid)) {
        if (*code != 0) {
          fail("tovanikctl start exited with status " + std::to_string(*code));
          return std::nullopt;
        }
        returned = msSince(start);
      }
    }
    if (Clock::now() > deadline) {
      waitExit(pid, std::chrono::milliseconds(0));
      return std::nullopt;
    }
    sleepMs(1);
  }
  return std::make_pair(*answered, *returned);
}

std::optional<double> phpToHttp200(const Setup& s) {
  const auto start = Clock::now();
  const pid_t pid = spawn({test::phpBinary(), "-S", "0.0.0.0:" + std::to_string(s.port), "-t",
                           s.folder + "/" + s.root});
  if (pid < 0) return std::nullopt;
  const auto ms = waitHttp200(s.port, start);
  kill(pid, SIGTERM);  // php -S has nothing to save; SIGTERM is its ordinary end
  const auto code = waitExit(pid, std::chrono::seconds(10));
  if (code != 128 + SIGTERM && code != 0) {
    fail("php -S did not end on SIGTERM");
    return std::nullopt;
  }
  return ms;
}

}  // namespace

int launchBench(const Setup& s) {
  XDisplay x;
  if (!stopServer(s)) return 1;
  const auto panel = startShown(x, s.panel());
  if (!panel) return 1;
  // The panel launched its server as it started.
  if (!waitHttp200(s.port, Clock::now())) return fail("the panel's server never answered");
  if (!stopAndSettle(s, x, panel->window)) return 1;
  for (int round = -1; round < s.rounds; ++round) {
    const auto clicked = clickToHttp200(s, x, panel->window);
    if (!clicked) return fail("no answer after a click on the switch");
    if (!stopAndSettle(s, x, panel->window)) return 1;

    const auto ctl = ctlStart(s);
    if (!ctl) return fail("tovanikctl start gave no answer");
    if (!stopAndSettle(s, x, panel->window)) return 1;

    const auto php = phpToHttp200(s);
    if (!php) return fail("php -S gave no answer");

    if (round < 0) continue;
    sample("click200", *clicked);
    sample("ctl200", ctl->first);
    sample("ctlreturn", ctl->second);
    sample("php200", *php);
  }
  return closeByClick(x, *panel, "panel") && stopServer(s) ? 0 : 1;
}

}  // namespace tovanik::bench
