#pragma once
// The configuration file beside the program: its place, its one section and its five
// keys with their defaults. Nothing is cached; every operation reads the file again.
//
// Failure: reads return nullopt and writes false, with the reason in `whyNot` when asked
// for (the system's text, or a sentence); the caller keeps what it had.

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_store.h"
#include "platform/platform.h"
#include "settings/value_rules.h"

namespace tovanik {

inline constexpr std::string_view kConfigSection = "Config";

// The five settings, then the optional ones. Every use names one of these, never a
// string: a misspelt key does not compile.
enum class Key {
  exe_name, php_folder, root_directory, server_port, command_prompt,
  router, workers, listen_address, php_ini, php_settings
};

struct KeyEntry {
  Key key;
  std::string_view name;          // as stored in the file
  std::string_view defaultValue;  // written when command_prompt reads empty
};

// The keys in the order their defaults are written. Each write puts a new key at the top
// of the section, so a fresh file lists them in reverse.
inline constexpr std::array<KeyEntry, 5> kConfigKeys{{
    {Key::exe_name, "exe_name", "t-server.exe"},
    {Key::php_folder, "php_folder", "php"},
    {Key::root_directory, "root_directory", "tovanik"},
    {Key::server_port, "server_port", "80"},
    {Key::command_prompt, "command_prompt", "hide"},
}};

// Keys beyond the five, for the applications people serve: absent or empty, the server
// is started as designed. No default is ever written for them.
inline constexpr std::array<KeyEntry, 5> kOptionalKeys{{
    {Key::router, "router", ""},
    {Key::workers, "workers", ""},
    {Key::listen_address, "listen_address", ""},
    {Key::php_ini, "php_ini", ""},
    {Key::php_settings, "php_settings", ""},
}};

constexpr std::string_view keyName(Key key) {
  for (const auto* keys : {&kConfigKeys, &kOptionalKeys})
    for (const KeyEntry& entry : *keys)
      if (entry.key == key) return entry.name;
  return {};
}

// The key of a name given in any letter case; nullopt for a name that is no key.
std::optional<Key> keyNamed(std::string_view name);

// Every key's value as one reading of the file found them ("" for a missing key).
class ConfigValues {
 public:
  const std::string& operator[](Key key) const { return values_[static_cast<std::size_t>(key)]; }
  std::string& operator[](Key key) { return values_[static_cast<std::size_t>(key)]; }

 private:
  std::array<std::string, kConfigKeys.size() + kOptionalKeys.size()> values_;
};

// <program folder>/config/config.ini
std::string configPath(std::string_view programFolder);

// A file changed this recently may be half-saved by an editor: the defaults are decided
// only on a file at rest (see writeDefaultsIfIncomplete).
inline constexpr std::chrono::milliseconds kSettingsAtRest{500};
inline constexpr std::chrono::milliseconds kSettingsRestWait{2000};

// The configuration file, reached through the platform's file store; its waits go through
// the platform's clock.
class ConfigFile {
 public:
  // `writePatience` bounds each write's wait for another writer (and, on Windows, each
  // read's and write's wait for another program holding the file).
  ConfigFile(std::string programFolder, Platform& platform,
             std::chrono::milliseconds writePatience = kLockPatience)
      : folder_(std::move(programFolder)), platform_(&platform), writePatience_(writePatience) {}

  std::optional<std::string> read(Key key, std::string* whyNot = nullptr) const;
  // Every key from one reading of the file.
  std::optional<ConfigValues> readAll(std::string* whyNot = nullptr) const;
  bool write(Key key, std::string_view value, std::string* whyNot = nullptr) const;

  // When command_prompt reads empty, writes all five defaults, in one replace of the file
  // under one hold of the write lock. A missing config folder is created first (with the
  // user's default permissions). The decision is taken only on a file at rest: one whose
  // last change is kSettingsAtRest old, as an editor saving in place truncates the file
  // and writes it a moment later. A file changed more recently is waited for, by its
  // stamp, up to kSettingsRestWait in all; one still changing then is left alone this
  // time (false, with the reason). A missing file, or one at rest, costs no wait. A file
  // that cannot be read (one that does not decode as UTF-16) is left alone too.
  // Returns true when the defaults were written.
  bool writeDefaultsIfIncomplete(std::string* whyNot = nullptr) const;

  std::string path() const { return configPath(folder_); }
  const std::string& programFolder() const { return folder_; }
  // The stamp of the file as it is now (see FileStamp).
  std::optional<FileStamp> stamp() const;

 private:
  enum class Rest { Missing, AtRest, Changing };
  // Whether the file is missing, at rest (`seen` its stamp then) or still changing.
  Rest waitForRest(std::optional<FileStamp>& seen) const;

  std::string folder_;
  Platform* platform_;
  std::chrono::milliseconds writePatience_;
};

// Rules for the server port as text (the port rule itself, portNumber: value_rules.h).
// "" for exactly "80", else ":" + port.
std::string portSuffix(std::string_view port);
// "http://localhost" + portSuffix(port).
std::string localUrl(std::string_view port);

}  // namespace tovanik
