#pragma once
// Whether a privileged program may act on files: root must not run, serve or write what
// another user can change, nor follow that user's links.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tovanik {

// The first of `paths` that is not safe for `owner`, as one line naming the path and
// its owner: a symbolic link on the way (every one is followed) that `owner` does not
// own, or a target that `owner` does not own or that group or others may write. nullopt
// when all are safe. A path that does not exist is safe: there is nothing to run, read or
// serve (a missing config.ini is created by the caller, as its owner). Paths are
// absolute.
std::optional<std::string> firstPathNotOwnedBy(const std::vector<std::string>& paths, uid_t owner);

}  // namespace tovanik
