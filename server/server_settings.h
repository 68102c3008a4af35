#pragma once
// Reading the server's settings for one launch.

#include "server/command.h"
#include "settings/config.h"

namespace tovanik {

// The server's fields of one reading of the configuration.
ServerSettings serverSettingsOf(const ConfigValues& values);

// The settings from one reading of the file; nullopt (with the reason in `whyNot`)
// when the file cannot be read.
std::optional<ServerSettings> readServerSettings(const ConfigFile& config,
                                                 std::string* whyNot = nullptr);

}  // namespace tovanik
