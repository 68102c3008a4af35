#pragma once
// Whole-file replacement that never leaves a half-written file behind.

#include <string>
#include <string_view>

namespace tovanik {

// Replaces the contents of the file at `path` with `bytes`: the bytes go to a temporary file
// (".<name>.XXXXXX") in the same folder, which is flushed to disk and renamed over the file,
// so a reader or a crash at any moment sees either the old contents or the new ones.
// A symbolic link at `path` is followed and its target is replaced; the link stays a link.
// The new file keeps the old one's permission bits plus owner read/write and, when running
// as root, its owner and group. A file that did not exist gets 0666 minus the umask, plus
// owner read/write.
// Returns false when the file was not replaced (folder missing or not writable, disk full,
// a symbolic link loop, ...): the old file is then untouched and the temporary file removed.
bool replaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace tovanik
