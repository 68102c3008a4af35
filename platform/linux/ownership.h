#pragma once
// Whether a privileged program may act on files: root must not run, serve or write what
// another user can change, nor follow that user's links.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tovanik {

// The first of `paths` that is not safe for `owner`, as one line naming the path and
// what failed: a real folder on the way, from "/" down, that `owner` does not own or
// that group or others may write (a sticky folder such as /tmp excepted: the entry below
// it is checked in turn); a symbolic link on the way (every one is followed) that `owner`
// does not own; or a target that `owner` does not own or that group or others may write.
// Checked once so, no other user can change anything on the way afterwards: no folder
// above can be renamed or swapped (renameat2 RENAME_EXCHANGE included). nullopt when all
// are safe. A path that does not exist is safe only when the deepest folder that does
// exist above it is `owner`'s and writable by `owner` alone, sticky or not: then nobody
// else can create it (a missing config.ini is made by the caller, as its owner). Paths
// are absolute.
std::optional<std::string> firstPathNotOwnedBy(const std::vector<std::string>& paths, uid_t owner);

// Whether `path` is a folder that exists and is safe to keep this user's files in as it
// is: the caller's own, and neither group nor others may write it; run as root, the same
// holds for every folder above it and every link on the way (firstPathNotOwnedBy). Such a
// folder is used as it is, never chmod-ed; one that is not safe is not used.
bool isSafeFolder(const std::string& path);

}  // namespace tovanik
