#pragma once
// Single-value access to INI files. The grammar is narrow and line-based; files are
// handled as bytes (values round-trip byte for byte, letter case folds on ASCII only).
//
// Lines end at CR LF, CR or LF. A section line is one whose first byte after blanks and
// tabs is "["; it opens a section when, without blanks and tabs around it, it is
// "[name]". A UTF-8 byte-order mark at the start of the file is kept and skipped. A key
// line starts with the key and "=" at its first byte; the value is the rest of the line.
//
// Failure, for all of settings/: reads return nullopt and writes false, with the reason
// in `whyNot` when the caller asks for it (see platform/why_not.h); nothing throws. The
// text transforms cannot fail.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ascii_case.h"  // section and key names fold as ASCII A-Z only
namespace tovanik {

// Value of `key` in the first `[section]` that holds it, or "" when the section or key
// is missing. A missing file (in an existing folder) is created empty. After the call the
// file is a regular file with owner read and write permission.
// Returns nullopt when the file cannot be created, opened or read (folder missing,
// access denied, a folder in its place, root meeting another user's symbolic link); the
// caller then keeps whatever it had, and `whyNot`, when given, says why.
std::optional<std::string> INIread(const std::string& path, std::string_view section,
                                   std::string_view key, std::string* whyNot = nullptr);

// Stores `key=value` in `[section]` by rewriting the whole file, one writer at a time and
// atomically (see updateFileAtomically; through a symbolic link to its target; permission
// bits kept plus owner read/write). A file that already holds exactly the new text is left
// alone. Returns false when nothing was written (folder missing, file unreadable, folder
// not writable, disk full); the file is then as it was, and `whyNot` says why.
// `lockPatience` bounds the wait for another writer (see file_store.h).
bool INIwrite(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value, std::string* whyNot = nullptr,
              std::chrono::milliseconds lockPatience = std::chrono::seconds(5));

// The text transforms behind the two operations, free of any file access.
std::string iniLookup(std::string_view fileText, std::string_view section, std::string_view key);
// The new text without its final CR LF, which INIwrite adds.
std::string iniStore(std::string_view fileText, std::string_view section, std::string_view key,
                     std::string_view value);

}  // namespace tovanik
