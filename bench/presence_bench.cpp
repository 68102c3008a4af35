// The presence check the panel runs every second (anyProcess), with the server running
// and for a server that is stopped (a name nothing runs under: every call scans the whole
// table), and the full scan (findProcesses), against the floor of any scan of the process table (a bare loop
// reading /proc/PID/comm of every process), and
// `tovanikctl status` against `pgrep -x`: each pair alternating call by call, with the
// server running.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "bench/bench.h"
#include "platform/linux/linux_platform.h"

namespace tovanik::bench {
namespace {

// PIDs whose comm equals `comm`: one directory read and one open, read and close per
// process, relative to a descriptor of /proc.
std::vector<int> bareCommLoop(const std::string& comm) {
  std::vector<int> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  const int dir = dirfd(proc);
  char path[300], text[32];
  while (const dirent* e = readdir(proc)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
    std::snprintf(path, sizeof path, "%s/comm", e->d_name);
    const int fd = openat(dir, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    const ssize_t n = read(fd, text, sizeof text);
    close(fd);
    if (n > 0 && static_cast<size_t>(n - 1) == comm.size() &&
        std::memcmp(text, comm.data(), n - 1) == 0)
      found.push_back(std::atoi(e->d_name));
  }
  closedir(proc);
  return found;
}

double usSince(Clock::time_point start) { return msSince(start) * 1000.0; }

}  // namespace

int presenceBench(const Setup& s) {
  if (!startServer(s)) return 1;
  // One platform for the whole run, as the panel keeps one: the tick's check may start
  // from what the previous call found.
  LinuxPlatform platform;
  // The stopped server's check has a platform of its own, as another panel would.
  LinuxPlatform stoppedPlatform;
  const std::string stopped = "stopped-" + s.exe;
  const std::string comm = s.exe.substr(0, 15);
  const int calls = s.rounds * 10;
  for (int i = -20; i < calls; ++i) {
    auto start = Clock::now();
    const bool present = platform.anyProcess(s.exe);
    const double tick = usSince(start);
    start = Clock::now();
    const bool stoppedFound = stoppedPlatform.anyProcess(stopped);
    const double stoppedTick = usSince(start);
    start = Clock::now();
    const auto found = platform.findProcesses(s.exe);
    const double scan = usSince(start);
    start = Clock::now();
    const auto bare = bareCommLoop(comm);
    const double loop = usSince(start);
    // The bare loop also sees a stopped server that init has yet to reap.
    if (!present || found.empty() || bare.empty())
      return fail("the presence check, the full scan or the bare loop missed the server");
    if (stoppedFound) return fail("the presence check found a server that does not run");
    if (i < 0) continue;
    sample("presence_" + s.tag, tick);
    sample("stopped_" + s.tag, stoppedTick);
    sample("scan_" + s.tag, scan);
    sample("comm_" + s.tag, loop);
  }
  sample("procs_" + s.tag, processCount());
  return stopServer(s) ? 0 : 1;
}

int statusBench(const Setup& s) {
  if (!startServer(s)) return 1;
  const int calls = s.rounds * 5;
  for (int i = -5; i < calls; ++i) {
    auto start = Clock::now();
    const auto status = run(s.ctl("status"));
    const double ctl = msSince(start);
    start = Clock::now();
    const auto pgrep = run({"pgrep", "-x", s.exe});
    const double floor = msSince(start);
    if (status != 0 || pgrep != 0)
      return fail("tovanikctl status or pgrep -x did not find the server");
    if (i < 0) continue;
    sample("status", ctl);
    sample("pgrep", floor);
  }
  return stopServer(s) ? 0 : 1;
}

}  // namespace tovanik::bench
