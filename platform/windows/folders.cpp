#include "platform/windows/folders.h"

#include <windows.h>

#include <vector>

#include "platform/windows/wide_text.h"

namespace tovanik::windows {
namespace {

bool isFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes one folder; nullopt when it is one afterwards (made now or before).
std::optional<DWORD> makeFolder(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return std::nullopt;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS && isFolder(path)) return std::nullopt;
  return error;
}

}  // namespace

std::optional<std::string> makeFolders(std::string_view folder) {
  std::wstring path = filePath(folder);
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  // Up from the folder itself to the first that exists or can be made ...
  std::vector<std::size_t> ends{path.size()};
  for (;;) {
    const std::wstring current = path.substr(0, ends.back());
    const std::optional<DWORD> error = makeFolder(current);
    if (!error) break;
    const std::size_t separator = current.find_last_of(L"\\/");
    if (*error != ERROR_PATH_NOT_FOUND || separator == std::wstring::npos || separator == 0)
      return systemMessage(*error);
    ends.push_back(separator);
  }
  ends.pop_back();
  // ... then down again, making each below it.
  for (; !ends.empty(); ends.pop_back())
    if (const auto error = makeFolder(path.substr(0, ends.back()))) return systemMessage(*error);
  return std::nullopt;
}

}  // namespace tovanik::windows
