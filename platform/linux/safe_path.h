#pragma once
// Resolving a settings file's path before it is read or written.

#include <deque>
#include <optional>
#include <string>

namespace tovanik {

// A settings file's path with every symbolic link, "." and ".." resolved. Run as root,
// `path()` reaches the file through its folder opened beforehand without following any
// link (/proc/self/fd/N/NAME), so a user who swaps a folder on the way for a link after
// the check cannot redirect the read or the write.
class SettingsPath {
 public:
  explicit SettingsPath(std::string path, int folderFd = -1, std::string shown = {});
  ~SettingsPath();
  SettingsPath(SettingsPath&& other) noexcept;
  SettingsPath& operator=(SettingsPath&&) = delete;
  SettingsPath(const SettingsPath&) = delete;
  SettingsPath& operator=(const SettingsPath&) = delete;

  const std::string& path() const { return path_; }
  // The resolved path, for messages: path() may be a /proc/self/fd name.
  const std::string& shown() const { return shown_.empty() ? path_ : shown_; }

 private:
  std::string path_;
  int folderFd_;
  std::string shown_;
};

// Resolves `path` as the kernel would follow it; the last component may be missing (a
// file about to be created, also through a dangling link). nullopt (with the reason) for
// a missing folder, a link loop, an unreadable link and, when running as root, for any
// symbolic link on the way that is owned by another user: root must not be steered into
// writing wherever a user's link points, the rule the kernel's protected_symlinks
// applies in sticky folders.
std::optional<SettingsPath> resolveSettingsPath(const std::string& path,
                                                std::string* whyNot = nullptr);

// Opens `folder`, a path without symbolic links, component by component without following
// any (O_PATH); -1 with errno (ENOTDIR, ELOOP) when a link or a file is met on the way.
int openFolderWithoutLinks(const std::string& folder);

// The names between the "/" of a path, empty ones (from "//" or the ends) left out.
std::deque<std::string> componentsOf(const std::string& path);

// `path` made absolute against the current folder, "." and ".." and repeated or trailing
// "/" removed as text, links kept. "" when the current folder cannot be read.
std::string lexicallyAbsolute(const std::string& path);

// "/a/b" -> "/a", "b" -> ".", "/b" -> "/"; the name after the last "/".
std::string folderOf(const std::string& path);
std::string nameOf(const std::string& path);

}  // namespace tovanik
