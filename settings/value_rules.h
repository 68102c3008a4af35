#pragma once
// What may be stored so that it reads back as stored: the rules tovanikctl applies before
// it writes. The panel needs none of them (it stores only digits, "show" and "hide").

#include <optional>
#include <string>
#include <string_view>

namespace tovanik {

// Why `value` may not be stored as the setting `key` of the configuration file, naming
// the rule; nullopt when it may. Only the five keys are settings (letter case folded):
// server_port is plain digits 1-65535, command_prompt "show" or "hide", exe_name a
// non-empty file name without "/", and no value holds a control byte (CR, LF, NUL, DEL...).
std::optional<std::string> configValueProblem(std::string_view key, std::string_view value);

// Why `key=value` may not be stored in `[section]` of any INI file, so that the line
// grammar reads it back: no CR or LF anywhere; no "=" in the key, which must not start with
// "[" or a blank (its line would be a section line or match no key); no "]" in the section.
std::optional<std::string> iniEntryProblem(std::string_view section, std::string_view key,
                                           std::string_view value);

// The canonical (lower-case) name of a configuration key given in any letter case, or
// nullopt for a name that is none of the five.
std::optional<std::string_view> configKeyName(std::string_view key);

}  // namespace tovanik
