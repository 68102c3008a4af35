#include "server/server_settings.h"

namespace tovanik {

ServerSettings readServerSettings(const ConfigFile& config, bool* allRead, std::string* whyNot) {
  ServerSettings s;
  bool ok = true;
  auto take = [&](std::string_view key, std::string& field) {
    std::string why;
    if (auto value = config.read(key, &why)) {
      field = std::move(*value);
    } else {
      if (ok && whyNot) *whyNot = why;  // the first failure says why
      ok = false;                       // keep the field as it was: empty
    }
  };
  take("exe_name", s.exeName);
  take("root_directory", s.rootDirectory);
  take("server_port", s.serverPort);
  take("command_prompt", s.commandPrompt);
  take("php_folder", s.phpFolder);
  if (allRead) *allRead = ok;
  return s;
}

}  // namespace tovanik
