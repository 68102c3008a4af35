#pragma once
// A Platform for unit tests: it starts, finds and kills nothing real. It records every
// request, in order, and plays a tiny process table of names so that a start, a check
// and a stop interact as they would on a real machine.

#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/path_text.h"
#include "platform/platform.h"

namespace tovanik {

class FakePlatform final : public Platform {
 public:
  // Behaviour the test sets up.
  std::string program_folder_;
  std::set<std::string> running_names_;   // as started; matched ASCII case-insensitively
  bool launch_succeeds_ = true;           // whether launchDetached starts anything
  bool launch_starts_ = true;             // a successful launch adds the started name
  bool kill_stops_ = true;                // a kill removes every matching name
  std::map<int, PortUse> ports_;          // who listens where
  std::map<int, ProcessInfo> processes_;  // what processInfo tells
  std::optional<std::string> untrusted_;  // what untrustedPath answers

  // What was asked.
  std::vector<std::pair<std::vector<std::string>, ConsoleMode>> launches_;
  std::vector<std::string> launch_logs_;  // the output log of each launch
  std::vector<std::string> kills_, opened_urls_, opened_paths_;
  std::vector<ServerImage> finds_;
  std::vector<int> sleeps_, killed_launches_;
  // "launch", "find:NAME", "kill:NAME", "sleep:MS", "openUrl:URL", "openText:PATH",
  // "openFolder:PATH", "killLaunched:PID".
  std::vector<std::string> calls_;

  static bool sameName(const std::string& a, const std::string& b) {
    return equalAsciiCaseless(a, b);
  }

  std::string programFolder() const override { return program_folder_; }
  std::string absolutePath(const std::string& path) const override {
    return path.starts_with(kPathSeparator) ? path : joinPath(joinPath("", "cwd"), path);
  }

  // The name a launch adds is the base name of argv[0], the server's path, in both
  // console modes: the terminal wrapping of a shown launch happens inside the real
  // platform, so argv[0] is always what would appear in the process table.
  int launchDetached(const std::vector<std::string>& argv, ConsoleMode mode,
                     const std::string& outputLog) override {
    calls_.push_back("launch");
    launches_.emplace_back(argv, mode);
    launch_logs_.push_back(outputLog);
    if (!launch_succeeds_) return 0;
    if (launch_starts_ && !argv.empty()) {
      const std::string& path = argv.front();
      running_names_.insert(path.substr(path.rfind(kPathSeparator) + 1));  // npos + 1 == 0
    }
    return 1;  // a made-up PID, as findProcesses uses
  }

  // One made-up pid (1) when any running name matches, as a real scan would list one.
  std::vector<int> findProcesses(const ServerImage& image) override {
    calls_.push_back("find:" + image.imageName);
    finds_.push_back(image);
    for (const std::string& name : running_names_)
      if (!image.imageName.empty() && sameName(name, image.imageName)) return {1};
    return {};
  }

  int killProcesses(const ServerImage& image) override {
    calls_.push_back("kill:" + image.imageName);
    kills_.push_back(image.imageName);
    int matched = 0;
    for (auto it = running_names_.begin(); it != running_names_.end();) {
      bool matches = !image.imageName.empty() && sameName(*it, image.imageName);
      matched += matches ? 1 : 0;
      it = (matches && kill_stops_) ? running_names_.erase(it) : std::next(it);
    }
    return matched;  // signalled, whether or not they end
  }

  bool killLaunched(int pid) override {
    calls_.push_back("killLaunched:" + std::to_string(pid));
    killed_launches_.push_back(pid);
    return true;
  }
  bool isLiveProcess(int pid) override { return pid == 1 && !running_names_.empty(); }
  std::optional<ProcessInfo> processInfo(int pid) override {
    auto it = processes_.find(pid);
    if (it == processes_.end()) return std::nullopt;
    return it->second;
  }
  PortUse portUse(int port, const std::vector<int>&) override { return ports_[port]; }
  std::optional<bool> portListening(int port) override { return ports_[port].listening; }
  std::optional<std::string> untrustedPath(const std::vector<std::string>&) override {
    return untrusted_;
  }

  bool openUrl(const std::string& url) override {
    calls_.push_back("openUrl:" + url);
    opened_urls_.push_back(url);
    return true;
  }
  bool openTextFile(const std::string& path) override {
    calls_.push_back("openText:" + path);
    opened_paths_.push_back(path);
    return true;
  }
  bool openFolder(const std::string& path) override {
    calls_.push_back("openFolder:" + path);
    opened_paths_.push_back(path);
    return true;
  }

  // A virtual clock: it moves only when something sleeps, or when a test moves it.
  Clock::time_point now_{};
  Clock::time_point now() override { return now_; }
  void advanceMs(int milliseconds) { now_ += std::chrono::milliseconds(milliseconds); }

  void sleepMs(int milliseconds) override {
    calls_.push_back("sleep:" + std::to_string(milliseconds));
    sleeps_.push_back(milliseconds);
    advanceMs(milliseconds);
  }
};

}  // namespace tovanik
