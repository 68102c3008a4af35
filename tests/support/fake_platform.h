#pragma once
// A Platform for unit tests: it starts, finds and kills nothing real. It records what was
// launched, killed and opened (tests assert outcomes, not the order of calls), and plays a
// tiny process table of names so that a start, a check and a stop interact as they would
// on a real machine. For the start and stop scenarios it also plays a table of processes
// with PIDs, parents, groups, users and ports that live, listen and die on its virtual
// clock (table_ below).

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/file_store.h"
#include "platform/path_text.h"
#include "platform/platform.h"
#include "tests/support/fs_path.h"

namespace tovanik {

// Log files held in memory, by path: what the server's log does runs on them as on disk.
class FakeLogFiles final : public LogFiles {
 public:
  struct File {
    std::string bytes;
    std::time_t modified = 0;
    bool cutLocked = false;  // another program is cutting it
  };
  std::string state_folder_ = joinPath(joinPath("", "state"), "tovanik");  // "" plays none
  std::map<std::string, File> files_;
  std::set<std::string> folders_;
  int opens_ = 0;  // how often a file was opened

  std::string stateFolder() override { return state_folder_; }
  std::string noStateFolderReason() const override { return "no state folder in the fake"; }
  bool makeFolders(const std::string& folder) override {
    folders_.insert(folder);
    return true;
  }
  std::unique_ptr<LogFile> open(const std::string& path, Access access) override;
  std::optional<std::uint64_t> sizeOf(const std::string& path) override {
    const auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    return it->second.bytes.size();
  }
  bool exists(const std::string& path) override { return files_.count(path) > 0; }
};

class FakeLogFile final : public LogFile {
 public:
  explicit FakeLogFile(FakeLogFiles::File& file) : file_(file) {}
  std::optional<std::uint64_t> size() override { return file_.bytes.size(); }
  std::time_t modified() override { return file_.modified; }
  bool readAt(std::uint64_t offset, std::string& bytes) override {
    if (offset + bytes.size() > file_.bytes.size()) return false;
    bytes = file_.bytes.substr(offset, bytes.size());
    return true;
  }
  bool writeAt(std::uint64_t offset, std::string_view bytes) override {
    file_.modified = std::time(nullptr);
    if (file_.bytes.size() < offset + bytes.size()) file_.bytes.resize(offset + bytes.size());
    file_.bytes.replace(offset, bytes.size(), bytes);
    return true;
  }
  bool truncate(std::uint64_t length) override {
    file_.bytes.resize(length);
    return true;
  }
  bool append(std::string_view bytes) override {
    file_.modified = std::time(nullptr);
    file_.bytes += bytes;
    return true;
  }
  bool tryLockForCut() override { return !file_.cutLocked; }

 private:
  FakeLogFiles::File& file_;
};

inline std::unique_ptr<LogFile> FakeLogFiles::open(const std::string& path, Access access) {
  ++opens_;
  auto it = files_.find(path);
  if (it == files_.end()) {
    if (access != Access::Append) return nullptr;
    it = files_.emplace(path, File{}).first;
  }
  return std::make_unique<FakeLogFile>(it->second);
}

// A single-copy lock held in memory: copies of one program file share `held`.
class FakeSingleCopy final : public SingleCopy {
 public:
  FakeSingleCopy(std::string name, std::set<std::string>& held)
      : name_(std::move(name)), held_(held) {}
  ~FakeSingleCopy() override {
    if (mine_) held_.erase(name_);
  }
  FakeSingleCopy(const FakeSingleCopy&) = delete;
  FakeSingleCopy& operator=(const FakeSingleCopy&) = delete;
  Result acquire() override {
    if (mine_) return Result::Acquired;
    if (!held_.insert(name_).second) return Result::HeldByAnotherCopy;
    mine_ = true;
    return Result::Acquired;
  }
  std::string name() const override { return name_; }
  bool listenForShowRequests() override { return mine_; }
  int showRequestHandle() const override { return -1; }
  std::vector<std::string> takeShowRequests() override { return {}; }
  bool askToShow(const std::string&) override { return false; }
  std::string error() const override { return {}; }

 private:
  std::string name_;
  std::set<std::string>& held_;
  bool mine_ = false;
};

// A menu held in memory: entries by id, each with the panel it starts.
class FakeDesktopMenu final : public DesktopMenu {
 public:
  std::string location_ = "/menu";     // "" plays a user without one
  std::set<std::string> installable_;  // panels canInstall accepts (all when empty)
  std::map<std::string, MenuEntry> entries_;
  bool icons_ = false;  // whether the shared icons are installed

