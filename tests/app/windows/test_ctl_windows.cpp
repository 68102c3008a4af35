// tovanikctl on Windows (Wine here) with the stand-in server: its commands run in-process
// on the real Windows backend against a program folder whose path holds a blank and a
// letter outside ASCII; tovanikctl.exe itself for its UTF-16 arguments, UTF-8 output and
// exit codes; and the Start-menu shortcut. What needs no real process (the refusals of
// config set and start) runs on the recording platform in test_both_callers.cpp.
#include <windows.h>
// The shell's headers need windows.h before them.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/ctl_commands.h"
#include "platform/path_text.h"
#include "platform/windows/wide_text.h"
#include "server/command.h"
#include "settings/config.h"
#include "tests/support/ctl_run.h"
#include "tests/support/fs_path.h"
#include "tests/support/test_support.h"
#include "tests/support/windows_processes.h"

namespace tovanik {
namespace {

using namespace test;
using windows::utf16;
using windows::utf8;

class Ctl : public StandInServer {
 protected:
  CtlRun run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--folder", folder});
    std::ostringstream out, err;
    const int rc = ctl::run(platform, args, out, err);
    return {rc, out.str(), err.str()};
  }
  std::string commandLine() const {
    return "command: " + serverCommandLine(folder, settings()) + "\n";
  }
  // What status says of a port the server holds: Wine does not name holders.
  std::string listening() const {
    return underWine() ? "listening (holder not visible)" : "listening (server)";
  }
};

TEST_F(Ctl, StartStatusStopRestart) {
  const std::string portLine = "port " + std::to_string(port) + ": ";
  CtlRun r = run({"status"});
  EXPECT_EQ(r.rc, 3);
  EXPECT_EQ(r.out, "stopped\n" + portLine + "not listening\n" + commandLine());

  r = run({"start"});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(httpStatus(port), 200);
  const auto pids = platform.findProcesses(exeName);
  ASSERT_EQ(pids.size(), 1u);
  r = run({"status"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "running " + std::to_string(pids[0]) + "\n" + portLine + listening() + "\n" +
                       commandLine());

  EXPECT_EQ(run({"start"}).rc, 0);  // already running: no second server
  EXPECT_EQ(platform.findProcesses(exeName), pids);
  r = run({"restart"});
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(httpStatus(port), 200);
  const auto restarted = platform.findProcesses(exeName);
  ASSERT_EQ(restarted.size(), 1u);
  EXPECT_NE(restarted, pids);

  EXPECT_EQ(run({"stop"}).rc, 0);
  EXPECT_TRUE(platform.findProcesses(exeName).empty());
  EXPECT_EQ(httpStatus(port), 0);
  EXPECT_EQ(run({"stop"}).rc, 0);  // nothing to stop is fine

  r = run({"log", "-n", "2"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("] server stopped\n"), std::string::npos) << r.out;
  EXPECT_EQ(run({"url"}).out, "http://localhost:" + std::to_string(port) + "\n");
}

// A web folder ending in "\" (or "\\") reaches the server as that folder, not with a
// double quote where the line's closing one was.
TEST_F(Ctl, WebFolderEndingInABackslashIsServed) {
  for (const char* value : {"www\\", "www\\\\", ".\\www\\"}) {
    SCOPED_TRACE(value);
    ASSERT_EQ(run({"config", "set", "root_directory", value}).rc, 0);
    const CtlRun r = run({"start"});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(httpStatus(port), 200);
    EXPECT_EQ(run({"stop"}).rc, 0);
  }
  // status shows the line that was launched, the trailing backslash doubled.
  EXPECT_NE(run({"status"}).out.find("-t \"" + folder + "\\.\\www\\\\\"\n"), std::string::npos);
}

// A program folder whose path is longer than 260 characters: its settings are read and
// written, and the server starts from it or, where Windows cannot start a program from
// such a path (Wine), start says so in one line, and so does the log.
TEST_F(Ctl, ProgramFolderPastTheOldPathLimit) {
  folder = scratch.file(std::string(100, 'a') + "/" + std::string(100, 'b') + "/" +
                        std::string(100, 'c'));
  ASSERT_GT(folder.size(), 300u);
  layoutProgramFolder(folder, exeName, port);
  EXPECT_EQ(run({"config", "set", "server_port", std::to_string(port)}).rc, 0);
  EXPECT_EQ(run({"config", "get", "exe_name"}).out, exeName + "\n");
  const CtlRun r = run({"start"});
  if (r.rc == 0) {
    EXPECT_EQ(httpStatus(port), 200);
    EXPECT_EQ(run({"stop"}).rc, 0);
  } else {
    expectCleanFailure(r);
    const std::string reason = windows::systemMessage(ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(r.err, "tovanikctl: could not start " + serverPath(folder, settings()) + ": " +
                         reason + "\n");
    const CtlRun log = run({"log", "-n", "1"});
    EXPECT_NE(log.out.find("] server could not be started: " + reason + "\n"), std::string::npos)
        << log.out;
    EXPECT_EQ(run({"log"}).out.find("] server started"), std::string::npos) << "two marks";
  }
  EXPECT_EQ(run({"status"}).rc, 3);
  // Its Start-menu shortcut is found again, and removed.
  const TempDir appData;
  const ScopedEnv roaming("APPDATA", appData.path().c_str());
  writeBytes(joinPath(folder, "tovanik-webserver.exe"), "a panel");
  EXPECT_EQ(run({"launcher", "install"}).rc, 0);
  EXPECT_EQ(run({"launcher", "remove"}).out, "removed 1 file\n");
}

// The port taken by another program: start names it (Wine names no holder) and launches
// nothing, for PHP on Windows would bind the port beside it.
TEST_F(Ctl, PortHeldByAnotherProgramIsNamedAndNothingLaunched) {
  const std::string other = "other-" + exeName;
  std::filesystem::copy_file(fsPath(joinPath(folder, "php\\" + exeName)),
                             fsPath(joinPath(folder, "php\\" + other)));
  ServerSettings holder = settings();
  holder.exeName = other;
  ASSERT_GT(platform.launchDetached(serverArgv(folder, holder), ConsoleMode::Hidden, ""), 0);
  ASSERT_TRUE(waitFor([&] { return httpStatus(port) == 200; }));

  const CtlRun r = run({"start"});
  expectCleanFailure(r);
  const std::string holderName = underWine() ? "another program" : other + " (pid ";
  EXPECT_EQ(r.err.rfind("tovanikctl: port " + std::to_string(port) + " is taken by " + holderName, 0),
            0u)
      << r.err;
  EXPECT_FALSE(std::filesystem::exists(fsPath(OutputLog(platform.logFiles()).outputLogPath(folder))));
  EXPECT_EQ(platform.killProcesses(other), 1);
}

// Both programs show the icon and the version in Explorer: the resources read back.
TEST(Resources, BothProgramsCarryTheIconAndTheVersion) {
  for (const char* program : {"tovanikctl.exe", "tovanik-webserver.exe"}) {
    const HMODULE module = LoadLibraryExW(utf16(binDir() + "\\" + program).c_str(), nullptr,
                                          LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HRSRC version = FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_TRUE(FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON) && version) << program;
    const std::string text(static_cast<const char*>(LockResource(LoadResource(module, version))),
                           SizeofResource(module, version));
    const std::size_t fixed = text.find("\xBD\x04\xEF\xFE");  // VS_FIXEDFILEINFO's signature
    ASSERT_NE(fixed, std::string::npos) << program;
    VS_FIXEDFILEINFO info{};
    std::memcpy(&info, text.data() + fixed, sizeof info);
    EXPECT_EQ(std::vector<DWORD>({info.dwFileVersionMS, info.dwFileVersionLS, info.dwProductVersionMS}),
              std::vector<DWORD>({1, 0, 1}));  // 0.1.0.0
    EXPECT_NE(text.find(std::string("C\0o\0p\0y\0r\0i\0g\0h\0t", 17)), std::string::npos);
    FreeLibrary(module);
  }
}

// tovanikctl.exe as a user runs it: arguments in UTF-16, output in UTF-8 with Windows
// line ends, the exit codes.
CtlRun runProgram(const std::vector<std::string>& args) {
  std::wstring line = L"\"" + utf16(binDir()) + L"\\tovanikctl.exe\"";
  for (const std::string& arg : args) line += L" \"" + utf16(arg) + L"\"";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE outRead, outWrite, errRead, errWrite;
  CreatePipe(&outRead, &outWrite, &inherit, 0);
  CreatePipe(&errRead, &errWrite, &inherit, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                      DETACHED_PROCESS, nullptr, nullptr, &startup, &process);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  CtlRun r{-1, "", ""};
  if (started) {
    for (auto [from, to] : {std::pair{outRead, &r.out}, std::pair{errRead, &r.err}}) {
      char buffer[4096];
      DWORD got = 0;
      while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0)
        to->append(buffer, got);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    r.rc = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
  return r;
}

TEST_F(Ctl, ProgramTakesUtf16ArgumentsAndWritesUtf8) {
  CtlRun r = runProgram({"--folder", folder, "config", "set", "root_directory", "wëb ☕"});
  EXPECT_EQ(r.rc, 0) << r.err;
  r = runProgram({"--folder", folder, "config", "get", "root_directory"});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "wëb ☕\r\n");
  r = runProgram({"--folder", folder, "status"});
  EXPECT_EQ(r.rc, 3);
  EXPECT_NE(r.out.find("-t \"" + folder + "\\wëb ☕\"\r\n"), std::string::npos) << r.out;
  r = runProgram({"--folder", folder, "frobnicate"});
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.err, "tovanikctl: unknown command 'frobnicate' (see --help)\r\n");
  r = runProgram({"--folder", folder, "config", "set", "exe_name", "a\\b.exe"});
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "");
}

// The shortcut a Start menu shows, under %APPDATA%: it starts this folder's panel.
TEST_F(Ctl, LauncherWritesAndRemovesTheStartMenuShortcut) {
  TempDir appData;
  wchar_t saved[32768];
  const DWORD savedLength = GetEnvironmentVariableW(L"APPDATA", saved, 32768);
  SetEnvironmentVariableW(L"APPDATA", utf16(appData.path()).c_str());
  const std::string link =
      appData.file("Microsoft/Windows/Start Menu/Programs/Tovanik Web Server.lnk");
  const std::string panel = joinPath(folder, "tovanik-webserver.exe");

  CtlRun r = run({"launcher", "install"});  // no panel in the folder: nothing written
  expectCleanFailure(r);
  EXPECT_EQ(r.err.rfind("tovanikctl: no panel to launch at " + panel + ": ", 0), 0u) << r.err;
  EXPECT_FALSE(std::filesystem::exists(fsPath(link)));

  writeBytes(panel, "a panel");
  r = run({"launcher", "install"});
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out, "menu entry: " + link + "\n");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* shortcut = nullptr;
  ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IShellLinkW, reinterpret_cast<void**>(&shortcut)));
  IPersistFile* file = nullptr;
  ASSERT_HRESULT_SUCCEEDED(
      shortcut->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
  ASSERT_HRESULT_SUCCEEDED(file->Load(utf16(link).c_str(), STGM_READ));
  wchar_t target[MAX_PATH] = {};
  ASSERT_HRESULT_SUCCEEDED(shortcut->GetPath(target, MAX_PATH, nullptr, 0));
  EXPECT_EQ(utf8(target), panel);
  wchar_t workingFolder[MAX_PATH] = {};
  shortcut->GetWorkingDirectory(workingFolder, MAX_PATH);
  EXPECT_EQ(utf8(workingFolder), folder);
  file->Release();
  shortcut->Release();
  CoUninitialize();

  EXPECT_EQ(run({"launcher", "remove"}).out, "removed 1 file\n");
  EXPECT_FALSE(std::filesystem::exists(fsPath(link)));
  EXPECT_EQ(run({"launcher", "remove"}).out, "removed 0 files (no menu entry starts " + panel + ")\n");
  // At login: the same shortcut in the Startup folder.
  const std::string atLogin = appData.file("Microsoft/Windows/Start Menu/Programs/Startup/Tovanik Web Server.lnk");
  EXPECT_EQ(run({"launcher", "install", "--at-login"}).out, "at login: " + atLogin + "\n");
  EXPECT_EQ(run({"launcher"}).out, "menu entry: none\nat login: " + atLogin + "\n");
  EXPECT_EQ(run({"launcher", "remove", "--at-login"}).out, "removed 1 file\n");

  // A file where the menu's folders would go: install says which and why, in one line.
  writeBytes(appData.file("file"), "x");
  SetEnvironmentVariableW(L"APPDATA", utf16(appData.file("file")).c_str());
  r = run({"launcher", "install"});
  expectCleanFailure(r);
  EXPECT_EQ(r.err, "tovanikctl: cannot create the folder of " + appData.file("file") +
                       "\\Microsoft\\Windows\\Start Menu\\Programs\\Tovanik Web Server.lnk: " +
                       windows::systemMessage(ERROR_ALREADY_EXISTS) + "\n");
  SetEnvironmentVariableW(L"APPDATA", savedLength ? saved : nullptr);
}

