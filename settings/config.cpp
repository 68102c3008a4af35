#include "settings/config.h"

#include <algorithm>

#include "settings/ini.h"

namespace tovanik {

std::string configPath(std::string_view programFolder) {
  return std::string(programFolder) + "/config/config.ini";
}

std::optional<std::string> ConfigFile::read(std::string_view key, std::string* whyNot) const {
  return INIread(path(), kConfigSection, key, whyNot);
}

bool ConfigFile::write(std::string_view key, std::string_view value, std::string* whyNot) const {
  return INIwrite(path(), kConfigSection, key, value, whyNot);
}

bool ConfigFile::writeDefaultsIfIncomplete() const {
  // A failed read counts as empty: the writes are then tried and fail in turn.
  if (!read("command_prompt").value_or("").empty()) return false;
  for (const ConfigKey& key : kConfigKeys) write(key.name, key.defaultValue);
  return true;
}

bool isNumericPort(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string portSuffix(std::string_view port) {
  if (port == "80") return "";
  return ':' + std::string(port);
}

std::string localUrl(std::string_view port) { return "http://localhost" + portSuffix(port); }

}  // namespace tovanik
