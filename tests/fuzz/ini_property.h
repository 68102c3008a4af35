#pragma once
// The INI writer's promise, checked on any file text, with the line ends and brackets it
// holds: after storing a value that tovanikctl would accept, the key reads that value,
// every other key reads what it read before, and storing the same value again leaves the
// bytes as they are. Shared by the fuzz target and the unit tests.

#include <string>
#include <utility>
#include <vector>

#include "settings/ini.h"
#include "settings/value_rules.h"

namespace tovanik::test {

struct IniProbe {
  std::string section, key;
};

// What broke, or nullptr; inputs the rules refuse break nothing. `others` are further
// (section, key) pairs to read before and after.
inline const char* iniStoreBreaks(const std::string& file, const std::string& section,
                                  const std::string& key, const std::string& value,
                                  const std::vector<IniProbe>& others) {
  if (iniEntryProblem(section, key, value)) return nullptr;
  std::vector<std::pair<IniProbe, std::string>> before;
  for (const IniProbe& probe : others) {
    const bool sameKey = asciiLower(probe.section) == asciiLower(section) &&
                         asciiLower(probe.key) == asciiLower(key);
    if (!sameKey && !iniEntryProblem(probe.section, probe.key, "")) {
      before.emplace_back(probe, iniLookup(file, probe.section, probe.key));
    }
  }
  const std::string once = iniStore(file, section, key, value) + "\r\n";
  if (iniLookup(once, section, key) != value) return "the stored value does not read back";
  for (const auto& [probe, value] : before) {
    if (iniLookup(once, probe.section, probe.key) != value) return "another key changed";
  }
  if (iniStore(once, section, key, value) + "\r\n" != once) {
    return "storing the same value again changed the text";
  }
  return nullptr;
}

}  // namespace tovanik::test
