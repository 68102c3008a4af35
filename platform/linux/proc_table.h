#pragma once
// Finding and stopping processes by image name in the Linux process table (/proc).
//
// A process has an image name when it was started from a file of that name: its comm
// (the name the kernel keeps, cut to 15 bytes) must match, and since any process may
// rename its comm, so must the base name of argv[0], of /proc/PID/exe, or of the script
// the kernel ran through its "#!" line. Names match with ASCII letters folded. Zombies
// and dead processes, the asker itself and its ancestors never match; a name holding '/'
// matches nothing. Only the asker's own processes (by real user id) match, for root as
// for anyone: no other user's process can stand in for root's server or be stopped by it.
// For an asker other than root, /proc must show the process as the asker's too (the owner
// of /proc/PID: its effective user, root's when it may not be dumped), which is looked at
// first, so that other users' processes cost one call each.

#include <sys/types.h>

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tovanik {

class KeptComms;

// Fields of /proc/PID/stat that the matcher needs. nullopt when the text is malformed.
struct ProcStat {
  std::string comm;
  char state = '?';
  int ppid = 0;
  int pgrp = 0;
  unsigned long long startTime = 0;  // clock ticks after boot: a PID's reuse changes it
};
std::optional<ProcStat> parseProcStat(std::string_view statText);

// True when two file names are equal with ASCII letters folded.
bool sameImageName(std::string_view a, std::string_view b);

// Who is looking: decides which processes may count at all.
struct Asker {
  uid_t uid = 0;  // real user id; other users' processes never count
  int self = 0;   // never counts, nor do its ancestors
};
Asker currentAsker();

// The caller `self` and its ancestors, and their process groups: never signalled, neither
// as a match nor as a port holder.
struct CallerLine {
  std::set<int> pids, groups;
};
CallerLine callerLine(const std::string& procRoot, int self);

// PIDs of the processes with this image name. procRoot is "/proc" except in tests.
std::vector<int> findProcessesByImageName(const ServerImage& image,
                                          const std::string& procRoot = "/proc",
                                          const Asker& asker = currentAsker());

// What an earlier presence check found: a PID to look at first, and, once confirmed, the
// process's start time and the query it matched.
struct PresenceHint {
  // A bare PID to look at first, as a caller's guess.
  static PresenceHint at(int pid) {
    PresenceHint hint;
    hint.pid = pid;
    return hint;
  }
  int pid = 0;
  unsigned long long startTime = 0;
  std::string imageName, serverPath;
};

// Whether findProcessesByImageName would find any. `hint` is looked at first, confirmed
// by everything the scan looks at (name, image, user, liveness); a PID that still matches
// spares the scan, so the answer is always the scan's.
// It is set to what was found, pid 0 when none. A scan reads the names through `comms`
// when given (kept_comms.h), as a caller that asks again and again does.
bool anyProcessByImageName(const ServerImage& image, PresenceHint& hint,
                           const std::string& procRoot = "/proc",
                           const Asker& asker = currentAsker(), KeptComms* comms = nullptr);

// Whether the process exists and is neither a zombie nor dead.
bool isLiveProcess(int pid);

// SIGKILL to every match the asker may signal; a match that leads its process group
// gets it for the whole group, unless the asker or an ancestor belongs to that group.
// Returns how many matches were signalled.
int killProcessesByImageName(const ServerImage& image);

// The parent, executable and first arguments of a process; nullopt when it is gone.
std::optional<ProcessInfo> readProcessInfo(int pid, const std::string& procRoot = "/proc");

}  // namespace tovanik
