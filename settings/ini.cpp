#include "settings/ini.h"

#include "settings/atomic_file.h"
#include "settings/file_bytes.h"
#include "settings/safe_path.h"

namespace tovanik {

std::optional<std::string> INIread(const std::string& path, std::string_view section,
                                   std::string_view key, std::string* whyNot) {
  const auto target = resolveSettingsPath(path, whyNot);
  if (!target) return std::nullopt;
  const auto text = readSettingsFile(target->path(), whyNot);
  if (!text) return std::nullopt;
  return iniLookup(*text, section, key);
}

bool INIwrite(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value, std::string* whyNot) {
  const auto store = [&](const std::string& current) {
    return iniStore(current, section, key, value) + "\r\n";
  };
  return updateFileAtomically(path, store, whyNot);
}

}  // namespace tovanik
