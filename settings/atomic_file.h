#pragma once
// Whole-file replacement that never leaves a half-written file behind, and the locked
// read-change-replace cycle built on it.

#include <functional>
#include <string>
#include <string_view>

namespace tovanik {

// Replaces the contents of the file at `path` (no symbolic links on it: see
// resolveSettingsPath) with `bytes`: they go to a temporary file (".<name>.tmp-XXXXXX") in
// the same folder, which is flushed to disk and renamed over the file, so a reader or a
// crash at any moment sees either the old contents or the new ones.
// The new file keeps the old one's permission bits plus owner read/write and, when running
// as root, its owner and group. A file that did not exist gets 0666 minus the umask, plus
// owner read/write.
// Returns false, with the reason, when the file was not replaced (folder not writable,
// disk full, read-only file system, a folder in the file's place...): the old file is then
// untouched and the temporary file removed.
bool replaceFileAtomically(const std::string& path, std::string_view bytes,
                           std::string* whyNot = nullptr);

// Given the file's bytes, the bytes it should hold.
using FileEdit = std::function<std::string(const std::string& current)>;

// One read-change-replace of the settings file at `path`, one writer at a time: an
// exclusive flock on the file's folder is held from the read to the rename. The folder is
// locked rather than the file because the rename puts a new file in the old one's place:
// a lock on the file would stay with the replaced inode, and the next writer would lock
// the new one. While the lock is held no other writer is between its temporary file and
// its rename, so temporary files found then are left by killed writers and are removed.
// The file is read as by INIread (created when missing, owner read/write); when `edit`
// returns the same bytes, nothing is written. A writer waits at most 5 s for the lock
// and then fails, so a writer stopped while holding it cannot freeze the panel. A file
// system that has no locks for folders (NFS) gets the writes unlocked, as a lone writer
// would.
// Returns false, with the reason, when the file could not be read or replaced.
bool updateFileAtomically(const std::string& path, const FileEdit& edit,
                          std::string* whyNot = nullptr);

}  // namespace tovanik
