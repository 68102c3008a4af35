#pragma once
// The user's own folders (home, XDG base folders), by one rule for every use: the state
// folder with the log and the lock, the menu entry's data folder, what root launches.

#include <string>

namespace tovanik {

// An absolute folder named by the environment variable `name`; "" when it is unset,
// relative or not to be trusted. Run as root, the environment may be a user's (sudo -E
// leaves HOME and the XDG variables): root takes a folder from it only when root owns it
// and every folder and link on the way, nobody else may write it, and, where it does not
// exist yet, nobody else can create it (firstPathNotOwnedBy). `existingMustBeSafe`: for
// anyone, a folder that exists is taken only when it is the caller's own and nobody else
// may write it. Trailing "/" removed.
std::string trustedFolderVariable(const char* name, bool existingMustBeSafe = false);

// The user's home: $HOME by trustedFolderVariable, else (unset, relative, or for root not
// root's own) the home the password database names for the effective user. "" when
// neither names one.
std::string homeFolder();

// $`variable` by trustedFolderVariable, else `underHome` below homeFolder() (the XDG
// rule: relative values are ignored). "" when there is no home.
std::string xdgFolder(const char* variable, const char* underHome,
                      bool existingMustBeSafe = false);

}  // namespace tovanik
