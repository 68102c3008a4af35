#include "settings/config.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/file_store.h"
#include "platform/path_text.h"
#include "settings/ini.h"

namespace tovanik {
namespace {

// How long an editor saving in place may take between its truncation and its write: an
// empty file is read again after each of these pauses (150 ms in all), unequal so that
// no steady rhythm of saves meets every read.
constexpr std::chrono::milliseconds kEmptyFileSettles[] = {
    std::chrono::milliseconds(20), std::chrono::milliseconds(50), std::chrono::milliseconds(80)};

bool lacksCommandPrompt(std::string_view text) {
  return iniLookup(text, kConfigSection, keyName(Key::command_prompt)).empty();
}

std::string withDefaults(std::string text) {
  for (const KeyEntry& entry : kConfigKeys)
    text = iniStore(text, kConfigSection, entry.name, entry.defaultValue) + "\r\n";
  return text;
}

}  // namespace

std::string configPath(std::string_view programFolder) {
  return joinPath(joinPath(programFolder, "config"), "config.ini");
}

std::optional<Key> keyNamed(std::string_view name) {
  const std::string lower = asciiLower(name);
  for (const KeyEntry& entry : kConfigKeys)
    if (entry.name == lower) return entry.key;
  return std::nullopt;
}

std::optional<std::string> ConfigFile::read(Key key, std::string* whyNot) const {
  return INIread(path(), kConfigSection, keyName(key), whyNot);
}

std::optional<ConfigValues> ConfigFile::readAll(std::string* whyNot) const {
  const auto text = readSettingsFile(path(), whyNot);
  if (!text) return std::nullopt;
  ConfigValues values;
  for (const KeyEntry& entry : kConfigKeys)
    values[entry.key] = iniLookup(*text, kConfigSection, entry.name);
  return values;
}

bool ConfigFile::write(Key key, std::string_view value, std::string* whyNot) const {
  return INIwrite(path(), kConfigSection, keyName(key), value, whyNot, writePatience_);
}

bool ConfigFile::writeDefaultsIfIncomplete(std::string* whyNot) const {
  if (!ensureFolder(joinPath(folder_, "config"), whyNot)) return false;
  auto text = readSettingsFile(path(), whyNot);
  // An empty file may be an editor's save in place, between its truncation and its write:
  // it counts as empty only when it stays so, read again after growing pauses.
  for (const auto pause : kEmptyFileSettles) {
    if (!text || !text->empty()) break;
    std::this_thread::sleep_for(pause);
    text = readSettingsFile(path(), whyNot);
  }
  if (!text || !lacksCommandPrompt(*text)) return false;
  // Decided again under the lock, on the bytes that are replaced: another writer may have
  // completed the file since. An empty file there, after reads that were not empty, is a
  // save under way.
  const bool settledEmpty = text->empty();
  bool written = false;
  const bool ok = updateFileAtomically(
      path(),
      [&](const std::string& current) {
        if (!lacksCommandPrompt(current) || (current.empty() && !settledEmpty)) return current;
        written = true;
        return withDefaults(current);
      },
      whyNot, writePatience_);
  return ok && written;
}

bool isNumericPort(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<int> portNumber(std::string_view text) {
  if (!isNumericPort(text) || text.size() > 5) return std::nullopt;
  int port = 0;
  for (const char c : text) port = port * 10 + (c - '0');
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

std::string portSuffix(std::string_view port) {
  if (port == "80") return "";
  return ':' + std::string(port);
}

std::string localUrl(std::string_view port) { return "http://localhost" + portSuffix(port); }

}  // namespace tovanik
