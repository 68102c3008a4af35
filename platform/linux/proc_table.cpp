#include "platform/linux/proc_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/ascii_case.h"
#include "platform/linux/descriptor.h"
#include "platform/linux/kept_comms.h"
#include "platform/path_text.h"
#include "platform/text_rules.h"

namespace tovanik {

namespace {

// The kernel keeps at most this many bytes of a process name in comm (TASK_COMM_LEN - 1).
constexpr std::size_t kCommLength = 15;

// A process that has ended: a zombie, or dead.
bool hasEnded(char state) { return state == 'Z' || state == 'X' || state == 'x'; }

// Reads "<pid>/<leaf>" below the /proc descriptor into buffer; -1 when it cannot.
// openat() relative to one open directory spares the kernel the walk through "/proc"
// for every file, which is most of a scan's cost.
ssize_t readProcFile(int procFd, const char* pid, const char* leaf, char* buffer,
                     std::size_t capacity) {
  char path[64];
  if (std::snprintf(path, sizeof path, "%s/%s", pid, leaf) >= static_cast<int>(sizeof path))
    return -1;
  int fd = ::openat(procFd, path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  ssize_t got = ::read(fd, buffer, capacity);
  ::close(fd);
  return got;
}

// Whether /proc shows the process as this user's: the owner of /proc/PID is the process's
// effective user, or root for one that may not be dumped (started from a setuid or setgid
// file, or that forbade dumps itself). One call that opens no file.
bool shownAsOwnedBy(int procFd, const char* pid, uid_t uid) {
  struct stat info {};
  return ::fstatat(procFd, pid, &info, 0) == 0 && info.st_uid == uid;
}

std::optional<ProcStat> readStat(int procFd, const char* pid) {
  char buffer[1024];
  ssize_t got = readProcFile(procFd, pid, "stat", buffer, sizeof buffer);
  if (got <= 0) return std::nullopt;
  return parseProcStat(std::string_view(buffer, static_cast<std::size_t>(got)));
}

// Real user id: the first number of the "Uid:" line of /proc/PID/status.
std::optional<uid_t> readRealUid(int procFd, const char* pid) {
  char buffer[4096];
  ssize_t got = readProcFile(procFd, pid, "status", buffer, sizeof buffer - 1);
  if (got <= 0) return std::nullopt;
  buffer[got] = '\0';
  const char* line = std::strstr(buffer, "\nUid:");
  if (!line) return std::nullopt;
  char* end = nullptr;
  unsigned long uid = std::strtoul(line + 5, &end, 10);
  if (end == line + 5) return std::nullopt;
  return static_cast<uid_t>(uid);
}

// Path of the executable file. A file replaced or removed since the start reads as
// "PATH (deleted)"; the suffix is not part of the path. "" when unreadable (another
// user's process, a kernel thread).
std::string exePath(int procFd, const char* pid) {
  char path[64];
  std::snprintf(path, sizeof path, "%s/exe", pid);
  char target[4096];
  ssize_t length = ::readlinkat(procFd, path, target, sizeof target);
  if (length <= 0) return {};
  std::string_view link(target, static_cast<std::size_t>(length));
  constexpr std::string_view kDeleted = " (deleted)";
  if (link.size() > kDeleted.size() && link.substr(link.size() - kDeleted.size()) == kDeleted)
    link.remove_suffix(kDeleted.size());
  return std::string(link);
}

std::string exeBaseName(int procFd, const char* pid) {
  return std::string(baseName(exePath(procFd, pid)));
}

// The file a path leads to, links followed: its device and inode.

// The first `count` arguments: three are enough for argv[0] and a script's path; the
// server's -S comes after its -c and -d options.
std::vector<std::string> leadingArguments(int procFd, const char* pid, std::size_t count = 3) {
  char buffer[8192];
  ssize_t got = readProcFile(procFd, pid, "cmdline", buffer, sizeof buffer);
  std::vector<std::string> args;
  if (got <= 0) return args;
  std::string_view text(buffer, static_cast<std::size_t>(got));
  while (!text.empty() && args.size() < count) {
    std::size_t nul = text.find('\0');
    args.emplace_back(text.substr(0, nul));
    text = nul == std::string_view::npos ? std::string_view() : text.substr(nul + 1);
  }
  return args;
}

// A script run through its "#!" line: the kernel starts the interpreter with the
// arguments [interpreter, optional argument, script path, ...] and names the process
// (comm) after the script. Matches when args[index] is such a script of this name
// whose first line names exactly args[0] (and args[1] as its argument when index is 2).
bool startedAsScript(int procFd, const char* pid, const std::vector<std::string>& args,
                     std::size_t index, const std::string& imageName) {
  if (index >= args.size() || !sameImageName(baseName(args[index]), imageName)) return false;
  const std::string& script = args[index];
  // A relative path was relative to the working folder at the start; the current one
  // is the best guess there is.
  const std::string path = script.front() == '/' ? script : std::string(pid) + "/cwd/" + script;
  int fd = ::openat(procFd, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info {};
  char head[256];
  ssize_t got =
      (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) ? ::read(fd, head, sizeof head) : -1;
  ::close(fd);
  if (got < 2 || head[0] != '#' || head[1] != '!') return false;
  std::string_view line(head + 2, static_cast<std::size_t>(got - 2));
  line = line.substr(0, line.find('\n'));
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
  std::size_t split = 0;
  while (split < line.size() && !isBlank(line[split])) ++split;
  std::string_view interpreter = line.substr(0, split), argument = line.substr(split);
  while (!argument.empty() && isBlank(argument.front())) argument.remove_prefix(1);
  if (interpreter.empty() || args[0] != interpreter) return false;
  return argument.empty() ? index == 1 : (index == 2 && args[1] == argument);
}

CallerLine callerLineAt(int procFd, int self) {
  CallerLine line;
  int pid = self;
  for (int step = 0; pid > 0 && step < 4096 && line.pids.insert(pid).second; ++step) {
    std::optional<ProcStat> stat = readStat(procFd, std::to_string(pid).c_str());
    if (!stat) break;
    line.groups.insert(stat->pgrp);
    pid = stat->ppid;
  }
  return line;
}

// One scan's view of the table: the wanted name, the asker and, worked out only once a
// candidate turns up, the asker's ancestors and their process groups.
class Matcher {
 public:
  Matcher(int procFd, const ServerImage& image, const Asker& asker)
      : procFd_(procFd), name_(image.imageName), asker_(asker) {
    const std::size_t commLength = std::min(name_.size(), kCommLength);
    comm_ = name_.substr(0, commLength);
    usable_ = !name_.empty() && name_.find('/') == std::string::npos;
  }

  bool usable() const { return usable_; }

  // The first test, before any file is opened: for an asker other than root, only what
  // /proc shows as the asker's (shownAsOwnedBy), which rules out root's and other users'
  // processes at a third of the cost of reading a name. Root keeps to the name: every
  // process may be root's (in a container or on a server all are), and the call would
  // only add to each.
  bool mayBeOwn(const char* pid) const {
    return asker_.uid == 0 || shownAsOwnedBy(procFd_, pid, asker_.uid);
  }

  // Names are read through these from now on.
  void keepComms(KeptComms& comms) { comms_ = &comms; }

  // The cheap first test, one small read per process: comm.
  bool commMatches(const char* pid) const {
    char buffer[64];
    ssize_t got = comms_ ? comms_->read(procFd_, std::atoi(pid), pid, buffer, sizeof buffer)
                         : readProcFile(procFd_, pid, "comm", buffer, sizeof buffer);
    if (got <= 0) return false;
    std::size_t length = static_cast<std::size_t>(got);
    if (buffer[length - 1] == '\n') --length;
    return commMatchesText(std::string_view(buffer, length));
  }
  bool commMatchesText(std::string_view comm) const { return sameImageName(comm, comm_); }

  // The full test of a process whose comm matched; its process group when it counts.
  std::optional<int> confirm(const char* pid) {
    std::optional<ProcStat> stat = readStat(procFd_, pid);
    if (!stat || hasEnded(stat->state))
      return std::nullopt;
    // Only the asker's own processes count, root's too: another user's process, even one
    // started from this folder's server file, neither stands in for root's server nor is
    // root's to stop.
    std::optional<uid_t> uid = readRealUid(procFd_, pid);
    if (!uid || *uid != asker_.uid || !startedUnderName(pid)) return std::nullopt;
    if (ancestry().pids.count(std::atoi(pid))) return std::nullopt;
    return stat->pgrp;
  }

  bool matches(const char* pid) {
    return mayBeOwn(pid) && commMatches(pid) && confirm(pid).has_value();
  }

  // The check of last tick's process, from its stat line already read: its comm,
  // liveness, user and image, as in a scan. Not its ancestry: a process once found to be
  // no ancestor of the asker never becomes one. Nor its owner in /proc: it was the
  // asker's when the scan found it, it changes only when the process changes its effective
  // user or forbids dumps, and looking would cost the running server's tick a call.
  bool confirmsHint(const char* pid, const ProcStat& stat) const {
    if (!usable_ || !commMatchesText(stat.comm) || hasEnded(stat.state))
      return false;
    const std::optional<uid_t> uid = readRealUid(procFd_, pid);
    return uid && *uid == asker_.uid && startedUnderName(pid);
  }

  // Process groups the asker or an ancestor belongs to: never signalled as a whole.
  const std::set<int>& protectedGroups() { return ancestry().groups; }

 private:
  bool startedUnderName(const char* pid) const {
    std::vector<std::string> args = leadingArguments(procFd_, pid);
    if (!args.empty() && sameImageName(baseName(args[0]), name_)) return true;
    if (sameImageName(exeBaseName(procFd_, pid), name_)) return true;
    return startedAsScript(procFd_, pid, args, 1, name_) ||
           startedAsScript(procFd_, pid, args, 2, name_);
  }

  const CallerLine& ancestry() {
    if (!ancestry_) ancestry_ = callerLineAt(procFd_, asker_.self);
    return *ancestry_;
  }

  int procFd_;
  std::string name_, comm_;
  Asker asker_;
  KeptComms* comms_ = nullptr;
  bool usable_ = false;
  std::optional<CallerLine> ancestry_;
};

struct Match {
  int pid;
  int pgrp;
};

// Calls visit(pidName) for every numeric entry until it returns true.
template <typename Visit>
void forEachPid(int procFd, Visit visit) {
  int listFd = ::dup(procFd);
  if (listFd < 0) return;
  DIR* dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;  // ".", "self", ...
    if (!isAllDigits(entry->d_name)) continue;
    if (visit(entry->d_name)) break;
  }
  ::closedir(dir);
}

// /proc (or a made-up tree standing in for it) as a directory descriptor.
Descriptor openProcRoot(const std::string& path) {
  return Descriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::vector<Match> scan(Matcher& matcher, int procFd) {
  std::vector<Match> matches;
  if (!matcher.usable()) return matches;
  forEachPid(procFd, [&](const char* pid) {
    if (!matcher.mayBeOwn(pid) || !matcher.commMatches(pid)) return false;
    if (std::optional<int> pgrp = matcher.confirm(pid)) matches.push_back({std::atoi(pid), *pgrp});
    return false;
  });
  return matches;
}

}  // namespace

std::optional<ProcStat> parseProcStat(std::string_view statText) {
  // "PID (comm) S PPID PGRP ...": comm may itself hold blanks and parentheses, so it
  // runs from the first '(' to the last ')'; every later field is numeric or a letter.
  std::size_t open = statText.find('(');
  std::size_t close = statText.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open)
    return std::nullopt;
  if (open < 2 || statText[open - 1] != ' ' || !isAllDigits(statText.substr(0, open - 1)))
    return std::nullopt;
  if (close + 2 >= statText.size() || statText[close + 1] != ' ') return std::nullopt;
  char state = statText[close + 2];
  if (state == ' ' || state == '\n') return std::nullopt;
  ProcStat stat{std::string(statText.substr(open + 1, close - open - 1)), state, 0, 0};
  // The numbers are optional for the parse: a short line still names the process.
  std::string rest(statText.substr(close + 3));
  std::sscanf(rest.c_str(),
              "%d %d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
              &stat.ppid, &stat.pgrp, &stat.startTime);
  return stat;
}

bool sameImageName(std::string_view a, std::string_view b) { return equalAsciiCaseless(a, b); }

Asker currentAsker() { return Asker{::getuid(), static_cast<int>(::getpid())}; }

CallerLine callerLine(const std::string& procRoot, int self) {
  const Descriptor root = openProcRoot(procRoot);
  return callerLineAt(root.get(), self);
}

std::vector<int> findProcessesByImageName(const ServerImage& image, const std::string& procRoot,
                                          const Asker& asker) {
  const Descriptor root = openProcRoot(procRoot);
  Matcher matcher(root.get(), image, asker);
  std::vector<int> pids;
  if (root.get() < 0) return pids;
  for (const Match& match : scan(matcher, root.get())) pids.push_back(match.pid);
  return pids;
}

bool anyProcessByImageName(const ServerImage& image, PresenceHint& hint,
                           const std::string& procRoot, const Asker& asker,
                           KeptComms* comms) {
  const Descriptor root = openProcRoot(procRoot);
  Matcher matcher(root.get(), image, asker);
  if (root.get() < 0 || !matcher.usable()) {
    hint = {};
    return false;
  }
  if (hint.pid > 0) {
    const std::string pid = std::to_string(hint.pid);
    const std::optional<ProcStat> stat = readStat(root.get(), pid.c_str());
    // Confirmed the same way as in a scan, every time: a process that execed keeps its
    // PID, start time and (renamed) comm, so only its image tells. A recycled PID of
    // another program fails here and the scan below runs as if there had been no hint.
    // The same process as last time (same start time, same query) was no ancestor then.
    const bool seenBefore = stat && hint.startTime != 0 && stat->startTime == hint.startTime &&
                            hint.imageName == image.imageName;
    if (stat &&
        (seenBefore ? matcher.confirmsHint(pid.c_str(), *stat) : matcher.matches(pid.c_str()))) {
      hint = {hint.pid, stat->startTime, image.imageName, image.serverPath};
      return true;
    }
  }
  hint = {};
  if (comms) {
    matcher.keepComms(*comms);
    comms->startScan();
  }
  forEachPid(root.get(), [&](const char* pid) {
    if (!matcher.matches(pid)) return false;
    const std::optional<ProcStat> stat = readStat(root.get(), pid);
    hint = {std::atoi(pid), stat ? stat->startTime : 0, image.imageName, image.serverPath};
    return true;
  });
  if (comms) comms->endScan();
  return hint.pid != 0;
}

bool isLiveProcess(int pid) {
  const Descriptor root = openProcRoot("/proc");
  std::optional<ProcStat> stat = readStat(root.get(), std::to_string(pid).c_str());
  return stat && !hasEnded(stat->state);
}

int killProcessesByImageName(const ServerImage& image) {
  const Descriptor root = openProcRoot("/proc");
  if (root.get() < 0) return 0;
  Matcher matcher(root.get(), image, currentAsker());
  const std::vector<Match> matches = scan(matcher, root.get());
  // A group leader takes its group along (PHP's workers, a wrapper's children), unless
  // that group holds the asker or one of its ancestors. The matches in a group that was
  // signalled count as signalled, even once they are gone.
  std::set<int> killedGroups;
  for (const Match& match : matches)
    if (match.pgrp == match.pid && !matcher.protectedGroups().count(match.pgrp) &&
        ::kill(-match.pgrp, SIGKILL) == 0)
      killedGroups.insert(match.pgrp);
  int signalled = 0;
  for (const Match& match : matches) {
    // EPERM (not ours to signal) and ESRCH (gone since the scan) are skipped silently.
    if (killedGroups.count(match.pgrp) || ::kill(match.pid, SIGKILL) == 0) ++signalled;
  }
  return signalled;
}

// Enough for the server's -S after a php.ini and a few dozen PHP settings.
constexpr std::size_t kInfoArguments = 64;

std::optional<ProcessInfo> readProcessInfo(int pid, const std::string& procRoot) {
  const Descriptor root = openProcRoot(procRoot);
  const std::string name = std::to_string(pid);
  const std::optional<ProcStat> stat = readStat(root.get(), name.c_str());
  if (!stat) return std::nullopt;
  return ProcessInfo{stat->ppid, exePath(root.get(), name.c_str()),
                     leadingArguments(root.get(), name.c_str(), kInfoArguments)};
}

}  // namespace tovanik
