#pragma once
// The panel's command line, answered before Qt starts: --help and --version need no display,
// start nothing and take no lock. Qt's own options (-platform, -display, -style, ...) pass
// through to QApplication; anything else is refused.

#include <optional>
#include <string>
#include <vector>

namespace tovanik {

enum class PanelAction { Run, Help, Version, Refuse };

struct PanelOptions {
  PanelAction action = PanelAction::Run;
  std::string problem;  // for Refuse: what was wrong, one line without the program name
};

// `args` are the arguments after the program name.
PanelOptions parsePanelOptions(const std::vector<std::string>& args);

// Prints the help, the version or the refusal; returns the exit code (0, or 2 for a refused
// command line), or nullopt when the panel should start.
std::optional<int> answerPanelOptions(int argc, char** argv);

// Prints "tovanik-webserver: TEXT" on the standard error. The panel writes through C's
// streams: a C++ stream (<iostream>) sets up the C++ library's locales at every start,
// before main, about 0.4 MiB of that library's pages for messages seldom written.
void sayProblem(const std::string& text);

}  // namespace tovanik
