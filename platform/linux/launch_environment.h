#pragma once
// The environment a launched program gets: a base list of NAME=VALUE entries with some
// variables set on top, ready for execve. Made before the launch, since the cloned child
// may not allocate.

#include <string>
#include <utility>
#include <vector>

namespace tovanik {

class LaunchEnvironment {
 public:
  // `base` is a null-terminated NAME=VALUE list (the caller's `environ`); each extra
  // (name, value) replaces an entry of the same name or is added at the end.
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
