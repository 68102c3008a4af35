#include "server/trust.h"

#include "platform/path_text.h"
#include "server/server_settings.h"
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
  std::vector<std::string> paths{programFolder, joinPath(programFolder, "config"),
                                 configPath(programFolder), joinPath(programFolder, s.phpFolder),
                                 serverPath(programFolder, s),
                                 joinPath(programFolder, s.rootDirectory)};
  // The scripts the server runs for every request, and its php.ini, which can load any
  // extension: what another user could change here would run as root.
  for (std::string path : {routerPath(programFolder, s), phpIniPath(programFolder, s)})
    if (!path.empty()) paths.push_back(std::move(path));
  return platform.untrustedPath(paths);
}

std::optional<std::string> untrustedFolder(Platform& platform, const std::string& programFolder) {
  if (auto folder = untrustedProgramFolder(platform, programFolder)) return folder;
  const auto s = readServerSettings(ConfigFile(programFolder, platform));
  if (!s) return std::nullopt;  // nothing will be started from settings that cannot be read
  return untrustedServerFiles(platform, programFolder, *s);
}

}  // namespace tovanik
