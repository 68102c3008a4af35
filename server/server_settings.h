#pragma once
// Reading the server's settings for one launch.

#include "server/command.h"
#include "settings/config.h"

namespace tovanik {

// Reads exe_name, root_directory, server_port, command_prompt and php_folder, in that
// order, each on its own. A read that fails leaves that field empty and the others are
// still read. `allRead` reports whether every read succeeded; `whyNot` receives the
// reason of the first read that failed.
ServerSettings readServerSettings(const ConfigFile& config, bool* allRead = nullptr,
                                  std::string* whyNot = nullptr);

}  // namespace tovanik
