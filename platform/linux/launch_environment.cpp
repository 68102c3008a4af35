#include "platform/linux/launch_environment.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "platform/linux/ownership.h"
#include "platform/linux/user_folders.h"

namespace tovanik {
namespace {

// Variables whose value is a list of paths (split at ':' and blanks) that the program
// reads, loads or runs: a user who names their own files here would have root run their
// code (an auto_prepend_file, a preloaded library, a shell's start file, a desktop
// handler, the browser xdg-open runs) or write where they can read.
constexpr std::string_view kPathVariables[] = {
    "PHP_INI_SCAN_DIR", "PHPRC",          "LD_PRELOAD",      "LD_LIBRARY_PATH",
    "LD_AUDIT",         "GCONV_PATH",     "LOCPATH",         "NLSPATH",
    "HOSTALIASES",      "RESOLV_HOST_CONF", "TZDIR",         "TMPDIR",
    "MALLOC_TRACE",     "BASH_ENV",       "ENV",             "XDG_CONFIG_HOME",
    "XDG_DATA_HOME",    "XDG_CONFIG_DIRS", "XDG_DATA_DIRS",  "XDG_STATE_HOME",
    "XDG_CACHE_HOME",   "BROWSER"};

bool isOneOf(std::string_view name, const auto& names) {
  for (std::string_view known : names)
    if (name == known) return true;
  return false;
}

bool namesOnlyRootsPaths(std::string_view value) {
  std::size_t start = 0;
  while (start <= value.size()) {
    const std::size_t end = std::min(value.find_first_of(": \t", start), value.size());
    const std::string path(value.substr(start, end - start));
    // An empty part means "the default" to PHP_INI_SCAN_DIR and the loader; a relative
    // one depends on the folder the program runs in.
    if (!path.empty() && (path.front() != '/' || firstPathNotOwnedBy({path}, 0))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string launchSearchPath() {
  if (::geteuid() == 0) return kRootSearchPath;
  const char* path = std::getenv("PATH");
  return path ? path : "/usr/local/bin:/usr/bin:/bin";
}

std::vector<std::string> rootLaunchEnvironment(char* const* environment) {
  std::vector<std::string> clean{std::string("PATH=") + kRootSearchPath};
  if (const std::string home = homeFolder(); !home.empty()) clean.push_back("HOME=" + home);
  for (char* const* entry = environment; entry && *entry; ++entry) {
    const std::string_view text(*entry);
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view name = text.substr(0, equals), value = text.substr(equals + 1);
    if (name == "PATH" || name == "HOME") continue;
    if (isOneOf(name, kPathVariables)) {
      if (namesOnlyRootsPaths(value)) clean.emplace_back(text);
      continue;
    }
    if (name.starts_with("LD_")) continue;  // the loader's other settings: none needed
    clean.emplace_back(text);
  }
  return clean;
}

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
