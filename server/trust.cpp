#include "server/trust.h"

#include "platform/path_text.h"
#include "settings/config.h"

namespace tovanik {

std::optional<std::string> untrustedProgramFolder(Platform& platform,
                                                  const std::string& programFolder) {
  return platform.untrustedPath(
      {programFolder, joinPath(programFolder, "config"), configPath(programFolder)});
}

std::optional<std::string> untrustedServerFiles(Platform& platform,
                                                const std::string& programFolder,
                                                const ServerSettings& s) {
  return platform.untrustedPath({programFolder, joinPath(programFolder, "config"),
                                 configPath(programFolder), joinPath(programFolder, s.phpFolder),
                                 serverPath(programFolder, s),
                                 joinPath(programFolder, s.rootDirectory)});
}

}  // namespace tovanik
