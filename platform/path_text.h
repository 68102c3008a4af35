#pragma once
// Paths as text: the separator of the system the program is built for, and joining.

#include <filesystem>
#include <string>
#include <string_view>

namespace tovanik {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// "folder" + separator + "name", as the design composes paths: nothing is normalised.
inline std::string joinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  joined += kPathSeparator;
  joined += name;
  return joined;
}

// A UTF-8 path for the standard library's file functions. Built from UTF-8 explicitly: a
// narrow string would go through the ANSI code page on Windows.
inline std::filesystem::path fsPath(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace tovanik
