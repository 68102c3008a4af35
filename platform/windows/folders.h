#pragma once
// Making a folder with every missing folder above it, by the system's own calls (at any
// length, through filePath): the programs link none of the C++ library's file-system code,
// which would bring its locale machinery in with it.

#include <optional>
#include <string>
#include <string_view>

namespace tovanik::windows {

// Makes `folder` (UTF-8) and the folders above it that are missing. nullopt when it is a
// folder afterwards, else the system's reason for the first one that could not be made.
std::optional<std::string> makeFolders(std::string_view folder);

}  // namespace tovanik::windows
