#pragma once
// Starting programs that outlive the caller and are never waited for.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace tovanik::windows {

// The command line that starts argv, composed as the server's is: argv[0] in double
// quotes; each further argument bare, or in double quotes when it is empty or holds a
// blank, a tab, "\" or "/" (a path) or a double quote. The system's parsing
// (CommandLineToArgvW, the C runtime's) gives back exactly argv: inside the quotes, a
// backslash run before a double quote is doubled and the quote escaped, so a folder
// ending in "\" reads "C:\site\\". For every value without such a run the line is the
// one the panel shows (serverCommandLine).
std::wstring commandLineOf(const std::vector<std::string>& argv);

// `program` with `path` as its one argument in double quotes: notepad.exe "C:\...".
std::wstring quotedArgumentLine(const std::wstring& program, const std::string& path);

// Starts `commandLine` as a new process of `application` (the file to run; nullptr to
// let the system find the first token of the line), not waited for, its handles
// closed. Hidden: no console window (CREATE_NO_WINDOW), standard input on NUL, standard
// output and error on `output` (NUL when it is nullptr), and nothing else inherited (an
// explicit handle list). Shown: a console window of its own (CREATE_NEW_CONSOLE), shown
// normally, inheriting nothing. The process leaves the caller's job where the job allows
// it, so it outlives a caller whose job ends its processes. Returns its PID, 0 with
// GetLastError telling why. `environment` is a block of environmentBlockWith, or empty
// for the caller's own environment.
DWORD startProcess(const wchar_t* application, std::wstring commandLine, ConsoleMode mode,
                   HANDLE output = nullptr, const std::wstring& environment = {});

// The caller's environment with each (name, value) of `extra` set on top (a name of the
// same letters in any case replaced), as CreateProcessW takes it: UTF-16 NAME=VALUE
// entries, each ended by a NUL, sorted by name as the system keeps them, and a final NUL.
// Empty when `extra` is.
std::wstring environmentBlockWith(const std::vector<std::pair<std::string, std::string>>& extra);

}  // namespace tovanik::windows
