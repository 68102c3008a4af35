// Start-up and memory: the panel, the text window and the bare window, one after the
// other in every round. Each is started, timed to its first frame (wall clock, and the
// CPU time it used by then, which a loaded machine disturbs less), left idle, measured
// and closed by a click; the panel's server is stopped after each panel, so that every
// panel start includes its server's launch.
#include "bench/bench.h"

namespace tovanik::bench {
namespace {

// Idle time between the first frame and the memory reading.
constexpr int kSettleMs = 2000;

}  // namespace

int startupBench(const Setup& s) {
  XDisplay x;
  struct Program {
    std::string name;
    std::vector<std::string> argv;
  };
  const Program programs[] = {
      {"panel", s.panel()}, {"text", s.textWindow()}, {"bare", s.bareWindow()}};
  if (!stopServer(s)) return 1;
  for (int round = -1; round < s.rounds; ++round) {  // round -1 warms the caches up
    for (const Program& p : programs) {
      const auto shown = startShown(x, p.argv);
      if (!shown) return 1;
      sleepMs(kSettleMs);
      const long rss = rssKiB(shown->pid);
      if (!closeByClick(x, *shown, p.name)) return 1;
      if (p.name == "panel" && !stopServer(s)) return 1;
      if (round < 0) continue;
      sample("frame_" + p.name, shown->ms);
      sample("framecpu_" + p.name, shown->cpuMs);
      sample("rss_" + p.name, static_cast<double>(rss) / 1024.0);
    }
  }
  return 0;
}

}  // namespace tovanik::bench
