// tovanikctl's settings commands: `ini` on any INI file, `config` on the program's own.
// A value is stored only when the panel can read it back as stored; every refusal and
// failure is one line on stderr, naming the rule or the reason, and exit code 1.

#include "app/ctl_commands.h"
#include "settings/config.h"
#include "settings/ini.h"
#include "settings/value_rules.h"

namespace tovanik::ctl {
namespace {

int cannot(const Context& c, const char* what, const std::string& path, const std::string& why) {
  return fail(c, std::string("cannot ") + what + " " + path + ": " + why);
}

// A read from the command line never writes: the reader the panel shares would create a
// missing file, so a missing one is named here and left missing.
bool missing(const Context& c, const std::string& path, std::string* why) {
  return !c.platform.fileStore().stamp(path) &&
         c.platform.pathKind(path, why) == PathKind::Unusable;
}

}  // namespace

std::string escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xf];
    } else {
      out += c;
    }
  }
  return out;
}

int ini(const Context& c, const std::vector<std::string>& args) {
  std::string why;
  if (args.size() == 4 && args[0] == "get") {
    if (missing(c, args[1], &why)) return cannot(c, "read", args[1], why);
    const auto value = INIread(c.platform.fileStore(), args[1], args[2], args[3], &why);
    if (!value) return cannot(c, "read", args[1], why);
    c.out << *value << '\n';
    return 0;
  }
  if (args.size() == 5 && args[0] == "set") {
    if (const auto problem = iniEntryProblem(args[2], args[3], args[4])) return fail(c, *problem);
    if (!INIwrite(c.platform.fileStore(), args[1], args[2], args[3], args[4], &why))
      return cannot(c, "write", args[1], why);
    return 0;
  }
  return usageError(c,
                    "usage: tovanikctl ini get FILE SECTION KEY | ini set FILE SECTION KEY VALUE");
}

int config(const Context& c, const std::vector<std::string>& args) {
  const ConfigFile file(c.programFolder, c.platform);
  std::string why;
  if (args.size() == 2 && args[0] == "get") {
    if (const auto unknown = unknownKeyProblem(args[1])) return fail(c, *unknown);
    if (missing(c, file.path(), &why)) return cannot(c, "read", file.path(), why);
    const auto value = file.read(*keyNamed(args[1]), &why);
    if (!value) return cannot(c, "read", file.path(), why);
    c.out << *value << '\n';
    return 0;
  }
  if (args.size() == 3 && args[0] == "set") {
    if (const auto problem = configValueProblem(args[1], args[2])) return fail(c, *problem);
    if (!file.write(*keyNamed(args[1]), args[2], &why)) {
      return cannot(c, "write", file.path(), why);
    }
    return 0;
  }
  return usageError(c, "usage: tovanikctl config get KEY | config set KEY VALUE");
}

}  // namespace tovanik::ctl
