#pragma once
// Single-value access to INI files. The grammar is narrow and line-based; files are
// handled as bytes (values round-trip byte for byte, letter case folds on ASCII only).
//
// Lines end at CR LF, CR or LF. A section line is one whose first byte after blanks and
// tabs is "["; it opens a section when, without blanks and tabs around it, it is
// "[name]". A UTF-8 byte-order mark at the start of the file is kept and skipped. A key
// line starts with the key and "=" at its first byte; the value is the rest of the line.
// A file that starts with the UTF-16 byte-order mark is read as UTF-16 and written back so
// (text_encoding.h); one that does not decode as UTF-16 is refused and left as it is.
//
// Failure, for all of settings/: reads return nullopt and writes false, with the reason
// in `whyNot` when the caller asks for it (see platform/why_not.h); nothing throws. The
// text transforms cannot fail.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ascii_case.h"  // section and key names fold as ASCII A-Z only
#include "platform/file_store.h"

namespace tovanik {

// The text of the INI file at `path` as the operations below see it (a UTF-16 file as
// UTF-8), read from `store`; `patience` bounds the wait for another program holding it.
std::optional<std::string> readIniText(FileStore& store, const std::string& path,
                                       std::string* whyNot = nullptr,
                                       std::chrono::milliseconds patience = kLockPatience);

// Given the file's text, the text it should hold (the same text: leave it as it is).
using IniEdit = std::function<std::string(const std::string& text)>;

// One change of the INI file's text in one writer's turn (updateFileAtomically): the file
// keeps its encoding. False, with the reason, when nothing was written for a reason other
// than `edit` returning the same text.
bool updateIniText(FileStore& store, const std::string& path, const IniEdit& edit,
                   std::string* whyNot = nullptr,
                   std::chrono::milliseconds patience = kLockPatience);

// Value of `key` in the first `[section]` that holds it, read from `store`, or "" when the
// section or key
// is missing. A missing file (in an existing folder) is created empty. After the call the
// file is a regular file with owner read and write permission.
// Returns nullopt when the file cannot be created, opened or read (folder missing,
// access denied, a folder in its place, root meeting another user's symbolic link); the
// caller then keeps whatever it had, and `whyNot`, when given, says why.
std::optional<std::string> INIread(FileStore& store, const std::string& path,
                                   std::string_view section, std::string_view key,
                                   std::string* whyNot = nullptr,
                                   std::chrono::milliseconds patience = kLockPatience);

// Stores `key=value` in `[section]` by rewriting the whole file, one writer at a time and
// atomically (see updateFileAtomically; through a symbolic link to its target; permission
// bits kept plus owner read/write). A file that already holds exactly the new text is left
// alone. Returns false when nothing was written (folder missing, file unreadable, folder
// not writable, disk full); the file is then as it was, and `whyNot` says why.
// `lockPatience` bounds the wait for another writer (see file_store.h).
bool INIwrite(FileStore& store, const std::string& path, std::string_view section,
              std::string_view key, std::string_view value, std::string* whyNot = nullptr,
              std::chrono::milliseconds lockPatience = kLockPatience);

// The text transforms behind the two operations, free of any file access.
std::string iniLookup(std::string_view fileText, std::string_view section, std::string_view key);
// The new text without its final CR LF, which INIwrite adds.
std::string iniStore(std::string_view fileText, std::string_view section, std::string_view key,
                     std::string_view value);

}  // namespace tovanik
