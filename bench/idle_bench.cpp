// Idle CPU with a server running: the panel and the text window side by side for the
// same interval, read from /proc/PID/schedstat (nanoseconds on a CPU) every few seconds,
// with the server's own use for reference.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bench/bench.h"

namespace tovanik::bench {
namespace {

constexpr int kIntervalMs = 3000;
// System calls are counted over this many seconds at a time (the tick runs once a
// second), alternating panel and text window, this many times each.
constexpr int kTraceSeconds = 5;
constexpr int kTraces = 4;

double percentOfCore(std::uint64_t ns, double ms) { return 100.0 * ns / (ms * 1e6); }

// System calls per second of every thread of `pid`, counted by strace for kTraceSeconds;
// nullopt when strace could not count.
std::optional<double> syscallsPerSecond(pid_t pid, const std::string& scratch) {
  const std::string command = "timeout -s INT " + std::to_string(kTraceSeconds) +
                              " strace -q -c -f -p " + std::to_string(pid) + " -o " + scratch +
                              " >/dev/null 2>&1";
  std::remove(scratch.c_str());
  if (std::system(command.c_str()) == -1) return std::nullopt;
  std::ifstream in(scratch);
  if (!in) return std::nullopt;
  std::string line;
  // A window that made no call at all gets a summary without a "total" line.
  double calls = 0;
  while (std::getline(in, line)) {
    // "100.00    0.000123           4        30         2 total": calls is the 4th field.
    if (line.find(" total") == std::string::npos) continue;
    std::istringstream fields(line);
    double percent = 0, seconds = 0, usecs = 0;
    if (!(fields >> percent >> seconds >> usecs >> calls)) return std::nullopt;
  }
  return calls / kTraceSeconds;
}

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
  // What one tick costs in system calls, against a window that has no tick at all.
  const std::string scratch = "/tmp/tovanik-bench-strace-" + std::to_string(::getpid());
  for (int i = 0; i < kTraces; ++i) {
    for (int which = 0; which < 2; ++which) {
      const auto calls = syscallsPerSecond(pids[which], scratch);
      if (!calls)
        return fail("strace could not count the system calls of the " + std::string(names[which]));
      sample(std::string("syscalls_") + names[which] + "_" + s.tag, *calls);
    }
  }
  std::remove(scratch.c_str());
  const bool closed = closeByClick(x, *panel, "panel") && closeByClick(x, *text, "text window");
  return closed && stopServer(s) ? 0 : 1;
}

}  // namespace tovanik::bench
