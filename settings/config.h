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

namespace tovanik {

inline constexpr std::string_view kConfigSection = "Config";

// The five settings. Every use names one of these, never a string: a misspelt key does
// not compile.
enum class Key { exe_name, php_folder, root_directory, server_port, command_prompt };

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

constexpr std::string_view keyName(Key key) {
  for (const KeyEntry& entry : kConfigKeys)
    if (entry.key == key) return entry.name;
  return {};
}

// The key of a name given in any letter case; nullopt for a name that is none of the five.
std::optional<Key> keyNamed(std::string_view name);

// The five values as one reading of the file found them ("" for a missing key).
class ConfigValues {
 public:
  const std::string& operator[](Key key) const { return values_[static_cast<std::size_t>(key)]; }
  std::string& operator[](Key key) { return values_[static_cast<std::size_t>(key)]; }

 private:
  std::array<std::string, kConfigKeys.size()> values_;
};

// <program folder>/config/config.ini
std::string configPath(std::string_view programFolder);

class ConfigFile {
 public:
  // `writePatience` bounds each write's wait for another writer.
  explicit ConfigFile(std::string programFolder,
                      std::chrono::milliseconds writePatience = std::chrono::seconds(5))
      : folder_(std::move(programFolder)), writePatience_(writePatience) {}

  std::optional<std::string> read(Key key, std::string* whyNot = nullptr) const;
  // All five from one reading of the file.
  std::optional<ConfigValues> readAll(std::string* whyNot = nullptr) const;
  bool write(Key key, std::string_view value, std::string* whyNot = nullptr) const;

  // When command_prompt reads empty, writes all five defaults, in one replace of the file
  // under one hold of the write lock. A missing config folder is created first (with the
  // user's default permissions). A file that reads as empty is read again after a short
  // settle before it counts as incomplete: an editor saving in place truncates the file
  // and then writes it. Returns true when the defaults were written.
  bool writeDefaultsIfIncomplete(std::string* whyNot = nullptr) const;

  std::string path() const { return configPath(folder_); }
  const std::string& programFolder() const { return folder_; }

 private:
  std::string folder_;
  std::chrono::milliseconds writePatience_;
};

// Rules for the server port as text.
// Plain ASCII digits, at least one: the numeric test of the port box, per keystroke.
bool isNumericPort(std::string_view text);
// The one port rule everywhere else (tovanikctl's config set, start, status, url):
// plain ASCII digits, at most 5, value 1-65535. The number, or nullopt.
std::optional<int> portNumber(std::string_view text);
// "" for exactly "80", else ":" + port.
std::string portSuffix(std::string_view port);
// "http://localhost" + portSuffix(port).
std::string localUrl(std::string_view port);

}  // namespace tovanik
