#pragma once
// The settings store's file operations: reading a settings file whole, and replacing it
// whole, never half-written, one writer at a time. One implementation per operating system
// (platform/linux/, platform/windows/); settings/ holds only the format on top of them.
//
// Failure: every operation returns nullopt or false and, when `whyNot` is given, puts the
// system's reason there ("No space left on device"); see why_not.h.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tovanik {

// The largest settings file read, 1 MiB: a settings file holds a few short values. A
// larger one (a mistake, or another user's way to exhaust a reader's memory and time) is
// refused before anything of it is read, and so never rewritten.
inline constexpr std::uint64_t kSettingsFileLimit = 1024 * 1024;

// Why a settings file of `size` bytes is refused, as the reason of a one-line message.
inline std::string settingsFileTooLarge(std::uint64_t size) {
  return "it is " + std::to_string(size) + " bytes, more than the 1 MiB (1048576 bytes) " +
         "a settings file may hold";
}

// The bytes of the settings file at `path`, for INIread. A missing file in an existing
// folder is created empty; afterwards the file is a regular file its owner may read and
// write, so a file made read-only by hand does not block the next change. nullopt when it
// cannot be created, opened or read, is no regular file, is larger than
// kSettingsFileLimit (then nothing of it changes), or (run as root) the path passes
// through a symbolic link owned by another user.
std::optional<std::string> readSettingsFile(const std::string& path, std::string* whyNot = nullptr);

// Replaces the contents of the file at `path` with `bytes`: they go to a temporary file in
// the same folder, which is flushed to disk and moved over the file, so a reader or a
// crash at any moment sees either the old contents or the new ones. The new file keeps the
// old one's permissions (and, for root, its owner), plus owner read/write.
// Returns false when the file was not replaced: the old file is then untouched and the
// temporary file removed.
bool replaceFileAtomically(const std::string& path, std::string_view bytes,
                           std::string* whyNot = nullptr);

// One version of a file: any change of its bytes, its permissions or the file at its path
// gives another stamp. Lets a reader that runs once a second skip reading a file that has
// not changed.
struct FileStamp {
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t modifiedNs = 0, changedNs = 0;
  bool operator==(const FileStamp&) const = default;
};
// nullopt when the file cannot be looked at (then it must be read to learn why).
std::optional<FileStamp> fileStamp(const std::string& path);

// Creates the folder at `path` when it is missing (its parent must exist), with the
// user's default permissions. True when it exists afterwards.
bool ensureFolder(const std::string& path, std::string* whyNot = nullptr);

// Given the file's bytes, the bytes it should hold.
using FileEdit = std::function<std::string(const std::string& current)>;

// How long a writer waits for another one by default: tovanikctl's patience. The panel
// waits less (kPanelLockPatience), so its window never freezes for seconds.
inline constexpr std::chrono::milliseconds kLockPatience{5000};
inline constexpr std::chrono::milliseconds kPanelLockPatience{250};

// One read-change-replace of the settings file at `path`, for INIwrite, one writer at a
// time: a lock that only the writer's user can take (a 0600 file beside the settings
// file, ".<name>.lock") is held from the read to the replace, so no other writer's change
// is lost. A writer waits at most `lockPatience` for it, then fails. The file is read as
// by readSettingsFile; when `edit` returns the same bytes, nothing is written. Temporary
// files of writers that were killed are removed.
bool updateFileAtomically(const std::string& path, const FileEdit& edit,
                          std::string* whyNot = nullptr,
                          std::chrono::milliseconds lockPatience = kLockPatience);

}  // namespace tovanik