  std::string location(std::string* why) override {
    if (location_.empty() && why) *why = "no menu folder";
    return location_;
  }
  std::vector<MenuEntry> installed() override {
    std::vector<MenuEntry> all;
    for (auto [id, entry] : entries_) all.push_back((entry.file = location_ + "/" + id, entry));
    return all;
  }
  bool canInstall(const MenuEntry& entry, std::string* why) override {
    if (installable_.empty() || installable_.count(entry.panel)) return true;
    if (why) *why = "no panel to launch at " + entry.panel;
    return false;
  }
  bool write(const MenuEntry& entry, std::vector<std::string>* report, std::string*) override {
    for (auto it = entries_.begin(); it != entries_.end();)
      it = it->second.panel == entry.panel && it->first != entry.id ? entries_.erase(it)
                                                                    : std::next(it);
    entries_[entry.id] = entry;
    icons_ = true;
    report->push_back("menu entry: " + location_ + "/" + entry.id);
    return true;
  }
  bool remove(const MenuEntry& entry, bool lastOne, int* removed, std::string*) override {
    *removed += static_cast<int>(entries_.erase(entry.id));
    if (lastOne && icons_) {
      icons_ = false;
      ++*removed;
    }
    return true;
  }
};

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
  // The settings files: real ones (in a test's temporary folder), whose waits for another
  // writer's lock go by this platform's clock, unless a test passes a FakeFileStore
  // (fake_file_store.h).
  FileStore* file_store_ = nullptr;

  // The real store on this platform's clock, made at its first use by the platform that
  // uses it: a copy or an assigned platform makes its own.
  class OwnFiles {
   public:
    OwnFiles() = default;
    OwnFiles(const OwnFiles&) {}
    OwnFiles& operator=(const OwnFiles&) {
      store_.reset();
      return *this;
    }
    FileStore& on(Timing& owner) {
      if (!store_ || owner_ != &owner) store_ = systemFileStoreOn(*(owner_ = &owner));
      return *store_;
    }

   private:
    std::unique_ptr<FileStore> store_;
    Timing* owner_ = nullptr;
  };
  OwnFiles own_files_;

  // The process table. A process counts for findProcesses when it is live, of the asked
  // name and of the caller's user, and is neither the caller (self_) nor its ancestor.
  struct Process {
    std::string name;
    int parent = 0, group = 0, uid = 1000;
    int port = 0;  // listens here from listensAtMs on, while live and after until closed
    std::vector<std::string> arguments;
    int listensAtMs = 0;          // on the clock
    int diesAfterMs = 0;          // a kill takes this long to end it
    int portClosesAfterMs = 0;    // its port outlives it this long
    std::optional<int> endsAtMs;  // it ends by itself (or was killed) then
    bool killable = true;         // a kill is refused (EPERM)
    int respawns = 0;             // killed, it is started again this many times (a loop)
    bool killed = false;          // exiting: its image is gone, so no name matches it any more
    int namedAtMs = 0;            // its name matches from then on (an exec still under way)
  };
  std::map<int, Process> table_;
  int self_ = 0;  // the caller's PID in the table (0: not in it)
  int caller_uid_ = 1000;
  // A launch adds a process to the table (pid from 100 up) instead of a name; it listens
  // on its -S port after this many ms (never when < 0), ends after exits_after_ms_ (never
  // when < 0), and writes these lines to its log after the launch mark.
  bool launch_into_table_ = false;
  int launch_listens_after_ms_ = 20;
  int launch_exits_after_ms_ = -1;
  int launch_named_after_ms_ = 0;  // its name shows this late (a terminal starts it)
  int launch_respawns_ = 0;        // killed, it comes back in a group of its own
  std::vector<std::string> launch_output_;
  int next_pid_ = 100;

  // What was asked.
  std::vector<std::pair<std::vector<std::string>, ConsoleMode>> launches_;
  std::vector<std::string> launch_logs_;  // the output log of each launch
  std::vector<std::vector<std::pair<std::string, std::string>>> launch_environments_;
  std::vector<std::string> kills_, opened_urls_, opened_paths_;
  std::vector<int> killed_launches_;

  static bool sameName(const std::string& a, const std::string& b) {
    return equalAsciiCaseless(a, b);
  }

