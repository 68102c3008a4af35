// Cost of one presence check (a scan of /proc for an image name) at the machine's
// current process count, next to the floor it cannot beat: opening and reading
// /proc/PID/stat of every process and doing nothing with it.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/proc_table.h"

namespace {

bool isPidName(const char* name) {
  if (!*name) return false;
  for (; *name; ++name)
    if (*name < '0' || *name > '9') return false;
  return true;
}

// Reads every process's stat file once; returns how many could be read.
int readEveryStat() {
  DIR* proc = ::opendir("/proc");
  if (!proc) return 0;
  int read = 0;
  char buffer[1024];
  while (const dirent* entry = ::readdir(proc)) {
    if (!isPidName(entry->d_name)) continue;
    std::string path = std::string("/proc/") + entry->d_name + "/stat";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    if (::read(fd, buffer, sizeof buffer) > 0) ++read;
    ::close(fd);
  }
  ::closedir(proc);
  return read;
}

void PresenceCheck(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tovanik::findProcessesByImageName("t-server.exe"));
  state.counters["processes"] = readEveryStat();
}
BENCHMARK(PresenceCheck)->Unit(benchmark::kMicrosecond);

void BareStatLoop(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(readEveryStat());
  state.counters["processes"] = readEveryStat();
}
BENCHMARK(BareStatLoop)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
