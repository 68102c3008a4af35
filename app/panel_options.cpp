#include "app/panel_options.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "app/version.h"

namespace tovanik {
namespace {

constexpr const char* kProgram = "tovanik-webserver";

constexpr const char* kHelp = R"(usage: tovanik-webserver [--help | --version] [Qt options]
The control panel of PHP's built-in web server for this program folder. It starts the
server unless it already runs; the server keeps running after the panel closes
(`tovanikctl stop` stops it). Only one panel runs per user and program folder.
  --help, -h       print this text and exit
  --version        print the version and exit
Qt's own options apply, for example -platform xcb|wayland|offscreen, -display :0,
-style NAME. Settings: config/config.ini beside the program (see tovanikctl --help).
)";

// Options QGuiApplication, QApplication and the X11 and Wayland plugins take from argv. Qt
// accepts each with one dash or two.
constexpr std::array<std::string_view, 16> kQtOptionsWithValue = {"platform",
                                                                  "platformpluginpath",
                                                                  "platformtheme",
                                                                  "plugin",
                                                                  "qwindowgeometry",
                                                                  "geometry",
                                                                  "qwindowtitle",
                                                                  "title",
                                                                  "qwindowicon",
                                                                  "icon",
                                                                  "session",
                                                                  "display",
                                                                  "name",
                                                                  "visual",
                                                                  "style",
                                                                  "stylesheet"};
constexpr std::array<std::string_view, 6> kQtFlags = {"reverse", "testability", "widgetcount",
                                                      "nograb",  "dograb",      "sync"};
constexpr std::array<std::string_view, 3> kQtOptionsWithEquals = {
    "style=", "stylesheet=", "qmljsdebugger="};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

template <std::size_t N>
bool startsWithAny(const std::array<std::string_view, N>& prefixes, std::string_view name) {
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](std::string_view prefix) { return name.starts_with(prefix); });
}

}  // namespace

PanelOptions parsePanelOptions(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") return {PanelAction::Help, {}};
    if (arg == "--version") return {PanelAction::Version, {}};
    if (arg.size() < 2 || arg[0] != '-') {
      return {PanelAction::Refuse, "unexpected argument '" + args[i] + "'"};
    }
    std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
    if (contains(kQtFlags, name) || startsWithAny(kQtOptionsWithEquals, name)) continue;
    if (contains(kQtOptionsWithValue, name)) {
      if (i + 1 == args.size())
        return {PanelAction::Refuse, "option '" + args[i] + "' needs a value"};
      ++i;
      continue;
    }
    return {PanelAction::Refuse, "unknown option '" + args[i] + "'"};
  }
  return {};
}

std::optional<int> answerPanelOptions(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  const PanelOptions options = parsePanelOptions(args);
  switch (options.action) {
    case PanelAction::Run:
      return std::nullopt;
    case PanelAction::Help:
      std::fputs(kHelp, stdout);
      return 0;
    case PanelAction::Version:
      std::printf("%s %s\n", kProgram, kVersion);
      return 0;
    case PanelAction::Refuse:
      sayProblem(options.problem + " (see --help)");
      return 2;
  }
  return 2;
}

void sayProblem(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str());
}

}  // namespace tovanik
