// Idle CPU with a server running: the panel and the text window side by side for the
// same interval, read from /proc/PID/schedstat (nanoseconds on a CPU) every few seconds,
// with the server's own use for reference.
#include "bench/bench.h"

namespace tovanik::bench {
namespace {

constexpr int kIntervalMs = 3000;

double percentOfCore(std::uint64_t ns, double ms) { return 100.0 * ns / (ms * 1e6); }

}  // namespace

int idleBench(const Setup& s) {
  XDisplay x;
  if (!startServer(s)) return 1;
  const auto panel = startShown(x, s.panel());
  if (!panel) return 1;
  const auto text = startShown(x, s.textWindow({"16", "16"}));
  if (!text) return 1;
  const auto servers = pidsByComm(s.exe);
  if (servers.size() != 1) return fail("expected one server process named " + s.exe);
  const pid_t pids[] = {panel->pid, text->pid, servers[0]};
  const char* names[] = {"panel", "text", "server"};
  sleepMs(2000);  // past the start-up's own work

  std::uint64_t first[3], before[3];
  for (int i = 0; i < 3; ++i) first[i] = before[i] = cpuNs(pids[i]).value_or(0);
  const auto start = Clock::now();
  for (int elapsed = 0; elapsed < s.seconds * 1000; elapsed += kIntervalMs) {
    const auto intervalStart = Clock::now();
    sleepMs(kIntervalMs);
    const double ms = msSince(intervalStart);
    for (int i = 0; i < 3; ++i) {
      const auto now = cpuNs(pids[i]);
      if (!now) return fail(std::string(names[i]) + " ended while idle");
      sample(std::string("idle_") + names[i] + "_" + s.tag, percentOfCore(*now - before[i], ms));
      before[i] = *now;
    }
  }
  const double total = msSince(start);
  for (int i = 0; i < 3; ++i)
    sample(std::string("idletotal_") + names[i] + "_" + s.tag,
           percentOfCore(before[i] - first[i], total));
  sample("procs_" + s.tag, processCount());
  const bool closed = closeByClick(x, *panel, "panel") && closeByClick(x, *text, "text window");
  return closed && stopServer(s) ? 0 : 1;
}

}  // namespace tovanik::bench
