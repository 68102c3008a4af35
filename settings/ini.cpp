#include "settings/ini.h"

#include "platform/file_store.h"

namespace tovanik {

std::optional<std::string> INIread(const std::string& path, std::string_view section,
                                   std::string_view key, std::string* whyNot) {
  const auto text = readSettingsFile(path, whyNot);
  if (!text) return std::nullopt;
  return iniLookup(*text, section, key);
}

bool INIwrite(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value, std::string* whyNot, std::chrono::milliseconds lockPatience) {
  const auto store = [&](const std::string& current) {
    return iniStore(current, section, key, value) + "\r\n";
  };
  return updateFileAtomically(path, store, whyNot, lockPatience);
}

}  // namespace tovanik
