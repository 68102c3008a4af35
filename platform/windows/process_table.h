#pragma once
// Finding and stopping processes by image name in the Windows process table (a toolhelp
// snapshot).
//
// A process has an image name when its executable file has that name: the snapshot's
// szExeFile, compared the way the file system compares names (ordinal, letter case
// ignored). The asker itself and its ancestors never match; a name holding "\" or "/"
// matches nothing. Only processes whose token user is the asker's match, for an elevated
// asker as for any other.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/windows/handle.h"

namespace tovanik::windows {

// True when two file names are the same name to the file system (ordinal, case ignored).
bool sameFileName(const std::wstring& a, const std::wstring& b);

// One row of a snapshot.
struct ProcessEntry {
  DWORD pid = 0;
  DWORD parent = 0;
  std::wstring image;  // the executable's file name
};
// Every process of a fresh snapshot; empty when none can be taken.
std::vector<ProcessEntry> processSnapshot();

// PIDs of the processes with this image name that count for the caller.
std::vector<int> findProcessesByImageName(const ServerImage& image);

// The first process findProcessesByImageName would report, opened so that it can be
// waited for (SYNCHRONIZE); no handle when none counts. While the handle is open its PID
// cannot be reused, and a process's image and token user never change: as long as it
// runs, it still counts.
Handle openFirstProcessByImageName(const ServerImage& image);
// Whether the process of an open handle has not ended (one wait of no time).
bool stillRuns(const Handle& process);

// TerminateProcess on every match the caller may open; waits briefly for them to end.
// Returns how many were ended.
int killProcessesByImageName(const ServerImage& image, Timing& timing);

// TerminateProcess on `pid` and on every process it started (its descendants, by parent
// links no older than themselves), but for the caller, its ancestors and what they
// started. False when `pid` could not be ended or is the caller or an ancestor of it.
bool killProcessTree(int pid);

bool isLiveProcess(int pid);

// The full path of the process's executable; "" when it cannot be asked.
std::string imagePathOf(DWORD pid);

// Parent and executable of a process; nullopt when it is not in the table.
std::optional<ProcessInfo> readProcessInfo(int pid);

}  // namespace tovanik::windows
