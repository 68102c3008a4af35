#include "settings/config.h"

#include <algorithm>
#include <chrono>

#include "platform/path_text.h"
#include "platform/why_not.h"
#include "settings/ini.h"

namespace tovanik {
namespace {

using std::chrono::milliseconds;

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
  for (const auto* keys : {&kConfigKeys, &kOptionalKeys})
    for (const KeyEntry& entry : *keys)
      if (entry.name == lower) return entry.key;
  return std::nullopt;
}

std::optional<std::string> ConfigFile::read(Key key, std::string* whyNot) const {
  return INIread(platform_->fileStore(), path(), kConfigSection, keyName(key), whyNot,
                 writePatience_);
}

std::optional<ConfigValues> ConfigFile::readAll(std::string* whyNot) const {
  const auto text = readIniText(platform_->fileStore(), path(), whyNot, writePatience_);
  if (!text) return std::nullopt;
  ConfigValues values;
  for (const auto* keys : {&kConfigKeys, &kOptionalKeys})
    for (const KeyEntry& entry : *keys)
      values[entry.key] = iniLookup(*text, kConfigSection, entry.name);
  return values;
}

bool ConfigFile::write(Key key, std::string_view value, std::string* whyNot) const {
  return INIwrite(platform_->fileStore(), path(), kConfigSection, keyName(key), value, whyNot,
                  writePatience_);
}

std::optional<FileStamp> ConfigFile::stamp() const { return platform_->fileStore().stamp(path()); }

namespace {

// The same bytes as when seen at rest: a change of permissions or attributes (which the
// read itself may make) is none.
bool sameVersion(const std::optional<FileStamp>& a, const std::optional<FileStamp>& b) {
  return a && b && a->modifiedNs == b->modifiedNs && a->size == b->size;
}

}  // namespace

// Waits, by the file's stamp, until it has not changed for kSettingsAtRest: by its own
// time stamp, or, should that be in the future, as seen here.
ConfigFile::Rest ConfigFile::waitForRest(std::optional<FileStamp>& seen) const {
  FileStore& store = platform_->fileStore();
  const auto begun = platform_->now();
  auto lastSeen = store.stamp(path());
  auto unchangedSince = begun;
  for (;;) {
    const auto age = store.sinceLastChange(path());
    if (!age) return Rest::Missing;
    const auto now = platform_->now();
    if (const auto stamp = store.stamp(path()); stamp != lastSeen) {
      lastSeen = stamp;
      unchangedSince = now;
    }
    const auto unchanged = std::chrono::duration_cast<milliseconds>(now - unchangedSince);
    if (*age >= kSettingsAtRest || unchanged >= kSettingsAtRest) {
      seen = lastSeen;
      return Rest::AtRest;
    }
    const auto waited = std::chrono::duration_cast<milliseconds>(now - begun);
    if (waited >= kSettingsRestWait) return Rest::Changing;
    // Until it could be at rest, and not past the wait's end.
    const milliseconds pause =
        std::min(kSettingsAtRest - std::max(*age, unchanged), kSettingsRestWait - waited);
    platform_->sleepMs(static_cast<int>(std::max(pause, milliseconds(1)).count()));
  }
}

bool ConfigFile::writeDefaultsIfIncomplete(std::string* whyNot) const {
  FileStore& store = platform_->fileStore();
  if (!store.ensureFolder(joinPath(folder_, "config"), whyNot)) return false;
  const bool missing = !store.sinceLastChange(path());  // the read creates it
  auto text = readIniText(store, path(), whyNot, writePatience_);
  // A complete file needs nothing, whatever happens to it: no wait.
  if (!text || !lacksCommandPrompt(*text)) return false;
  std::optional<FileStamp> seen;
  if (!missing) {
    if (waitForRest(seen) == Rest::Changing) {
      return failed(whyNot, "it was still being changed after " +
                                std::to_string(kSettingsRestWait.count() / 1000) +
                                " s; the defaults wait for the next start");
    }
    text = readIniText(store, path(), whyNot, writePatience_);
    if (!text || !lacksCommandPrompt(*text)) return false;
  }
  // Decided again in the writer's turn, on the text that is replaced: the file must be the
  // one read at rest, unchanged since (a file that was missing has just been created by
  // the read). Else another writer, or an editor's save in place, has begun since.
  bool written = false;
  const bool ok = updateIniText(
      store, path(),
      [&](const std::string& current) {
        if (current != *text || !lacksCommandPrompt(current)) return current;
        if (!missing && !sameVersion(seen, store.stamp(path()))) return current;
        written = true;
        return withDefaults(current);
      },
      whyNot, writePatience_);
  return ok && written;
}

std::string portSuffix(std::string_view port) {
  if (port == "80") return "";
  return ':' + std::string(port);
}

std::string localUrl(std::string_view port) { return "http://localhost" + portSuffix(port); }

}  // namespace tovanik
