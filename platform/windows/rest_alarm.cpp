#include "platform/windows/rest_alarm.h"

#include <atomic>

#include "platform/windows/handle.h"
#include "platform/windows/wide_text.h"

namespace tovanik::windows {

namespace {

// What can change a tick's outcome in a folder: a file made, removed or renamed (the
// settings saved through a temporary file), or written to (the log growing).
constexpr DWORD kFolderChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                 FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

class ThreadPoolAlarm final : public RestAlarm {
 public:
  explicit ThreadPoolAlarm(std::function<void()> wake) : wake_(std::move(wake)) {}
  ~ThreadPoolAlarm() override {
    // INVALID_HANDLE_VALUE: back only once no callback runs, so `wake` is never called
    // after the alarm is gone.
    for (HANDLE wait : waits_) UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);
    for (HANDLE change : changes_) FindCloseChangeNotification(change);
  }
  ThreadPoolAlarm(const ThreadPoolAlarm&) = delete;
  ThreadPoolAlarm& operator=(const ThreadPoolAlarm&) = delete;

  bool watchProcess(HANDLE process) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, SYNCHRONIZE,
                         FALSE, 0))
      return false;
    process_ = Handle(copy);
    return waitFor(copy);
  }

  bool watchFolder(const std::string& folder) {
    const HANDLE change = FindFirstChangeNotificationW(filePath(folder).c_str(), FALSE, kFolderChanges);
    if (change == INVALID_HANDLE_VALUE) return false;
    changes_.push_back(change);
    return waitFor(change);
  }

 private:
  bool waitFor(HANDLE object) {
    HANDLE wait = nullptr;
    if (!RegisterWaitForSingleObject(&wait, object, &ThreadPoolAlarm::signalled, this, INFINITE,
                                     WT_EXECUTEONLYONCE))
      return false;
    waits_.push_back(wait);
    return true;
  }

  static void CALLBACK signalled(void* alarm, BOOLEAN /*timedOut*/) {
    auto* self = static_cast<ThreadPoolAlarm*>(alarm);
    if (!self->rung_.exchange(true)) self->wake_();
  }

  std::function<void()> wake_;
  std::atomic<bool> rung_{false};
  Handle process_;
  std::vector<HANDLE> changes_;
  std::vector<HANDLE> waits_;
};

}  // namespace

std::unique_ptr<RestAlarm> armRestAlarm(HANDLE process, const std::vector<std::string>& folders,
                                        std::function<void()> wake) {
  auto alarm = std::make_unique<ThreadPoolAlarm>(std::move(wake));
  if (!alarm->watchProcess(process)) return nullptr;
  for (const std::string& folder : folders)
    if (!alarm->watchFolder(folder)) return nullptr;
  return alarm;
}

}  // namespace tovanik::windows
