#pragma once
// The settings store's file operations: reading a settings file whole, and replacing it
// whole, never half-written, one writer at a time. FileStore is the interface settings/
// and the panel use, passed in through Platform::fileStore(): one backend per operating
// system (platform/linux/, platform/windows/), an in-memory fake for tests
// (tests/support/fake_file_store.h). The read-edit-compare-replace of one update is
// written once, here (updateFileAtomically), on top of each backend's primitives.
//
// Failure: every operation returns nullopt, nullptr or false and, when `whyNot` is given,
// puts the system's reason there ("No space left on device"); see why_not.h.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

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

// One version of a file: any change of its bytes, its permissions or the file at its path
// gives another stamp. Lets a reader that runs once a second skip reading a file that has
// not changed.
struct FileStamp {
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t modifiedNs = 0, changedNs = 0;
  bool operator==(const FileStamp&) const = default;
};

// How long a writer waits for another one by default: tovanikctl's patience. The panel
// waits less (kPanelLockPatience), so its window never freezes for seconds. On Windows the
// same patience bounds the wait for another program holding the file open.
inline constexpr std::chrono::milliseconds kLockPatience{5000};
inline constexpr std::chrono::milliseconds kPanelLockPatience{250};

// One writer's turn at a settings file: the writers' lock, held from the read to the
// replace and released when the turn is destroyed.
class FileTurn {
 public:
  virtual ~FileTurn() = default;
  // The file's bytes, read as FileStore::read does.
  virtual std::optional<std::string> read(std::string* whyNot) = 0;
  // Replaces the file's bytes as FileStore::replace does.
  virtual bool replace(std::string_view bytes, std::string* whyNot) = 0;
};

class FileStore {
 public:
  virtual ~FileStore() = default;

  // The bytes of the settings file at `path`, for INIread. A missing file in an existing
  // folder is created empty; afterwards the file is a regular file its owner may read and
  // write, so a file made read-only by hand does not block the next change. nullopt when
  // it cannot be created, opened or read, is no regular file, is larger than
  // kSettingsFileLimit (then nothing of it changes), or (run as root) the path passes
  // through a symbolic link owned by another user. Another program holding the file
  // (Windows) is waited for at most `patience`.
  virtual std::optional<std::string> read(const std::string& path, std::string* whyNot,
                                          std::chrono::milliseconds patience) = 0;

  // Replaces the contents of the file at `path` with `bytes`: they go to a temporary file
  // in the same folder, which is flushed to disk and moved over the file, so a reader or a
  // crash at any moment sees either the old contents or the new ones. The new file keeps
  // the old one's permissions (and, for root, its owner), plus owner read/write.
  // Returns false when the file was not replaced: the old file is then untouched and the
  // temporary file removed.
  virtual bool replace(const std::string& path, std::string_view bytes, std::string* whyNot) = 0;

  // nullopt when the file cannot be looked at (then it must be read to learn why).
  virtual std::optional<FileStamp> stamp(const std::string& path) = 0;

  // How long ago the file's bytes last changed, by its own time stamp; nullopt when it
  // cannot be looked at (missing). A stamp in the future counts as just now.
  virtual std::optional<std::chrono::milliseconds> sinceLastChange(const std::string& path) = 0;

  // Creates the folder at `path` when it is missing (its parent must exist), with the
  // user's default permissions. True when it exists afterwards.
  virtual bool ensureFolder(const std::string& path, std::string* whyNot) = 0;

  // Waits at most `patience` for the writers' lock of the file at `path`: a lock that only
  // the writer's user can take (a file beside the settings file, ".<name>.lock"). Temporary
  // files of writers that were killed are removed. nullptr when the lock cannot be had;
  // after `patience`, with lockHeldTooLong's reason.
  virtual std::unique_ptr<FileTurn> takeTurn(const std::string& path,
                                             std::chrono::milliseconds patience,
                                             std::string* whyNot) = 0;
};

// The temporary files a writer makes beside the settings file `name`: ".<name>.tmp-" and
// kTempRandomLength letters or digits, so that the next writer knows and removes those a
// killed one left. One rule for both systems' names (std::string, or UTF-16 std::wstring).
inline constexpr std::size_t kTempRandomLength = 6;

template <typename Text>
Text tempNamePrefix(const Text& name) {
  Text prefix(1, '.');
  prefix += name;
  for (const char c : std::string_view(".tmp-")) prefix += static_cast<typename Text::value_type>(c);
  return prefix;
}

template <typename Text>
bool isTempNameOf(const Text& entry, const Text& prefix) {
  if (entry.size() != prefix.size() + kTempRandomLength || entry.compare(0, prefix.size(), prefix))
    return false;
  for (std::size_t i = prefix.size(); i < entry.size(); ++i) {
    const auto c = entry[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// The reason a writer gives up after waiting `patience` for another one.
std::string lockHeldTooLong(std::chrono::milliseconds patience);

// Given the file's bytes, the bytes it should hold; nullopt (with the reason in `whyNot`)
// leaves the file as it is and fails the update.
using FileEdit =
    std::function<std::optional<std::string>(const std::string& current, std::string* whyNot)>;

// One read-edit-compare-replace of the settings file at `path`, for INIwrite, in one turn
// of the writers' lock, so no other writer's change is lost. When `edit` returns the same
// bytes, nothing is written.
bool updateFileAtomically(FileStore& store, const std::string& path, const FileEdit& edit,
                          std::string* whyNot = nullptr,
                          std::chrono::milliseconds lockPatience = kLockPatience);

// The operating system's store (one per process), waiting on the system's clock.
FileStore& systemFileStore();
// The operating system's store waiting on `timing`'s clock: a test platform's real files.
std::unique_ptr<FileStore> systemFileStoreOn(Timing& timing);

}  // namespace tovanik
