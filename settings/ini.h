#pragma once
// Single-value access to INI files. The grammar is narrow and line-based; files are
// handled as bytes (values round-trip byte for byte, letter case folds on ASCII only).

#include <optional>
#include <string>
#include <string_view>

namespace tovanik {

// Value of `key` in the first `[section]` that holds it, or "" when the section or key
// is missing. A missing file (in an existing folder) is created empty. After the call the
// file is a regular file with owner read and write permission.
// Returns nullopt when the file cannot be created, opened or read (folder missing,
// access denied); the caller then keeps whatever it had.
std::optional<std::string> INIread(const std::string& path, std::string_view section,
                                   std::string_view key);

// Stores `key=value` in `[section]` by rewriting the whole file: atomically (temporary
// file in the same folder, flushed, renamed over the target; through a symbolic link to
// its target; permission bits kept plus owner read/write).
// Returns false when nothing was written (folder missing, file unreadable, folder not
// writable); the file is then as it was.
bool INIwrite(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value);

// The text transforms behind the two operations, free of any file access.
std::string iniLookup(std::string_view fileText, std::string_view section, std::string_view key);
std::string iniStore(std::string_view fileText, std::string_view section, std::string_view key,
                     std::string_view value);

}  // namespace tovanik
