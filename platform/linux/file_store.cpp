#include "platform/file_store.h"

#include "platform/linux/file_bytes.h"
#include "platform/linux/safe_path.h"

namespace tovanik {

std::optional<std::string> readSettingsFile(const std::string& path, std::string* whyNot) {
  const auto target = resolveSettingsPath(path, whyNot);
  if (!target) return std::nullopt;
  return readResolvedFile(target->path(), whyNot);
}

}  // namespace tovanik
