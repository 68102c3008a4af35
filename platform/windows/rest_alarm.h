#pragma once
// The Windows restAlarm: the system's thread pool waits on the server's process and on a
// change notification for each folder, and the first that is signalled calls `wake`.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tovanik::windows {

// `process` is duplicated, not taken. Null when a folder cannot be watched (gone, a share
// without notifications) or a wait cannot be registered.
std::unique_ptr<RestAlarm> armRestAlarm(HANDLE process, const std::vector<std::string>& folders,
                                        std::function<void()> wake);

}  // namespace tovanik::windows