  int clockMs() const {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now_.time_since_epoch()).count());
  }
  bool alive(const Process& p) const { return !p.endsAtMs || clockMs() < *p.endsAtMs; }
  bool alive(int pid) const {
    auto it = table_.find(pid);
    return it != table_.end() && alive(it->second);
  }
  bool holdsPort(const Process& p, int port) const {
    if (p.port != port || p.listensAtMs < 0 || clockMs() < p.listensAtMs) return false;
    return !p.endsAtMs || clockMs() < *p.endsAtMs + p.portClosesAfterMs;
  }
  // The caller and its ancestors, and their groups: never found nor signalled.
  std::set<int> protectedPids() const {
    std::set<int> pids;
    for (int pid = self_; pid > 0 && table_.count(pid) && pids.insert(pid).second;)
      pid = table_.at(pid).parent;
    return pids;
  }
  std::set<int> protectedGroups() const {
    std::set<int> groups;
    for (int pid : protectedPids()) groups.insert(table_.at(pid).group);
    return groups;
  }
  void end(int pid) {
    Process& p = table_.at(pid);
    if (!p.killable || !alive(p)) return;
    const int at = clockMs() + p.diesAfterMs;
    p.killed = true;
    p.endsAtMs = p.endsAtMs ? std::min(*p.endsAtMs, at) : at;
    if (p.respawns > 0) {
      Process again = p;
      again.endsAtMs.reset();
      again.killed = false;
      --again.respawns;
      const int fresh = next_pid_++;
      again.group = fresh;
      table_[fresh] = again;
    }
  }
  // A signal to the group `pid` leads, else to the process alone; the caller's are spared.
  bool signal(int pid) {
    if (protectedPids().count(pid)) return false;
    const bool leads = table_.count(pid) && table_.at(pid).group == pid;
    if (leads && !protectedGroups().count(pid)) {
      for (auto& [member, p] : table_)
        if (p.group == pid) end(member);
      return true;
    }
    if (!table_.count(pid) || !table_.at(pid).killable || !alive(pid)) return false;
    end(pid);
    return true;
  }
  std::vector<int> tableMatches(const std::string& name) const {
    std::vector<int> pids;
    const std::set<int> spared = protectedPids();
    for (const auto& [pid, p] : table_)
      if (!name.empty() && sameName(p.name, name) && alive(p) && !p.killed &&
          clockMs() >= p.namedAtMs &&
          p.uid == caller_uid_ && !spared.count(pid))
        pids.push_back(pid);
    return pids;
  }

  std::string programFolder() const override { return program_folder_; }
  std::string absolutePath(const std::string& path) const override {
    // Rooted: "/..." on Linux; "\\...", "/..." or a drive's "C:..." on Windows.
    const bool drive = path.size() >= 2 && path[1] == ':';
    const bool rooted = path.starts_with('/') ||
                        (kPathSeparator == '\\' && (path.starts_with('\\') || drive));
    return rooted ? path : joinPath(joinPath("", "cwd"), path);
  }

  // The name a launch adds is the base name of argv[0], the server's path, in both
  // console modes: the terminal wrapping of a shown launch happens inside the real
  // platform, so argv[0] is always what would appear in the process table.
  int launchDetached(
      const std::vector<std::string>& argv, ConsoleMode mode, const std::string& outputLog,
      const std::vector<std::pair<std::string, std::string>>& extraEnvironment = {}) override {
    launches_.emplace_back(argv, mode);
    launch_logs_.push_back(outputLog);
    launch_environments_.push_back(extraEnvironment);
    if (!launch_succeeds_) return 0;
    if (launch_into_table_ && !argv.empty()) {
      const int pid = next_pid_++;
      Process p;
      p.name = argv.front().substr(argv.front().rfind(kPathSeparator) + 1);
      p.group = pid;
      p.uid = caller_uid_;
      p.arguments = argv;
      for (std::size_t i = 0; i + 1 < argv.size(); ++i)
        if (argv[i] == "-S")
          p.port = std::atoi(argv[i + 1].substr(argv[i + 1].rfind(':') + 1).c_str());
      p.listensAtMs = launch_listens_after_ms_ < 0 ? -1 : clockMs() + launch_listens_after_ms_;
      if (launch_exits_after_ms_ >= 0) p.endsAtMs = clockMs() + launch_exits_after_ms_;
      p.namedAtMs = clockMs() + launch_named_after_ms_;
      p.respawns = launch_respawns_;
      table_[pid] = p;
      // What the server prints, appended to its log as the real one's would be.
      if (!outputLog.empty())
        if (auto file = log_files_.open(outputLog, LogFiles::Access::Append))
          for (const std::string& line : launch_output_) file->append(line + '\n');
      return pid;
    }
    if (launch_starts_ && !argv.empty()) {
      const std::string& path = argv.front();
      running_names_.insert(path.substr(path.rfind(kPathSeparator) + 1));  // npos + 1 == 0
    }
    return 1;  // a made-up PID, as findProcesses uses
  }

  // One made-up pid (1) when any running name matches, as a real scan would list one.
  std::vector<int> findProcesses(const ServerImage& image) override {
    std::vector<int> pids;
    for (const std::string& name : running_names_)
      if (!image.imageName.empty() && sameName(name, image.imageName)) {
        pids.push_back(1);
        break;
      }
    for (int pid : tableMatches(image.imageName)) pids.push_back(pid);
    return pids;
  }

  int killProcesses(const ServerImage& image) override {
    kills_.push_back(image.imageName);
    int matched = 0;
    for (auto it = running_names_.begin(); it != running_names_.end();) {
      bool matches = !image.imageName.empty() && sameName(*it, image.imageName);
      matched += matches ? 1 : 0;
      it = (matches && kill_stops_) ? running_names_.erase(it) : std::next(it);
    }
    // A match that leads its group takes the group along, unless the caller is in it.
    for (int pid : tableMatches(image.imageName)) matched += signal(pid) ? 1 : 0;
    return matched;  // signalled, whether or not they end
  }

  bool killLaunched(int pid) override {
    killed_launches_.push_back(pid);
    return table_.count(pid) ? signal(pid) : true;
  }
  bool isLiveProcess(int pid) override {
    return (pid == 1 && !running_names_.empty()) || alive(pid);
  }
