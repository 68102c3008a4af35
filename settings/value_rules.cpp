#include "settings/value_rules.h"

#include <algorithm>

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
  for (const KeyEntry& entry : kConfigKeys)
    list += (list.empty() ? "" : ", ") + std::string(entry.name);
  return list;
}

}  // namespace

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

std::optional<std::string> unknownKeyProblem(std::string_view key) {
  if (keyNamed(key)) return std::nullopt;
  return "unknown key '" + std::string(key) + "' (the keys are " + keyList() + ")";
}

namespace {

constexpr std::string_view kNotInWindowsNames = "\"<>|?*:";

bool isFolderSetting(Key key) { return key == Key::php_folder || key == Key::root_directory; }

bool startsWithDrive(std::string_view value) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  return value.size() >= 2 && letter(value[0]) && value[1] == ':';
}

bool isAbsolute(std::string_view value, NameRules rules) {
  if (rules == NameRules::Linux) return value.starts_with('/');
  return value.starts_with('/') || value.starts_with('\\') || startsWithDrive(value);
}

// Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string.
std::string quoted(std::string_view value) {
  std::string text(1, '\'');
  text += value;
  text += '\'';
  return text;
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
  if (isFolderSetting(key) && isAbsolute(value, rules)) {
    const char* example = rules == NameRules::Windows ? "..\\site" : "../site";
    return name + " must be a path relative to the program folder, for example " + example +
           ", got " + quoted(value);
  }
  if (rules == NameRules::Windows && key != Key::server_port && key != Key::command_prompt &&
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
