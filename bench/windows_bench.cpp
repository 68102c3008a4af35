// The Windows rows of bench/run.sh, measured from the Linux side while the programs run
// under Wine on the benchmark's virtual display: first frame, memory, idle CPU of the
// panel against the bare window (bench/windows/bare_window.cpp), and `tovanikctl.exe
// status` against a bare toolhelp lookup and against that lookup with the port's two
// listener tables (bench/windows/toolhelp_lookup.cpp). The programs compared take turns,
// A, B, A, B (status: A, B, C), after a warm-up round. Built by run.sh on its own (X libraries
// only), so the Windows rows need no Linux build of the panel.
//
// Usage: tovanik-winbench startup|status|idle WINDOWS_FOLDER TOOLS EXE PORT ROUNDS SECONDS
//   WINDOWS_FOLDER: the laid-out program folder (tovanik-webserver.exe, tovanikctl.exe,
//   php\EXE the stand-in server, serving PORT); TOOLS: the folder of the baselines.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/processes.h"
#include "bench/x_display.h"

namespace tovanik::bench {
namespace {

// Idle time between the first frame and the memory reading.
constexpr int kSettleMs = 2000;
// The panel's close label at 96 dpi (the bare window closes at any click).
constexpr int kCloseX = 288, kCloseY = 16;

void sample(const std::string& series, double value) {
  std::printf("%s %g\n", series.c_str(), value);
}

int fail(const std::string& message) {
  std::fprintf(stderr, "tovanik-winbench: %s\n", message.c_str());
  return 1;
}

// A field of /proc/PID/smaps_rollup ("Pss:", "Rss:") in KiB; 0 when unreadable.
long rollupKiB(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size()));
  return 0;
}

struct Args {
  std::string folder, tools, exe, port;
  int rounds = 15, seconds = 120;
  std::vector<std::string> wine(const std::string& program) const { return {"wine", program}; }
  std::string panel() const { return folder + "/tovanik-webserver.exe"; }
  std::string bare() const { return tools + "/bare_window_win32.exe"; }
  std::vector<std::string> ctl(const std::string& command) const {
    return {"wine", folder + "/tovanikctl.exe", command};
  }
};

bool closeByClick(XDisplay& x, XWindow window, pid_t pid, const std::string& name) {
  x.click(window, kCloseX, kCloseY);
  if (waitExit(pid, std::chrono::seconds(10)) == 0) return true;
  fail(name + " did not exit cleanly within 10 s of the click");
  return false;
}

int startup(const Args& a) {
  XDisplay x;
  if (run(a.ctl("stop")) != 0) return fail("tovanikctl.exe stop failed");
  for (int round = -1; round < a.rounds; ++round) {
    for (const std::string name : {"panel", "bare"}) {
      // Each window opens with nobody pointing at it: the pointer would otherwise rest on
      // the close label the last round clicked, and the panel, unlike the bare window,
      // answers a pointer over it (the label's colour, its tooltip).
      x.parkPointer();
      x.arm();
      const auto start = Clock::now();
      const pid_t pid = spawn(a.wine(name == "panel" ? a.panel() : a.bare()));
      if (pid < 0) return fail("cannot start wine");
      const auto window = x.waitFirstFrame(start + std::chrono::seconds(30));
      const double ms = msSince(start);
      // CPU time of all its threads by then: disturbed far less by other load.
      const double cpuMs = static_cast<double>(cpuNs(pid).value_or(0)) / 1e6;
      if (!window) return fail(name + " showed no frame within 30 s");
      sleepMs(kSettleMs);
      const long pss = rollupKiB(pid, "Pss:"), rss = rollupKiB(pid, "Rss:");
      if (!closeByClick(x, *window, pid, name)) return 1;
      if (name == "panel" && run(a.ctl("stop")) != 0) return fail("tovanikctl.exe stop failed");
      if (round < 0) continue;
      sample("wframe_" + name, ms);
      sample("wframecpu_" + name, cpuMs);
      sample("wpss_" + name, static_cast<double>(pss) / 1024.0);
      sample("wrss_" + name, static_cast<double>(rss) / 1024.0);
    }
  }
  return 0;
}