#ifdef _WIN32
  bool samePathText(const std::string& a, const std::string& b) const override {
    return equalAsciiCaseless(a, b);
  }
#endif
  std::optional<ProcessInfo> processInfo(int pid) override {
    auto it = processes_.find(pid);
    if (it != processes_.end()) return it->second;
    auto row = table_.find(pid);
    if (row == table_.end() || !alive(row->second)) return std::nullopt;
    // An orphan is the first process's child, as on a real system.
    const int parent = row->second.parent;
    return ProcessInfo{table_.count(parent) && !alive(parent) ? 1 : parent, "",
                       row->second.arguments};
  }
  PortUse portUse(int port, const std::vector<int>&) override {
    PortUse use = ports_[port];
    for (const auto& [pid, p] : table_)
      if (holdsPort(p, port)) {
        use.listening = true;
        use.holders.emplace_back(pid, p.name);
      }
    return use;
  }
  std::optional<bool> portListening(int port) override { return portUse(port, {}).listening; }
  std::optional<std::string> untrustedPath(const std::vector<std::string>&) override {
    return untrusted_;
  }

  // What each hand-off to the desktop answers; openers_ended_ what openerEnded says of
  // an opener (nullopt, as for one not named, while it runs).
  Opening opening_;
  std::map<int, std::optional<std::string>> openers_ended_;
  Opening openUrl(const std::string& url) override {
    opened_urls_.push_back(url);
    return opening_;
  }
  Opening openTextFile(const std::string& path) override {
    opened_paths_.push_back(path);
    return opening_;
  }
  Opening openFolder(const std::string& path) override {
    opened_paths_.push_back(path);
    return opening_;
  }
  std::optional<std::string> openerEnded(int opener) override { return openers_ended_[opener]; }

  // What pathKind tells; a path not named here is looked up in the real file system, where
  // the tests lay out their program folders.
  std::map<std::string, PathKind> paths_;
  PathKind pathKind(const std::string& path, std::string* why) override {
    const auto it = paths_.find(path);
    if (it != paths_.end()) return it->second;
    std::error_code error;
    const auto status = std::filesystem::status(fsPath(path), error);
    if (error) {
      if (why) *why = error.message();
      return PathKind::Unusable;
    }
    if (std::filesystem::is_directory(status)) return PathKind::Folder;
    constexpr auto kAnyExecute = std::filesystem::perms::owner_exec |
                                 std::filesystem::perms::group_exec |
                                 std::filesystem::perms::others_exec;
    return std::filesystem::is_regular_file(status) &&
                   (status.permissions() & kAnyExecute) != std::filesystem::perms::none
               ? PathKind::ExecutableFile
               : PathKind::OtherFile;
  }

  std::map<std::string, std::string> environment_;
  std::optional<std::string> environmentVariable(const std::string& name) const override {
    const auto it = environment_.find(name);
    if (it == environment_.end()) return std::nullopt;
    return it->second;
  }
  bool setEnvironmentVariable(const std::string& name, const std::string& value) override {
    environment_[name] = value;
    return true;
  }

  FakeLogFiles log_files_;
  LogFiles& logFiles() override { return log_files_; }

  FakeDesktopMenu menu_, at_login_ = [] {
    FakeDesktopMenu m;
    m.location_ = "/autostart";
    return m;
  }();
  DesktopMenu& desktopMenu(MenuPlace place) override {
    return place == MenuPlace::Menu ? menu_ : at_login_;
  }

  std::set<std::string> held_copies_;  // the program files whose lock is held
  std::unique_ptr<SingleCopy> singleCopy(const std::string& executablePath) override {
    return std::make_unique<FakeSingleCopy>(executablePath, held_copies_);
  }

  // A virtual clock: it moves only when something sleeps, or when a test moves it.
  Clock::time_point now_{};
  Clock::time_point now() override { return now_; }
  void advanceMs(int milliseconds) { now_ += std::chrono::milliseconds(milliseconds); }

  FileStore& fileStore() override { return file_store_ ? *file_store_ : own_files_.on(*this); }

  void sleepMs(int milliseconds) override {
    advanceMs(milliseconds);
  }
};

}  // namespace tovanik
