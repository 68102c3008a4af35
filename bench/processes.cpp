#include "bench/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace tovanik::bench {

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

pid_t spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const char* log = std::getenv("TOVANIK_BENCH_LOG");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log && *log ? log : "/dev/null",
                                   O_WRONLY | O_APPEND | O_CREAT, 0600);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::optional<int> exited(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) != pid) return std::nullopt;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::optional<int> waitExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (auto code = exited(pid)) return code;
    if (Clock::now() > deadline) break;
    sleepMs(2);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return std::nullopt;
}

std::optional<int> run(const std::vector<std::string>& argv) {
  const pid_t pid = spawn(argv);
  if (pid < 0) return std::nullopt;
  return waitExit(pid, std::chrono::seconds(20));
}

long rssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  long value = 0;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> value;
      return value;
    }
    in.ignore(1 << 16, '\n');
  }
  return 0;
}

std::optional<std::uint64_t> cpuNs(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (!dir) return std::nullopt;
  std::uint64_t total = 0;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream in(tasks + "/" + e->d_name + "/schedstat");
    std::uint64_t ns = 0;
    if (in >> ns) total += ns;
  }
  closedir(dir);
  return total;
}

namespace {

bool isPid(const char* name) {
  if (!*name) return false;
  for (; *name; ++name)
    if (*name < '0' || *name > '9') return false;
  return true;
}

}  // namespace

int processCount() {
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  int count = 0;
  while (const dirent* e = readdir(proc)) count += isPid(e->d_name);
  closedir(proc);
  return count;
}

std::vector<pid_t> pidsByComm(const std::string& name) {
  std::vector<pid_t> pids;
  DIR* proc = opendir("/proc");
  if (!proc) return pids;
  const std::string want = name.substr(0, 15);
  while (const dirent* e = readdir(proc)) {
    if (!isPid(e->d_name)) continue;
    std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
    std::string stat;
    std::getline(in, stat);
    // "PID (COMM) STATE ...": a COMM may hold blanks and parentheses; the state follows
    // the last ')'. An ended process that nobody has reaped yet does not count.
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size())
      continue;
    const char state = stat[close + 2];
    if (stat.compare(open + 1, close - open - 1, want) == 0 && state != 'Z' && state != 'X')
      pids.push_back(std::atoi(e->d_name));
  }
  closedir(proc);
  return pids;
}

}  // namespace tovanik::bench
