#pragma once
// Starting programs that may outlive the caller: the server, its terminal, the opener.

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/linux/launch_environment.h"

namespace tovanik {

// Starts argv[0] with argv as its argument vector, never through a shell, with the C
// library's posix_spawn. The program runs in a session of its own (so it leads its
// process group), with stdin on /dev/null, stdout and stderr appended to `outputFile`
// (the log, opened by its rules: log_files.h; on /dev/null when it is empty or cannot be
// opened), no other inherited descriptors, default signal handling and an empty signal
// mask, in the caller's current directory, with `envp` as its environment (the caller's
// own, `environ`, when it is nullptr; run as root, a clean one made of it:
// launch_environment.h). It shares the caller's memory until the exec (posix_spawn's
// clone with CLONE_VM and CLONE_VFORK), so no copy of the caller's page tables is made,
// however large it is. It is the caller's own child: the caller reaps it once it has
// ended (waitpid), or it stays a zombie until the caller ends; a caller that ends first
// hands it to init (or the nearest subreaper), and it runs on.
// argv[0] containing '/' is used as it is; a bare name is looked up on PATH.
// Returns the program's PID once it has been executed, 0 when it could not be (missing,
// not executable, no process could be made, empty argv), with errno telling why.
pid_t launchDetachedProcess(const std::vector<std::string>& argv,
                            const std::string& outputFile = "", char* const* envp = nullptr);

// Why an opener that exited with waitpid's `status` did not open anything, in words
// naming it ("xdg-open found no program to open it (exit status 3)"); "" for exit 0.
std::string openerExitReason(const std::string& opener, int status);

// The file `name` would run as: itself when it holds '/', else the first executable
// regular file of that name in a folder of `searchPath` (launch_environment.h: root's
// launches look only in the system's folders). "" when there is none.
std::string resolveExecutable(const std::string& name,
                              const std::string& searchPath = launchSearchPath());

// The terminal program for showing a server's console: the first of
// x-terminal-emulator and xterm on the search path, as a full path; "" when neither exists.
std::string findTerminalProgram(const std::string& searchPath = launchSearchPath());

// The title of the terminal that shows the server's console.
inline constexpr const char* kConsoleTitle = "Tovanik PHP Web Server \xE2\x80\x94 server";

// [terminal, "-T", kConsoleTitle, "-e", argv...]: the xterm convention, which
// x-terminal-emulator follows; for xterm itself also a UTF-8 title and a place on screen.
std::vector<std::string> terminalArgv(const std::string& terminal,
                                      const std::vector<std::string>& argv);

}  // namespace tovanik
