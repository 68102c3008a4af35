#pragma once
// Reading a settings file as bytes, the way both INI operations start.

#include <optional>
#include <string>

namespace tovanik {

// The bytes of the file at `path` (a path resolved by resolveSettingsPath). The file
// becomes, or stays, a regular file its owner may read and write, so a settings file made
// read-only by hand does not block the next change; a missing one is created empty.
// nullopt, with the reason, when it cannot be created, opened or read, is no regular
// file (a folder in its place, a device, a FIFO), or is larger than kSettingsFileLimit.
std::optional<std::string> readResolvedFile(const std::string& path, std::string* whyNot);

// The bytes of an existing file, read as they are (nothing created or changed); nullopt,
// with the reason, when it cannot be opened or read.
std::optional<std::string> readExistingFile(const std::string& path, std::string* whyNot);

}  // namespace tovanik
