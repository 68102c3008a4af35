#include "server/server_settings.h"

namespace tovanik {

ServerSettings serverSettingsOf(const ConfigValues& values) {
  return {values[Key::exe_name],       values[Key::php_folder],     values[Key::server_port],
          values[Key::root_directory], values[Key::command_prompt], values[Key::router],
          values[Key::workers],        values[Key::listen_address], values[Key::php_ini],
          values[Key::php_settings]};
}

std::optional<ServerSettings> readServerSettings(const ConfigFile& config, std::string* whyNot) {
  const auto values = config.readAll(whyNot);
  if (!values) return std::nullopt;
  return serverSettingsOf(*values);
}

}  // namespace tovanik
