#include "settings/value_rules.h"

#include <algorithm>

#include "platform/text_rules.h"
#include "settings/config.h"
#include "settings/ini.h"

namespace tovanik {
namespace {

constexpr unsigned char kDEL = 0x7F;

bool isControlByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == kDEL;
}

bool hasLineEnd(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

std::string keyList() {
  std::string list;
  for (const auto* keys : {&kConfigKeys, &kOptionalKeys})
    for (const KeyEntry& entry : *keys)
      list += (list.empty() ? "" : ", ") + std::string(entry.name);
  return list;
}

}  // namespace

bool isNumericPort(std::string_view text) { return isAllDigits(text); }

std::optional<int> portNumber(std::string_view text) {
  if (!isNumericPort(text) || text.size() > 5) return std::nullopt;
  int port = 0;
  for (const char c : text) port = port * 10 + (c - '0');
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

std::vector<std::string> phpSettingPairs(std::string_view value) {
  std::vector<std::string> pairs;
  std::size_t start = 0;
  while (start < value.size()) {
    const std::size_t end = std::min(value.find(' ', start), value.size());
    if (end > start) pairs.emplace_back(value.substr(start, end - start));
    start = end + 1;
  }
  return pairs;
}

std::optional<std::string> unknownKeyProblem(std::string_view key) {
  if (keyNamed(key)) return std::nullopt;
  return "unknown key '" + std::string(key) + "' (the keys are " + keyList() + ")";
}

namespace {

constexpr std::string_view kNotInWindowsNames = "\"<>|?*:";

// Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string.
std::string quoted(std::string_view value) {
  std::string text(1, '\'');
  text += value;
  text += '\'';
  return text;
}

// The settings that name a file or folder below the program folder, and an example of each.
std::optional<std::string_view> relativePathExample(Key key, NameRules rules) {
  const bool windows = rules == NameRules::Windows;
  switch (key) {
    case Key::php_folder:
    case Key::root_directory:
      return windows ? "..\\site" : "../site";
    case Key::router:
      return "router.php";
    case Key::php_ini:
      return windows ? "config\\php.ini" : "config/php.ini";
    default:
      return std::nullopt;
  }
}

bool namesAFile(Key key) {
  return key == Key::exe_name || relativePathExample(key, NameRules::Linux);
}

constexpr int kMostWorkers = 64;

bool isWorkerCount(std::string_view value) {
  if (!isNumericPort(value) || value.size() > 2) return false;
  const int count = value.size() == 1 ? value[0] - '0' : (value[0] - '0') * 10 + value[1] - '0';
  return count >= 1 && count <= kMostWorkers;
}

// A name PHP's -d takes: letters, digits, "_" and "." (session.save_path).
bool isIniName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '.';
  });
}

std::optional<std::string> phpSettingsProblem(std::string_view value) {
  for (const std::string& pair : phpSettingPairs(value)) {
    const std::size_t equals = pair.find('=');
    if (equals == pair.npos || !isIniName(std::string_view(pair).substr(0, equals))) {
      return "php_settings must be name=value pairs separated by blanks, for example "
             "'memory_limit=256M upload_max_filesize=64M', got " + quoted(pair);
    }
    // PHP puts a -d value in double quotes and reads it as php.ini text: a quote inside
    // would end it there.
    if (pair.find('"') != pair.npos) return "php_settings may not hold '\"', got " + quoted(pair);
  }
  return std::nullopt;
}

std::optional<std::string> optionalKeyProblem(Key key, std::string_view value, NameRules rules) {
  if (value.empty()) return std::nullopt;  // absent: the server as designed
  if (key == Key::workers && rules == NameRules::Windows) {
    return "workers must be empty on Windows: PHP's built-in server has no workers there "
           "(PHP_CLI_SERVER_WORKERS needs fork), got " + quoted(value);
  }
  if (key == Key::workers && !isWorkerCount(value))
    return "workers must be a whole number from 1 to 64, got " + quoted(value);
  if (key == Key::listen_address && value != "0.0.0.0" && value != "127.0.0.1" &&
      value != "::" && value != "::1") {
    return "listen_address must be 0.0.0.0, 127.0.0.1, :: or ::1, got " + quoted(value);
  }
  if (key == Key::php_settings) return phpSettingsProblem(value);
  return std::nullopt;
}

bool startsWithDrive(std::string_view value) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  return value.size() >= 2 && letter(value[0]) && value[1] == ':';
}

bool isAbsolute(std::string_view value, NameRules rules) {
  if (rules == NameRules::Linux) return value.starts_with('/');
  return value.starts_with('/') || value.starts_with('\\') || startsWithDrive(value);
}

}  // namespace

std::optional<std::string> settingProblem(Key key, std::string_view value, NameRules rules) {
  const std::string name(keyName(key));
  if (std::any_of(value.begin(), value.end(), isControlByte)) {
    return name + " may not hold a control character (CR, LF, TAB, NUL, DEL...)";
  }
  if (key == Key::server_port && !portNumber(value)) {
    return "server_port must be plain digits from 1 to 65535, at most 5 of them, got " +
           quoted(value);
  }
  if (key == Key::command_prompt && value != "show" && value != "hide") {
    return "command_prompt must be 'show' or 'hide', got " + quoted(value);
  }
  if (key == Key::exe_name &&
      (value.empty() || value.find('/') != value.npos || value.find('\\') != value.npos)) {
    return "exe_name must be a file name, not empty and without '/' or '\\'";
  }
  if (auto problem = optionalKeyProblem(key, value, rules)) return problem;
  if (key == Key::router && value == kFrontController) return std::nullopt;
  const auto example = relativePathExample(key, rules);
  if (example && isAbsolute(value, rules)) {
    return name + " must be a path relative to the program folder, for example " +
           std::string(*example) + ", got " + quoted(value);
  }
  if (rules == NameRules::Windows && namesAFile(key) &&
      value.find_first_of(kNotInWindowsNames) != value.npos) {
    return name +
           " may not hold '\"', '<', '>', '|', '?', '*' or ':', which no Windows file "
           "name can, got " +
           quoted(value);
  }
  return std::nullopt;
}

std::optional<std::string> configValueProblem(std::string_view key, std::string_view value,
                                              NameRules rules) {
  if (auto unknown = unknownKeyProblem(key)) return unknown;
  return settingProblem(*keyNamed(key), value, rules);
}

std::optional<std::string> iniEntryProblem(std::string_view section, std::string_view key,
                                           std::string_view value) {
  if (hasLineEnd(value)) return "an INI value may not hold a line break (CR or LF)";
  if (hasLineEnd(key) || key.find('=') != key.npos) {
    return "an INI key may not hold '=' or a line break (CR or LF)";
  }
  if (!key.empty() && (key.front() == '[' || key.front() == ' ' || key.front() == '\t')) {
    return "an INI key may not start with '[', a blank or a tab";
  }
  if (hasLineEnd(section) || section.find(']') != section.npos) {
    return "an INI section may not hold ']' or a line break (CR or LF)";
  }
  return std::nullopt;
}

}  // namespace tovanik
