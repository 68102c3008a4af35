#include "platform/linux/launch_environment.h"

#include <string_view>

namespace tovanik {

LaunchEnvironment::LaunchEnvironment(
    char* const* base, const std::vector<std::pair<std::string, std::string>>& extra) {
  const auto replaced = [&](std::string_view entry) {
    for (const auto& [name, value] : extra)
      if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=')
        return true;
    return false;
  };
  for (char* const* entry = base; entry && *entry; ++entry)
    if (!replaced(*entry)) entries_.emplace_back(*entry);
  for (const auto& [name, value] : extra) entries_.push_back(name + '=' + value);
  pointers_.reserve(entries_.size() + 1);
  for (std::string& entry : entries_) pointers_.push_back(entry.data());
  pointers_.push_back(nullptr);
}

}  // namespace tovanik
