#pragma once
// What may be stored so that it reads back as stored, and can work: the rules tovanikctl
// applies before it writes, the port box per keystroke, and the launch before it starts
// anything.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovanik {

// Plain ASCII digits, at least one.
bool isNumericPort(std::string_view text);
// The one port rule (the port box, tovanikctl's config set, start, status, url, the
// panel's launch): 1-5 plain ASCII digits, value 1-65535. The number, or nullopt.
std::optional<int> portNumber(std::string_view text);

enum class Key;

// Whose file names the values must be able to be. A value that cannot work on Windows but
// works on Linux (a '"' or '*' in a folder name) stays allowed on Linux.
enum class NameRules { Linux, Windows };
#ifdef _WIN32
inline constexpr NameRules kThisSystem = NameRules::Windows;
#else
inline constexpr NameRules kThisSystem = NameRules::Linux;
#endif

// Why the server cannot be launched from `value` as the setting `key`, naming the rule
// (quoting the value as given: the caller escapes it for its output); nullopt when it
// can. The one check of every value, for config set and before every launch:
// - no value holds a control byte (CR, LF, TAB, NUL, DEL...);
// - server_port is plain digits 1-65535 (portNumber), command_prompt "show" or "hide";
// - exe_name is a non-empty file name without "/" or "\";
// - php_folder and root_directory are relative to the program folder: no leading "/"
//   (Windows: no leading "\" or "/", no drive letter);
// - on Windows, no value that names a file holds '"', '<', '>', '|', '?', '*' or ':',
//   which no Windows file name can.
// The optional keys are fine empty (the server as designed); else:
// - router is "front-controller" or a path relative to the program folder;
// - workers is a whole number 1-64, and on Windows, where PHP has no workers, refused;
// - listen_address is one of 0.0.0.0, 127.0.0.1, :: and ::1;
// - php_ini is a path relative to the program folder;
// - php_settings is name=value pairs separated by blanks (see phpSettingPairs), each name
//   of letters, digits, "_" and ".", no value with '"'.
std::optional<std::string> settingProblem(Key key, std::string_view value,
                                          NameRules rules = kThisSystem);

// The router value that names the router script shipped in the program folder.
inline constexpr std::string_view kFrontController = "front-controller";

// php_settings split at its blanks: "a=1  b=2" gives "a=1" and "b=2". Blanks, not ";",
// which many INI readers and editors take for the start of a comment.
std::vector<std::string> phpSettingPairs(std::string_view value);

// Why `value` may not be stored as the setting `key` of the configuration file: `key`
// must name one of the settings (letter case folded), and `value` pass settingProblem.
std::optional<std::string> configValueProblem(std::string_view key, std::string_view value,
                                              NameRules rules = kThisSystem);

// Why `key` names none of the settings (listing them); nullopt when it names one.
std::optional<std::string> unknownKeyProblem(std::string_view key);

// Why `key=value` may not be stored in `[section]` of any INI file, so that the line
// grammar reads it back: no CR or LF anywhere; no "=" in the key, which must not start with
// "[" or a blank (its line would be a section line or match no key); no "]" in the section.
std::optional<std::string> iniEntryProblem(std::string_view section, std::string_view key,
                                           std::string_view value);

}  // namespace tovanik
