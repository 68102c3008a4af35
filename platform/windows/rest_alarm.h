#pragma once
// The Windows restAlarm: a duplicate of the server's process handle and a change
// notification for each folder, for the message loop's MsgWaitForMultipleObjectsEx. No
// thread of its own: under Wine a thread pool's waits cost the panel 2 MiB of PSS.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tovanik::windows {

// `process` is duplicated, not taken. Null when a folder cannot be watched (gone, a share
// without notifications).
std::unique_ptr<RestAlarm> armRestAlarm(HANDLE process, const std::vector<std::string>& folders);

}  // namespace tovanik::windows
