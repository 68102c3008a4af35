#include "platform/windows/process_table.h"

#include <tlhelp32.h>
// The process's own record of its parent (ntdll, loaded in every process).
#include <winternl.h>

// A token's user from ntdll's own calls (under the advapi32 functions of the same name),
// so that neither program imports advapi32: under Wine it brings sechost and ucrtbase
// with it, about 1 ms of every tovanikctl start. Declared here: the SDK's user-mode
// headers leave them out.
extern "C" {
NTSTATUS NTAPI NtOpenProcessToken(HANDLE process, ACCESS_MASK access, PHANDLE token);
NTSTATUS NTAPI NtQueryInformationToken(HANDLE token, TOKEN_INFORMATION_CLASS kind, PVOID buffer,
                                       ULONG length, PULONG needed);
ULONG NTAPI RtlLengthSid(PSID sid);
}

#include <chrono>
#include <map>
#include <set>

#include "platform/windows/handle.h"
#include "platform/windows/wide_text.h"

namespace tovanik::windows {
namespace {

// How long a stop waits for the processes it ended to leave the table.
constexpr DWORD kEndWaitMs = 2000;

bool stillActive(HANDLE process) {
  DWORD code = 0;
  return GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

// When the process was created (100 ns units); nullopt when it cannot be asked.
std::optional<ULONGLONG> creationTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::optional<ULONGLONG> creationTime(DWORD pid) {
  const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return std::nullopt;
  return creationTime(process.get());
}

// The SID of a token's user, as bytes; empty when it cannot be read.
std::vector<BYTE> tokenUser(HANDLE token) {
  ULONG length = 0;
  NtQueryInformationToken(token, TokenUser, nullptr, 0, &length);
  std::vector<BYTE> buffer(length);
  if (length == 0 ||
      !NT_SUCCESS(NtQueryInformationToken(token, TokenUser, buffer.data(), length, &length)))
    return {};
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  const ULONG sidLength = RtlLengthSid(user->User.Sid);
  const auto* sid = static_cast<const BYTE*>(user->User.Sid);
  return std::vector<BYTE>(sid, sid + sidLength);
}

std::vector<BYTE> processUser(HANDLE process) {
  HANDLE token = nullptr;
  if (!NT_SUCCESS(NtOpenProcessToken(process, TOKEN_QUERY, &token))) return {};
  const Handle owned(token);
  return tokenUser(token);
}

std::wstring imagePath(HANDLE process) {
  std::wstring path(32768, L'\0');
  DWORD length = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process, 0, path.data(), &length)) return {};
  path.resize(length);
  return path;
}

// The asker and its ancestors. A parent link names a PID that may since have been
// reused: a "parent" created after its child is not its parent, and the walk stops.
std::set<DWORD> callerLine(const std::vector<ProcessEntry>& table) {
  std::set<DWORD> line;
  std::map<DWORD, DWORD> parents;
  for (const ProcessEntry& entry : table) parents[entry.pid] = entry.parent;
  DWORD pid = GetCurrentProcessId();
  std::optional<ULONGLONG> born = creationTime(GetCurrentProcess());
  for (int step = 0; pid != 0 && step < 4096 && line.insert(pid).second; ++step) {
    const auto parent = parents.find(pid);
    if (parent == parents.end() || parent->second == 0) break;
    const std::optional<ULONGLONG> parentBorn = creationTime(parent->second);
    if (born && parentBorn && *parentBorn > *born) break;
    pid = parent->second;
    born = parentBorn;
  }
  return line;
}

// One look at the table for one name: who asks, and (worked out once a candidate turns
// up) the asker's ancestors.
class Matcher {
 public:
  explicit Matcher(const ServerImage& image) : name_(utf16(image.imageName)) {
    usable_ = !name_.empty() && name_.find_first_of(L"\\/") == std::wstring::npos;
  }

  bool usable() const { return usable_; }

  // The process, opened to be asked and waited for, when it counts; else no handle.
  Handle open(const ProcessEntry& entry, const std::vector<ProcessEntry>& table) {
    if (!sameFileName(entry.image, name_)) return {};
    if (ancestors(table).count(entry.pid)) return {};
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.pid));
    // A process we may not even ask about is another user's: it does not count.
    if (!process || !stillActive(process.get())) return {};
    // Only the asker's own: an elevated asker too, so that no other user's process,
    // whatever file it runs, stands in for the asker's server or is ended by its stop.
    const std::vector<BYTE> owner = processUser(process.get());
    if (owner.empty() || owner != asker()) return {};
    return process;
  }

 private:
  const std::vector<BYTE>& asker() {
    if (!askerUser_) {
      HANDLE token = nullptr;
      askerUser_.emplace();
      if (NT_SUCCESS(NtOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))) {
        const Handle owned(token);
        *askerUser_ = tokenUser(token);
      }
    }
    return *askerUser_;
  }

  const std::set<DWORD>& ancestors(const std::vector<ProcessEntry>& table) {
    if (!ancestors_) ancestors_ = callerLine(table);
    return *ancestors_;
  }

  std::wstring name_;
  bool usable_ = false;
  std::optional<std::vector<BYTE>> askerUser_;
  std::optional<std::set<DWORD>> ancestors_;
};

}  // namespace

