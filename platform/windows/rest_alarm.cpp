#include "platform/windows/rest_alarm.h"

#include "platform/windows/handle.h"
#include "platform/windows/wide_text.h"

namespace tovanik::windows {

namespace {

// What can change a tick's outcome in a folder: a file made, removed or renamed (the
// settings saved through a temporary file), or written to (the log growing).
constexpr DWORD kFolderChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                 FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

class WaitableAlarm final : public RestAlarm {
 public:
  WaitableAlarm() = default;
  ~WaitableAlarm() override {
    for (HANDLE change : changes_) FindCloseChangeNotification(change);
  }
  WaitableAlarm(const WaitableAlarm&) = delete;
  WaitableAlarm& operator=(const WaitableAlarm&) = delete;

  const std::vector<void*>& objects() const override { return objects_; }

  bool watchProcess(HANDLE process) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, SYNCHRONIZE,
                         FALSE, 0))
      return false;
    process_ = Handle(copy);
    objects_.push_back(copy);
    return true;
  }

  bool watchFolder(const std::string& folder) {
    const HANDLE change =
        FindFirstChangeNotificationW(filePath(folder).c_str(), FALSE, kFolderChanges);
    if (change == INVALID_HANDLE_VALUE) return false;
    changes_.push_back(change);
    objects_.push_back(change);
    return true;
  }

 private:
  Handle process_;
  std::vector<HANDLE> changes_;  // closed by their own call, not CloseHandle
  std::vector<void*> objects_;   // all of them, the process first
};

}  // namespace

std::unique_ptr<RestAlarm> armRestAlarm(HANDLE process, const std::vector<std::string>& folders) {
  auto alarm = std::make_unique<WaitableAlarm>();
  if (!alarm->watchProcess(process)) return nullptr;
  for (const std::string& folder : folders)
    if (!alarm->watchFolder(folder)) return nullptr;
  return alarm;
}

}  // namespace tovanik::windows
