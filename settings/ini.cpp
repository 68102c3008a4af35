#include "settings/ini.h"

#include "settings/text_encoding.h"

namespace tovanik {

std::optional<std::string> readIniText(FileStore& store, const std::string& path,
                                       std::string* whyNot, std::chrono::milliseconds patience) {
  const auto bytes = store.read(path, whyNot, patience);
  if (!bytes) return std::nullopt;
  auto decoded = decodeSettingsText(*bytes, whyNot);
  if (!decoded) return std::nullopt;
  return std::move(decoded->text);
}

bool updateIniText(FileStore& store, const std::string& path, const IniEdit& edit,
                   std::string* whyNot, std::chrono::milliseconds patience) {
  const auto inItsEncoding = [&](const std::string& current,
                                 std::string* why) -> std::optional<std::string> {
    const auto decoded = decodeSettingsText(current, why);
    if (!decoded) return std::nullopt;  // never written over: it could not be read
    const std::string next = edit(decoded->text);
    if (next == decoded->text) return current;
    return encodeSettingsText(decoded->encoding, next, why);
  };
  return updateFileAtomically(store, path, inItsEncoding, whyNot, patience);
}

std::optional<std::string> INIread(FileStore& store, const std::string& path,
                                   std::string_view section, std::string_view key,
                                   std::string* whyNot, std::chrono::milliseconds patience) {
  const auto text = readIniText(store, path, whyNot, patience);
  if (!text) return std::nullopt;
  return iniLookup(*text, section, key);
}

bool INIwrite(FileStore& store, const std::string& path, std::string_view section,
              std::string_view key, std::string_view value, std::string* whyNot,
              std::chrono::milliseconds lockPatience) {
  const auto storeValue = [&](const std::string& text) {
    return iniStore(text, section, key, value) + "\r\n";
  };
  return updateIniText(store, path, storeValue, whyNot, lockPatience);
}

}  // namespace tovanik
