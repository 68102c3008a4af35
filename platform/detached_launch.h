#pragma once
// Starting programs that outlive the caller and are never waited for.

#include <string>
#include <vector>

namespace tovanik {

// Starts argv[0] with argv as its argument vector, never through a shell. The program
// runs in a session of its own, with stdin/stdout/stderr on /dev/null, no other
// inherited descriptors, default signal handling and an empty signal mask, in the
// caller's current directory and environment. A double fork hands it to init (or the
// nearest subreaper), so it can never stay behind as the caller's zombie.
// argv[0] containing '/' is used as it is; a bare name is looked up on PATH.
// Returns true once the program has been executed, false when it could not be
// (missing, not executable, fork failure, empty argv).
bool launchDetachedProcess(const std::vector<std::string>& argv);

// The file `name` would run as: itself when it holds '/', else the first executable
// regular file of that name in a PATH folder (PATH unset: /usr/local/bin:/usr/bin:/bin).
// "" when there is none.
std::string resolveExecutable(const std::string& name);

// The terminal program for showing a server's console: the first of
// x-terminal-emulator and xterm on PATH, as a full path; "" when neither exists.
std::string findTerminalProgram();

// [terminal, "-e", argv...]: the xterm convention, which x-terminal-emulator follows.
std::vector<std::string> terminalArgv(const std::string& terminal,
                                      const std::vector<std::string>& argv);

}  // namespace tovanik
