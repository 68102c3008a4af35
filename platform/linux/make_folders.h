#pragma once
// Making the missing folders of a path, the one rule for every folder the programs make.

#include <sys/types.h>

#include <string>

namespace tovanik {

// Creates each missing folder of the absolute `path` with `mode` (less the umask);
// `createdLast` tells whether the last one was made here. Run as root, a symbolic link
// on the way that another user owns is not followed: root's files would go wherever that
// user points it. False with errno (ELOOP for such a link).
bool makeFolders(const std::string& path, mode_t mode, bool* createdLast = nullptr);

}  // namespace tovanik
