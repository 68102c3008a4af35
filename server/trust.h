#pragma once
// What a privileged run (root) refuses to act on: a program folder whose files another
// user could change. Such a user could make root run a program of theirs, serve any file
// or stop any process by naming it.

#include <optional>
#include <string>

#include "platform/platform.h"
#include "server/command.h"

namespace tovanik {

// The program folder, its config folder and config.ini: checked before the settings are
// read. nullopt when they are safe or the caller is not privileged; else one line naming
// the path and its owner.
std::optional<std::string> untrustedProgramFolder(Platform& platform,
                                                  const std::string& programFolder);

// The same three, then the settings' php_folder, server executable and web folder, and
// the router script and php.ini when the settings name them.
std::optional<std::string> untrustedServerFiles(Platform& platform,
                                                const std::string& programFolder,
                                                const ServerSettings& s);

// Both: the folder first, then, when its settings can be read, the server's files.
std::optional<std::string> untrustedFolder(Platform& platform, const std::string& programFolder);

}  // namespace tovanik
