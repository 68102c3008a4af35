// tovanikctl's settings commands: `ini` on any INI file, `config` on the program's own.
#include <ostream>

#include "app/ctl_commands.h"
#include "settings/config.h"
#include "settings/ini.h"

namespace tovanik::ctl {
namespace {

bool hasControlCharacter(const std::string& s) {
  for (unsigned char ch : s)
    if (ch < 0x20 || ch == 0x7F) return true;
  return false;
}

}  // namespace

int ini(const Context& c, const std::vector<std::string>& args) {
  if (args.size() == 4 && args[0] == "get") {
    const auto value = INIread(args[1], args[2], args[3]);
    if (!value) return fail(c, "cannot read " + args[1]);
    c.out << *value << '\n';
    return 0;
  }
  if (args.size() == 5 && args[0] == "set") {
    if (!INIwrite(args[1], args[2], args[3], args[4])) return fail(c, "cannot write " + args[1]);
    return 0;
  }
  return fail(c, "usage: tovanikctl ini get FILE SECTION KEY | ini set FILE SECTION KEY VALUE");
}

int config(const Context& c, const std::vector<std::string>& args) {
  const ConfigFile file(c.programFolder);
  if (args.size() == 2 && args[0] == "get") {
    const auto value = file.read(args[1]);
    if (!value) return fail(c, "cannot read " + file.path());
    c.out << *value << '\n';
    return 0;
  }
  if (args.size() == 3 && args[0] == "set") {
    const std::string& key = args[1];
    const std::string& value = args[2];
    if (key.empty() || hasControlCharacter(key) || key.find_first_of("=[]") != std::string::npos)
      return fail(c, "invalid key '" + key + "'");
    if (hasControlCharacter(value))
      return fail(c, "refusing a value with a line break or other control character");
    if (key == "server_port" && !isNumericPort(value))
      return fail(c, "server_port must be plain digits, got '" + value + "'");
    if (!file.write(key, value)) return fail(c, "cannot write " + file.path());
    return 0;
  }
  return fail(c, "usage: tovanikctl config get KEY | config set KEY VALUE");
}

}  // namespace tovanik::ctl