int status(const Args& a) {
  if (run(a.ctl("start")) != 0) return fail("tovanikctl.exe start failed");
  const std::vector<std::string> lookup = {"wine", a.tools + "/toolhelp_lookup.exe", a.exe};
  std::vector<std::string> lookupAndPort = lookup;
  lookupAndPort.push_back(a.port);
  for (int round = -1; round < a.rounds; ++round) {
    auto start = Clock::now();
    if (run(a.ctl("status")) != 0) return fail("tovanikctl.exe status did not say running");
    const double ctlMs = msSince(start);
    start = Clock::now();
    if (run(lookup) != 0) return fail("the toolhelp lookup found no server");
    const double lookupMs = msSince(start);
    start = Clock::now();
    if (run(lookupAndPort) != 0) return fail("the lookup with the port tables failed");
    const double lookupAndPortMs = msSince(start);
    if (round < 0) continue;
    sample("wstatus", ctlMs);
    sample("wlookup", lookupMs);
    sample("wlookupport", lookupAndPortMs);
  }
  return run(a.ctl("stop")) == 0 ? 0 : fail("tovanikctl.exe stop failed");
}

// This prefix's Wine server, found when asked: one that has no client for a few seconds
// ends, and the next program starts another. -1 when none runs.
pid_t wineServer() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix) return -1;
  const std::string wanted = std::string("WINEPREFIX=") + prefix;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string pid = entry.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (!std::getline(comm, name) || name.rfind("wineserver", 0) != 0) continue;
    std::ifstream environ(entry.path() / "environ");
    for (std::string variable; std::getline(environ, variable, '\0');)
      if (variable == wanted) return static_cast<pid_t>(std::stol(pid));
  }
  return -1;
}

// CPU time in milliseconds of all a process's threads (the scheduler's count, in
// nanoseconds, not the 10 ms ticks of /proc/PID/stat); -1 when it is gone.
double cpuMs(pid_t pid) {
  const auto ns = pid > 0 ? cpuNs(pid) : std::nullopt;
  return ns ? static_cast<double>(*ns) / 1e6 : -1;
}

// The Wine server's CPU time since `before`, or -1 when another server serves the prefix now.
double wineServerMs(pid_t server, double before) {
  return server > 0 && wineServer() == server ? cpuMs(server) - before : -1;
}

// Both windows open side by side for the whole time, the panel's server running: CPU
// ticks of each, and of the Wine server they share; first, over as long, the Wine server's
// ticks with the server running and no window of ours, to read its figure against.
int idle(const Args& a) {
  if (run(a.ctl("start")) != 0) return fail("tovanikctl.exe start failed");
  sleepMs(5000);
  pid_t server = wineServer();
  double serverBefore = cpuMs(server);
  sleepMs(a.seconds * 1000);
  sample("widle_wineserver_alone", wineServerMs(server, serverBefore));
  XDisplay x;
  std::vector<std::pair<std::string, pid_t>> shown;
  std::vector<XWindow> windows;
  for (const std::string name : {"panel", "bare"}) {
    x.arm();
    const pid_t pid = spawn(a.wine(name == "panel" ? a.panel() : a.bare()));
    const auto window = x.waitFirstFrame(Clock::now() + std::chrono::seconds(30));
    if (pid < 0 || !window) return fail(name + " showed no frame within 30 s");
    shown.emplace_back(name, pid);
    windows.push_back(*window);
  }
  sleepMs(5000);  // the launch and its first ticks are not idle
  std::vector<double> before;
  for (const auto& [name, pid] : shown) before.push_back(cpuMs(pid));
  server = wineServer();
  serverBefore = cpuMs(server);
  sleepMs(a.seconds * 1000);
  for (std::size_t i = 0; i < shown.size(); ++i)
    sample("widle_" + shown[i].first, cpuMs(shown[i].second) - before[i]);
  sample("widle_wineserver", wineServerMs(server, serverBefore));
  // The bare window, started last, lies on top: closed first.
  for (std::size_t i = shown.size(); i-- > 0;)
    if (!closeByClick(x, windows[i], shown[i].second, shown[i].first)) return 1;
  return run(a.ctl("stop")) == 0 ? 0 : fail("tovanikctl.exe stop failed");
}

}  // namespace
}  // namespace tovanik::bench

int main(int argc, char** argv) {
  using namespace tovanik::bench;
  if (argc != 8)
    return fail("usage: tovanik-winbench startup|status|idle FOLDER TOOLS EXE PORT ROUNDS SECONDS");
  Args a{argv[2], argv[3], argv[4], argv[5], std::stoi(argv[6]), std::stoi(argv[7])};
  const std::string what = argv[1];
  if (what == "startup") return startup(a);
  if (what == "status") return status(a);
  if (what == "idle") return idle(a);
  return fail("unknown measurement " + what);
}
