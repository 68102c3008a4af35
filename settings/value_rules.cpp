#include "settings/value_rules.h"

#include <algorithm>

#include "settings/config.h"
#include "settings/ini.h"

namespace tovanik {
namespace {

constexpr unsigned long kHighestPort = 65535;
constexpr unsigned char kDEL = 0x7F;

bool isControlByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == kDEL;
}

bool hasLineEnd(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

// Text for a message: control bytes shown as "?", so the message stays one line.
std::string shown(std::string_view text) {
  std::string out(text);
  std::replace_if(out.begin(), out.end(), isControlByte, '?');
  return out;
}

std::string keyList() {
  std::string list;
  for (const ConfigKey& key : kConfigKeys)
    list += (list.empty() ? "" : ", ") + std::string(key.name);
  return list;
}

// Digits with a value from 1 to 65535; leading zeros are digits like any other.
bool isPortInRange(std::string_view text) {
  if (!isNumericPort(text)) return false;
  unsigned long value = 0;
  for (const char c : text) {
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > kHighestPort) return false;
  }
  return value >= 1;
}

}  // namespace

std::optional<std::string_view> configKeyName(std::string_view key) {
  const std::string lower = asciiLower(key);
  for (const ConfigKey& known : kConfigKeys) {
    if (known.name == lower) return known.name;
  }
  return std::nullopt;
}

std::optional<std::string> configValueProblem(std::string_view key, std::string_view value) {
  const auto name = configKeyName(key);
  if (!name) return "unknown key '" + shown(key) + "' (the keys are " + keyList() + ")";
  if (std::any_of(value.begin(), value.end(), isControlByte)) {
    return std::string(*name) + " may not hold a control character (CR, LF, TAB, NUL, DEL...)";
  }
  if (*name == "server_port" && !isPortInRange(value)) {
    return "server_port must be plain digits from 1 to 65535, got '" + std::string(value) + "'";
  }
  if (*name == "command_prompt" && value != "show" && value != "hide") {
    return "command_prompt must be 'show' or 'hide', got '" + std::string(value) + "'";
  }
  if (*name == "exe_name" && (value.empty() || value.find('/') != value.npos)) {
    return "exe_name must be a file name, not empty and without '/'";
  }
  return std::nullopt;
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
