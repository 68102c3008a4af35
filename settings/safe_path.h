#pragma once
// Resolving a settings file's path before it is read or written.

#include <optional>
#include <string>

namespace tovanik {

// The path with every symbolic link, "." and ".." resolved, as the kernel would follow
// them; the last component may be missing (a file about to be created, also through a
// dangling link). nullopt (with the reason) for a missing folder, a link loop, an
// unreadable link and, when running as root, for any symbolic link on the way that is
// owned by another user: root must not be steered into writing wherever a user's link
// points, the rule the kernel's protected_symlinks applies in sticky folders.
std::optional<std::string> resolveSettingsPath(const std::string& path,
                                               std::string* whyNot = nullptr);

// "/a/b" -> "/a", "b" -> ".", "/b" -> "/"; the name after the last "/".
std::string folderOf(const std::string& path);
std::string nameOf(const std::string& path);

}  // namespace tovanik
