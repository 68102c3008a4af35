#pragma once
// What a launched program (the server, the terminal around it, the desktop's opener)
// finds in its environment, and where its name is looked up.

#include <string>
#include <utility>
#include <vector>

namespace tovanik {

// The search path of what root launches: the system's folders only.
inline constexpr const char* kRootSearchPath =
    "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// Where a bare program name is looked up: the caller's PATH (unset: /usr/local/bin:
// /usr/bin:/bin); run as root, kRootSearchPath, whatever PATH says.
std::string launchSearchPath();

// The environment `environment` (NAME=VALUE entries, null-terminated) cleaned for a
// launch by root: PATH is kRootSearchPath, HOME root's own home (user_folders.h), and the
// variables that make PHP, the loader, the shell or the opener read files or run
// programs (PHP_INI_SCAN_DIR, PHPRC, LD_PRELOAD, LD_LIBRARY_PATH, the XDG folders,
// TMPDIR, BROWSER, ...) stay only when every path they name is absolute and passes root's
// rules (firstPathNotOwnedBy); LD_* variables that name no paths go. The rest is kept as
// it is: the display, the locale, the terminal's settings.
std::vector<std::string> rootLaunchEnvironment(char* const* environment);

// The environment `base` (the caller's `environ`) with variables set on top for one
// launch, ready for execve: each (name, value) replaces the entry of that name or is
// added at the end. Made before the launch, since the cloned child may not allocate.
class LaunchEnvironment {
 public:
  LaunchEnvironment(char* const* base,
                    const std::vector<std::pair<std::string, std::string>>& extra);
  LaunchEnvironment(const LaunchEnvironment&) = delete;
  LaunchEnvironment& operator=(const LaunchEnvironment&) = delete;

  // The list for execve; valid while this object lives.
  char* const* envp() const { return pointers_.data(); }

 private:
  std::vector<std::string> entries_;
  std::vector<char*> pointers_;
};

}  // namespace tovanik
