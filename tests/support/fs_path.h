#pragma once
// Paths for the standard library's file functions in the tests. The programs themselves
// make no such calls on Windows (the library's file-system code brings its locale machinery
// with it); the tests may.

#include <filesystem>
#include <string>
#include <string_view>

namespace tovanik {

// A UTF-8 path for the standard library's file functions. Built from UTF-8 explicitly: a
// narrow string would go through the ANSI code page on Windows.
inline std::filesystem::path fsPath(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace tovanik
