#pragma once
// Paths as text: the separator of the system the program is built for, and joining.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tovanik {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr const char* kPathSeparators = "\\/";  // both end a folder's name
inline constexpr const char* kExecutableSuffix = ".exe";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr const char* kPathSeparators = "/";
inline constexpr const char* kExecutableSuffix = "";
#endif

// "folder" + separator + "name", as the design composes paths: nothing is normalised.
inline std::string joinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  joined += kPathSeparator;
  joined += name;
  return joined;
}

// The name after the path's last separator (the system's); the whole path when it has none.
inline std::string_view baseName(std::string_view path) {
  const std::size_t separator = path.find_last_of(kPathSeparators);
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

// The path before its last separator; "" when it has none.
inline std::string_view parentFolder(std::string_view path) {
  const std::size_t separator = path.find_last_of(kPathSeparators);
  return separator == std::string_view::npos ? std::string_view() : path.substr(0, separator);
}

// 8 hexadecimal digits of a hash (FNV-1a) of the whole path, stable across builds and
// machines: what keeps two folders of the same name apart in the names made from them (the
// server's log, the menu entry).
inline std::string shortPathHash(std::string_view path) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : path) hash = (hash ^ c) * 1099511628211ull;
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(digits, 8);
}

}  // namespace tovanik
