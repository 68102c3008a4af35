#pragma once
// Starting, timing and ending the programs under measurement, and what /proc says about
// them: resident memory, CPU time in nanoseconds, the machine's process count.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovanik::bench {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start);
void sleepMs(int ms);

// Starts argv[0] (searched on PATH) as a child of ours, stdout to
// /dev/null and stderr appended to $TOVANIK_BENCH_LOG (or /dev/null). -1 on failure.
pid_t spawn(const std::vector<std::string>& argv);

// The child's exit code once it has ended, nullopt while it runs; a child ended by a
// signal reports 128 + the signal.
std::optional<int> exited(pid_t pid);

// Waits up to `timeout` for the child to end. A child still running then is killed and
// reported as nullopt: it did not end cleanly.
std::optional<int> waitExit(pid_t pid, std::chrono::milliseconds timeout);

// Runs argv to its end (at most 20 s); its exit code, or nullopt when it hung or could
// not start.
std::optional<int> run(const std::vector<std::string>& argv);

// VmRSS of /proc/PID/status in KiB; 0 when unreadable.
long rssKiB(pid_t pid);

// Time all threads of the process spent on a CPU, in nanoseconds: the first field of
// /proc/PID/task/*/schedstat, summed (threads that have ended are not counted).
std::optional<std::uint64_t> cpuNs(pid_t pid);

// Number of processes in /proc.
int processCount();

// PIDs of live processes (not zombies) whose comm is the first 15 bytes of `name`.
std::vector<pid_t> pidsByComm(const std::string& name);

}  // namespace tovanik::bench