// Two program folders: a shortcut each, named after its folder while both are there;
// removing one leaves the other's, under the plain name again.
TEST_F(Ctl, LauncherKeepsAShortcutPerProgramFolder) {
  TempDir appData, second;
  wchar_t saved[32768];
  const DWORD savedLength = GetEnvironmentVariableW(L"APPDATA", saved, 32768);
  SetEnvironmentVariableW(L"APPDATA", utf16(appData.path()).c_str());
  const std::string programs = appData.file("Microsoft/Windows/Start Menu/Programs");
  auto names = [&] {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(fsPath(programs)))
      found.push_back(utf8(entry.path().filename().wstring()));
    std::sort(found.begin(), found.end());
    return found;
  };
  const std::string other = second.file("Zoë's site");
  std::filesystem::create_directory(fsPath(other));
  writeBytes(joinPath(folder, "tovanik-webserver.exe"), "a panel");
  writeBytes(joinPath(other, "tovanik-webserver.exe"), "a panel");
  auto runIn = [&](const std::string& where, const std::string& action) {
    std::ostringstream out, err;
    return ctl::run(platform, {"--folder", where, "launcher", action}, out, err);
  };
  const std::string mine = folder.substr(folder.find_last_of("\\/") + 1);

  ASSERT_EQ(runIn(folder, "install"), 0);
  EXPECT_EQ(names(), std::vector<std::string>{"Tovanik Web Server.lnk"});
  ASSERT_EQ(runIn(other, "install"), 0);
  std::vector<std::string> both{"Tovanik \xE2\x80\x94 " + mine + ".lnk",
                                "Tovanik \xE2\x80\x94 Zo\xC3\xAB's site.lnk"};
  std::sort(both.begin(), both.end());
  EXPECT_EQ(names(), both);
  ASSERT_EQ(runIn(other, "remove"), 0);
  EXPECT_EQ(names(), std::vector<std::string>{"Tovanik Web Server.lnk"});
  ASSERT_EQ(runIn(folder, "remove"), 0);
  EXPECT_TRUE(names().empty());
  SetEnvironmentVariableW(L"APPDATA", savedLength ? saved : nullptr);
}

}  // namespace
}  // namespace tovanik
