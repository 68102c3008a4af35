#include <cstdio>

#include "bench/bench.h"
#include "panel/layout.h"
#include "tests/support/test_support.h"

namespace tovanik::bench {

std::vector<std::string> Setup::textWindow(std::vector<std::string> at) const {
  std::vector<std::string> argv{tools + "/text_window", std::to_string(port), root};
  argv.insert(argv.end(), at.begin(), at.end());
  return argv;
}

void sample(const std::string& series, double value) {
  std::printf("%s %.6g\n", series.c_str(), value);
  std::fflush(stdout);
}

int fail(const std::string& message) {
  std::fprintf(stderr, "tovanik-bench: %s\n", message.c_str());
  return 1;
}

std::optional<Shown> startShown(XDisplay& x, const std::vector<std::string>& argv) {
  x.arm();
  const auto start = Clock::now();
  Shown shown;
  shown.pid = spawn(argv);
  if (shown.pid < 0) {
    fail("cannot start " + argv[0]);
    return std::nullopt;
  }
  const auto window = x.waitFirstFrame(start + std::chrono::seconds(30));
  shown.ms = msSince(start);
  shown.cpuMs = static_cast<double>(cpuNs(shown.pid).value_or(0)) / 1e6;
  if (!window) {
    fail(argv[0] + " showed no frame within 30 s");
    waitExit(shown.pid, std::chrono::milliseconds(0));
    return std::nullopt;
  }
  shown.window = *window;
  return shown;
}

bool closeByClick(XDisplay& x, const Shown& shown, const std::string& name) {
  const Point close = centreOf(index(Ctl::lblClose));
  x.click(shown.window, close.x, close.y);
  const auto code = waitExit(shown.pid, std::chrono::seconds(10));
  if (code == 0) return true;
  fail(name + (code ? " exited with status " + std::to_string(*code)
                    : " did not exit within 10 s of the click on its close label"));
  return false;
}

Point centreOf(int control) {
  const ControlDesign& s = kLayout[control];
  return {(s.a + s.c / 2) / kTwipsPerPixel, (s.b + s.d / 2) / kTwipsPerPixel};
}

bool stopServer(const Setup& s) {
  if (run(s.ctl("stop")) == 0) return true;
  fail("tovanikctl stop failed");
  return false;
}

bool startServer(const Setup& s) {
  if (run(s.ctl("start")) == 0) return true;
  fail("tovanikctl start failed");
  return false;
}

std::optional<double> waitHttp200(int port, Clock::time_point start) {
  const auto deadline = start + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    if (test::httpStatus(port) == 200) return msSince(start);
    sleepMs(1);
  }
  return std::nullopt;
}

}  // namespace tovanik::bench