bool sameFileName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::vector<ProcessEntry> processSnapshot() {
  std::vector<ProcessEntry> table;
  const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return table;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry))
    table.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
  return table;
}

std::vector<int> findProcessesByImageName(const ServerImage& image) {
  std::vector<int> pids;
  Matcher matcher(image);
  if (!matcher.usable()) return pids;
  const std::vector<ProcessEntry> table = processSnapshot();
  for (const ProcessEntry& entry : table)
    if (matcher.open(entry, table)) pids.push_back(static_cast<int>(entry.pid));
  return pids;
}

Handle openFirstProcessByImageName(const ServerImage& image) {
  Matcher matcher(image);
  if (!matcher.usable()) return {};
  const std::vector<ProcessEntry> table = processSnapshot();
  for (const ProcessEntry& entry : table)
    if (Handle process = matcher.open(entry, table)) return process;
  return {};
}

bool stillRuns(const Handle& process) {
  return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

int killProcessesByImageName(const ServerImage& image, Timing& timing) {
  std::vector<Handle> ended;
  for (const int pid : findProcessesByImageName(image)) {
    // Processes we may not open are skipped, as taskkill run by a standard user does.
    Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
    if (process && TerminateProcess(process.get(), 1)) ended.push_back(std::move(process));
  }
  // TerminateProcess returns before the process is gone: a caller that looks again at
  // once should not find it.
  const auto deadline = timing.now() + std::chrono::milliseconds(kEndWaitMs);
  for (const Handle& process : ended) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - timing.now());
    WaitForSingleObject(process.get(), left.count() > 0 ? static_cast<DWORD>(left.count()) : 0);
  }
  return static_cast<int>(ended.size());
}

bool killProcessTree(int pid) {
  if (pid <= 0) return false;
  const std::vector<ProcessEntry> table = processSnapshot();
  // The caller and its ancestors are spared, as by the name match, and so is what lies
  // below them: a stop run from a page of the server never ends itself or what started it.
  const std::set<DWORD> spared = callerLine(table);
  if (spared.count(static_cast<DWORD>(pid))) return false;
  // The tree as it stands now: children of each member, no older than their parent.
  std::vector<DWORD> tree{static_cast<DWORD>(pid)};
  std::map<DWORD, std::optional<ULONGLONG>> born{{tree[0], creationTime(tree[0])}};
  for (std::size_t i = 0; i < tree.size(); ++i) {
    for (const ProcessEntry& entry : table) {
      if (entry.parent != tree[i] || born.count(entry.pid) || spared.count(entry.pid)) continue;
      const std::optional<ULONGLONG> childBorn = creationTime(entry.pid);
      if (!childBorn || (born[tree[i]] && *childBorn < *born[tree[i]])) continue;
      born[entry.pid] = childBorn;
      tree.push_back(entry.pid);
    }
  }
  bool rootEnded = false;
  for (const DWORD member : tree) {
    const Handle process(OpenProcess(
        PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, member));
    // A process that has ended already is gone, though its PID may still be opened.
    const bool ended = process && stillActive(process.get()) && TerminateProcess(process.get(), 1);
    if (ended) WaitForSingleObject(process.get(), kEndWaitMs);
    if (member == tree[0]) rootEnded = ended;
  }
  return rootEnded;
}

bool isLiveProcess(int pid) {
  if (pid <= 0) return false;
  const Handle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to ask
  return stillActive(process.get());
}

std::string imagePathOf(DWORD pid) {
  const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  return utf8(imagePath(process.get()));
}

std::optional<ProcessInfo> readProcessInfo(int pid) {
  if (pid <= 0) return std::nullopt;
  // The process itself says who started it, without a snapshot of the whole table
  // (status asks this of every server it finds).
  const Handle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
  PROCESS_BASIC_INFORMATION basic{};
  if (process && stillActive(process.get()) &&
      NT_SUCCESS(NtQueryInformationProcess(process.get(), ProcessBasicInformation, &basic,
                                           sizeof basic, nullptr))) {
    ProcessInfo info;
    info.parent = static_cast<int>(basic.InheritedFromUniqueProcessId);
    info.executable = utf8(imagePath(process.get()));
    return info;
  }
  // One we may not ask: the table still names its parent.
  for (const ProcessEntry& entry : processSnapshot()) {
    if (entry.pid != static_cast<DWORD>(pid)) continue;
    ProcessInfo info;
    info.parent = static_cast<int>(entry.parent);
    info.executable = imagePathOf(entry.pid);
    return info;
  }
  return std::nullopt;
}

}  // namespace tovanik::windows
