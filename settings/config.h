#pragma once
// The configuration file beside the program: its place, its one section and its five
// keys with their defaults. Nothing is cached; every use reads the file again.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tovanik {

inline constexpr std::string_view kConfigSection = "Config";

struct ConfigKey {
  std::string_view name;
  std::string_view defaultValue;
};

// The keys in the order their defaults are written. Each write puts a new key at the top
// of the section, so a fresh file lists them in reverse.
inline constexpr std::array<ConfigKey, 5> kConfigKeys{{
    {"exe_name", "t-server.exe"},
    {"php_folder", "php"},
    {"root_directory", "tovanik"},
    {"server_port", "80"},
    {"command_prompt", "hide"},
}};

// <program folder>/config/config.ini
std::string configPath(std::string_view programFolder);

// One setting of the configuration file in `programFolder`. Reads return nullopt when
// the file cannot be read (for example the config folder is missing); writes return
// false when nothing was stored.
class ConfigFile {
 public:
  explicit ConfigFile(std::string programFolder) : folder_(std::move(programFolder)) {}

  // `whyNot`, when given, receives the reason of a failure (strerror text or a sentence).
  std::optional<std::string> read(std::string_view key, std::string* whyNot = nullptr) const;
  bool write(std::string_view key, std::string_view value, std::string* whyNot = nullptr) const;

  // Writes all five defaults when command_prompt reads empty (a failed read counts as
  // empty). Returns true when the defaults were attempted.
  bool writeDefaultsIfIncomplete() const;

  std::string path() const { return configPath(folder_); }
  const std::string& programFolder() const { return folder_; }

 private:
  std::string folder_;
};

// Rules for the server port as text.
// Plain ASCII digits, at least one: the only numeric form the port box accepts.
bool isNumericPort(std::string_view text);
// "" for exactly "80", else ":" + port.
std::string portSuffix(std::string_view port);
// "http://localhost" + portSuffix(port).
std::string localUrl(std::string_view port);

}  // namespace tovanik
