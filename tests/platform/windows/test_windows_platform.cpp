// The Windows backend on the real system (Wine here), with the stand-in server: the
// command line it composes, a hidden launch with its output in the log, finding by name in
// any letter case, the port's holder, the stop, failed launches, the program folder and
// the log's place and cut.
#include <gtest/gtest.h>
#include <windows.h>
// CommandLineToArgvW; the shell's headers need windows.h before them.
#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "server/output_log.h"
#include "platform/path_text.h"
#include "platform/windows/folders.h"
#include "platform/windows/process_launch.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_platform.h"
#include "server/command.h"
#include "tests/support/fs_path.h"
#include "tests/support/test_support.h"
#include "tests/support/windows_processes.h"
#include "tests/support/system_log.h"

namespace tovanik {
namespace {

using namespace test;
using windows::utf16;

// What the panel shows as the server's command line is what the server is started with.
TEST(CommandLine, IsTheServersLineAsThePanelShowsIt) {
  struct Case {
    std::vector<std::string> argv;
    std::wstring line;
  };
  const ServerSettings plain{"t-server.exe", "php", "80", "tovanik", "hide"};
  const ServerSettings odd{"T Server.exe", "p h p", "", "wëb site", "hide"};
  const ServerSettings apps{"php.exe", "php", "80", "www", "hide", "front-controller", "",
                            "::1", "php.ini", "memory_limit=1G extension_dir=C:\\php\\ext"};
  const std::string folder = "C:\\Users\\Zoë\\My Apps";
  const Case cases[] = {
      {serverArgv(folder, plain), utf16(serverCommandLine(folder, plain))},
      {serverArgv(folder, odd), utf16(serverCommandLine(folder, odd))},
      {serverArgv(folder, apps), utf16(serverCommandLine(folder, apps))},
      {{"C:\\a b\\x.exe", "", "plain", "two words", "C:\\", "-S"},
       LR"("C:\a b\x.exe" "" plain "two words" "C:\\" -S)"},
      {{"x.exe"}, LR"("x.exe")"},
  };
  for (const Case& c : cases) EXPECT_EQ(windows::commandLineOf(c.argv), c.line);
  EXPECT_EQ(windows::quotedArgumentLine(L"notepad.exe", folder + "\\config\\config.ini"),
            LR"(notepad.exe "C:\Users\Zoë\My Apps\config\config.ini")");
}

// Variables for the launched program: added, or replacing one of the name in any case.
TEST(CommandLine, EnvironmentBlockSetsVariablesOnTop) {
  EXPECT_EQ(windows::environmentBlockWith({}), L"");
  SetEnvironmentVariableW(L"TOVANIK_OLD", L"1");
  const std::wstring block = windows::environmentBlockWith({{"tovanik_old", "2"}, {"TV_T", "1"}});
  EXPECT_NE(block.find(std::wstring(L"\0tovanik_old=2\0", 15)), std::wstring::npos);
  EXPECT_NE(block.find(std::wstring(L"\0TV_T=1\0", 8)), std::wstring::npos);
  EXPECT_EQ(block.find(L"TOVANIK_OLD="), std::wstring::npos);
  EXPECT_TRUE(block.ends_with(std::wstring(L"\0\0", 2)));
}

// Whatever the values hold, the system's own parsing gives back the argument list.
TEST(CommandLine, ParsesBackToItsArguments) {
  const std::vector<std::vector<std::string>> rows = {
      {"C:\\p\\t-server.exe", "-S", "0.0.0.0:80", "-t", "C:\\site\\tovanik\\"},
      {"C:\\p\\x.exe", "-t", "C:\\site\\\\"},
      {"C:\\p\\x.exe", "-t", "\\\\server\\share\\a b\\"},
      {"C:\\p\\x.exe", "-t", "a\\\\b", "\\", "\\\\"},
      {"C:\\a b\\x.exe", "two  words", " lead", "trail ", "\ttab", ""},
      {"C:\\Zoë\\x.exe", "wëb", "C:\\Zoë\\wëb site\\"},
      {"C:\\p\\x.exe", "a&b", "%PATH%", "100%", "^&|<>", "C:\\%x%\\&\\"},
      {"C:\\p\\x.exe", "say \"hi\"", "\\\"", "end\\\"", "\""},
      {"C:\\p\\x.exe", "a\\\\\"b", "c\\\\\\\"d\\", "a b\\\\\"c"},  // runs before an inner quote
  };
  for (const auto& argv : rows) {
    const std::wstring line = windows::commandLineOf(argv);
    int count = 0;
    LPWSTR* parsed = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(parsed, nullptr);
    std::vector<std::string> back;
    for (int i = 0; i < count; ++i) back.push_back(windows::utf8(parsed[i]));
    LocalFree(parsed);
    EXPECT_EQ(back, argv) << windows::utf8(line);
  }
}

TEST_F(StandInServer, HiddenServerServesLogsAndIsFoundByNameInAnyCase) {
  // An inheritable handle of ours on a file no one may share.
  const std::wstring held = utf16(scratch.file("held"));
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE ours =
      CreateFileW(held.c_str(), GENERIC_WRITE, 0, &inheritable, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(ours, INVALID_HANDLE_VALUE);
  const ServerSettings s = settings();
  const int pid = platform.launchDetached(serverArgv(folder, s), ConsoleMode::Hidden, log());
  ASSERT_GT(pid, 0) << lastSystemError();
  ASSERT_TRUE(waitFor([&] { return httpStatus(port) == 200; }));
  // The server inherited its standard handles only: once ours is closed, the file is free.
  CloseHandle(ours);
  HANDLE again = CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE) << "the server holds a handle it was not given";
  CloseHandle(again);

  // The log: what the server printed, its command line first (the marks are the server
  // control's: test_both_callers.cpp, test_ctl_windows.cpp).
  ASSERT_TRUE(waitFor([&] {
    const auto lines = test::systemLog().tailLines(log(), -1);
    return lines && lines->size() >= 2;
  }));
  const auto lines = *test::systemLog().tailLines(log(), -1);
  EXPECT_EQ(lines[0], "command line: " + serverCommandLine(folder, s));
  EXPECT_NE(lines[1].find("Development Server (http://0.0.0.0:" + std::to_string(port) +
                          ") started"),
            std::string::npos)
      << lines[1];

  const std::string stem = exeName.substr(0, exeName.size() - 4);
  const std::pair<std::string, std::vector<int>> finds[] = {
      {exeName, {pid}},
      {upper(exeName), {pid}},
      {upper(stem) + ".exe", {pid}},
      {stem, {}},  // the name with its extension, or nothing
      {exeName + "x", {}},
      {"php\\" + exeName, {}},  // a path is no image name
      {"php/" + exeName, {}},
      {"", {}},
  };
  for (const auto& [name, expected] : finds) {
    EXPECT_EQ(platform.findProcesses(name), expected) << name;
    EXPECT_EQ(platform.anyProcess(name), !expected.empty()) << name;
  }
  // The caller itself never counts; other copies of this test program, run side by side by
  // ctest, may.
  const auto selves = platform.findProcesses("test_windows_platform.exe");
  EXPECT_EQ(std::count(selves.begin(), selves.end(), static_cast<int>(GetCurrentProcessId())), 0);

  const auto info = platform.processInfo(pid);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->parent, static_cast<int>(GetCurrentProcessId()));
  EXPECT_EQ(info->executable, serverPath(folder, s));
  EXPECT_TRUE(platform.isLiveProcess(pid));

  // Wine does not say who holds a port (PID 0); Windows names the server.
  const PortUse use = platform.portUse(port, {pid});
  EXPECT_TRUE(use.listening);
  ASSERT_EQ(use.holders.size(), 1u);
  if (underWine() && use.holders[0].first == 0) {
    EXPECT_EQ(use.holders[0].second, "");
  } else {
    EXPECT_EQ(use.holders[0], std::make_pair(pid, exeName));
  }
  EXPECT_EQ(platform.portListening(port), true);
  // Asked without a likely holder, the tables are read in another order, to the same
  // answer; a likely holder on a port nobody listens on changes nothing either.
  const PortUse unexpected = platform.portUse(port, {});
  EXPECT_TRUE(unexpected.listening);
  EXPECT_EQ(unexpected.holders, use.holders);
  const PortUse elsewhere = platform.portUse(freePort(), {pid});
  EXPECT_FALSE(elsewhere.listening);
  EXPECT_TRUE(elsewhere.holders.empty());

  // A resting panel wakes at a change in a watched folder, and at the kept server's end;
  // a folder it cannot watch leaves it ticking.
  EXPECT_TRUE(platform.anyProcess(exeName));  // the server the tick keeps a handle to
  const auto rung = [](const std::unique_ptr<RestAlarm>& alarm) -> int {
    const auto& objects = alarm->objects();
    const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(objects.size()),
                                              objects.data(), FALSE, 10000);
    return woke < WAIT_OBJECT_0 + objects.size() ? static_cast<int>(woke - WAIT_OBJECT_0) : -1;
  };
  auto alarm = platform.restAlarm({scratch.path()});
  ASSERT_TRUE(alarm);
  writeBytes(scratch.file("settings saved"), "x");
  EXPECT_EQ(rung(alarm), 1);  // the folder's notification; the server's handle is first
  alarm = platform.restAlarm({scratch.path()});
  EXPECT_FALSE(platform.restAlarm({scratch.file("gone")}));

  // A stop leaves nothing: no process, no listener, no answer.
  EXPECT_EQ(platform.killProcesses(upper(exeName)), 1);
  EXPECT_EQ(rung(alarm), 0);
  EXPECT_TRUE(platform.findProcesses(exeName).empty());
  EXPECT_FALSE(platform.anyProcess(exeName)) << "the kept handle's process has ended";
  EXPECT_FALSE(platform.isLiveProcess(pid));
  EXPECT_TRUE(waitFor([&] { return platform.portListening(port) == false; }));
  EXPECT_EQ(httpStatus(port), 0);
  EXPECT_EQ(platform.killProcesses(exeName), 0);
  EXPECT_FALSE(platform.processInfo(pid));
}

// Shown: a console of its own; the log says only that the output went there. A launched
// server that is ended as a failed start takes the process it started (a worker on a
// port of its own) with it.
TEST_F(StandInServer, ShownServerWritesNothingToTheLog) {
  const int workerPort = freePort();
  SetEnvironmentVariableW(L"STAND_IN_WORKER_PORT", std::to_wstring(workerPort).c_str());
  const int pid =
      platform.launchDetached(serverArgv(folder, settings()), ConsoleMode::Shown, log());
  SetEnvironmentVariableW(L"STAND_IN_WORKER_PORT", nullptr);
  ASSERT_GT(pid, 0) << lastSystemError();
  EXPECT_TRUE(waitFor([&] { return httpStatus(port) == 200; }));
  EXPECT_TRUE(waitFor([&] { return httpStatus(workerPort) == 200; }));
  EXPECT_EQ(platform.findProcesses(exeName).size(), 2u);
  EXPECT_EQ(test::systemLog().outputLogSize(log()).value_or(0), 0u);
  EXPECT_TRUE(platform.killLaunched(pid));
  EXPECT_FALSE(platform.isLiveProcess(pid));
  EXPECT_TRUE(platform.findProcesses(exeName).empty());
  EXPECT_TRUE(waitFor([&] { return httpStatus(workerPort) == 0; }));
  EXPECT_FALSE(platform.killLaunched(pid));
  // The caller is no launched server: it is spared, as by the name match.
  EXPECT_FALSE(platform.killLaunched(static_cast<int>(GetCurrentProcessId())));
}

// A launch that cannot happen starts nothing and says why, and writes nothing into the log
// (the mark that says so is the server control's); one that ends at once leaves its reason
// in the log and no process behind.
TEST_F(StandInServer, FailedLaunchLeavesNoProcess) {
  namespace fs = std::filesystem;
  writeBytes(folder + "\\php\\not-a-program.exe", "just text");
  struct Case {
    std::string program;
    DWORD error;
    std::optional<std::string> logNote;  // the log's latest mark afterwards: none
  };
  const Case cases[] = {
      {folder + "\\php\\missing.exe", ERROR_FILE_NOT_FOUND, std::nullopt},
      {folder + "\\php\\no folder\\x.exe", ERROR_PATH_NOT_FOUND, std::nullopt},
      {folder + "\\php", ERROR_ACCESS_DENIED, std::nullopt},
      {folder + "\\php\\not-a-program.exe", ERROR_BAD_EXE_FORMAT, std::nullopt},
  };
  for (const Case& c : cases) {
    fs::remove(fsPath(log()));
    std::vector<std::string> argv = serverArgv(folder, settings());
    argv[0] = c.program;
    EXPECT_EQ(platform.launchDetached(argv, ConsoleMode::Hidden, log()), 0) << c.program;
    EXPECT_EQ(GetLastError(), c.error) << c.program;
    const auto run = test::systemLog().readLastRun(log());
    EXPECT_EQ(run ? std::optional<std::string>(run->note) : std::nullopt, c.logNote) << c.program;
  }
  EXPECT_TRUE(platform.findProcesses("not-a-program.exe").empty());

  ServerSettings noWebFolder = settings();
  noWebFolder.rootDirectory = "missing";
  const int pid =
      platform.launchDetached(serverArgv(folder, noWebFolder), ConsoleMode::Hidden, log());
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(waitFor([&] { return !platform.isLiveProcess(pid); }));
  EXPECT_TRUE(platform.findProcesses(exeName).empty());
  const auto lines = test::systemLog().tailLines(log(), 1);
  ASSERT_TRUE(lines && !lines->empty());
  EXPECT_EQ(lines->back(), "Directory " + folder + "\\missing does not exist.");
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgramAndPathsAreMadeAbsolute) {
  WindowsPlatform platform;
  EXPECT_EQ(platform.programFolder(), binDir() + "\\tests");
  TempDir dir;
  std::filesystem::create_directories(fsPath(dir.file("Zoë")));
  ASSERT_TRUE(SetCurrentDirectoryW(utf16(dir.path()).c_str()));
  const std::pair<std::string, std::string> cases[] = {
      {"Zoë", dir.file("Zoë")}, {"a b\\..\\Zoë\\", dir.file("Zoë")},
      {".", dir.path()},        {"C:\\x\\y\\\\", "C:\\x\\y"},
      {"C:\\", "C:\\"},         {"C:/x/./y", "C:\\x\\y"},
  };
  for (const auto& [path, absolute] : cases)
    EXPECT_EQ(platform.absolutePath(path), absolute) << path;
  SetCurrentDirectoryW(utf16(binDir()).c_str());
  // File names are one name in any letter case, beyond ASCII too.
  EXPECT_TRUE(platform.samePathText("C:\\Zoë Ünï\\php\\T.exe", "c:\\ZOË üNÏ\\PHP\\t.EXE"));
  EXPECT_FALSE(platform.samePathText("C:\\Zoe\\t.exe", "C:\\Zoë\\t.exe"));
}

TEST(OutputLog, LivesInLocalAppDataOnePerProgramFolder) {
  const auto setLocalAppData = [](const wchar_t* value) {
    SetEnvironmentVariableW(L"LOCALAPPDATA", value);
  };
  wchar_t saved[32768];
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", saved, 32768);
  const std::pair<const wchar_t*, std::string> cases[] = {
      {L"C:\\Users\\Zoë\\AppData\\Local", "C:\\Users\\Zoë\\AppData\\Local\\Tovanik\\logs"},
      {L"C:\\Local\\\\", "C:\\Local\\Tovanik\\logs"},
      {L"D:\\", "D:\\Tovanik\\logs"},
  };
  for (const auto& [value, folder] : cases) {
    setLocalAppData(value);
    EXPECT_EQ(test::systemLog().stateFolder(), folder);
  }
  setLocalAppData(L"relative");  // only an absolute path counts; else the known folder
  EXPECT_EQ(test::systemLog().stateFolder().find("relative"), std::string::npos) << test::systemLog().stateFolder();
  setLocalAppData(L"C:\\Local");
  const std::string a = test::systemLog().outputLogPath("C:\\Users\\Zoë\\My Apps\\Tovanik");
  const std::string b = test::systemLog().outputLogPath("D:\\Tovanik");
  EXPECT_EQ(a.rfind("C:\\Local\\Tovanik\\logs\\Tovanik-", 0), 0u) << a;
  EXPECT_EQ(a.size(), std::string("C:\\Local\\Tovanik\\logs\\Tovanik-12345678.log").size()) << a;
  EXPECT_NE(a, b) << "two folders of one name share a log";
  SetEnvironmentVariableW(L"LOCALAPPDATA", length ? saved : nullptr);
}

// The log's folder (and the Start menu's) is made with every folder above it, at any
// length and with either separator; what cannot be made fails with the system's reason.
TEST(OutputLog, FoldersAreMadeWithEveryFolderAboveThem) {
  TempDir dir;
  writeBytes(dir.file("plain"), "x");
  std::filesystem::create_directories(fsPath(dir.file("there")));
  const std::string deep = dir.file(std::string(120, 'a') + "\\" + std::string(120, 'b') +
                                    "\\" + std::string(120, 'c'));
  const std::string exists = windows::systemMessage(ERROR_ALREADY_EXISTS);
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {dir.file("Zoë\\My Apps\\Tovanik\\logs"), std::nullopt},
      {dir.file("there"), std::nullopt},
      {dir.file("there\\"), std::nullopt},
      {dir.file("slashes") + "/one/two", std::nullopt},
      {deep, std::nullopt},
      {dir.file("plain"), exists},
      {dir.file("plain\\below\\it"), exists},
  };
  for (const auto& [folder, reason] : cases) {
    EXPECT_EQ(windows::makeFolders(folder), reason) << folder;
    const DWORD attributes = GetFileAttributesW(windows::filePath(folder).c_str());
    EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY),
              !reason)
        << folder;
  }
  EXPECT_EQ(readBytes(dir.file("plain")), "x");
}

// The server holds its log open for appending while a cut happens: the cut keeps the
// newest whole lines, and what the server writes next lands right after them.
TEST(OutputLog, IsCutInPlaceWhileTheServerHoldsIt) {
  TempDir dir;
  const std::string log = dir.file("server.log");
  const std::pair<std::string, std::string> cases[] = {
      {"0123456789\n", "0123456789\n"},      // at the limit: untouched
      {"aaaa\nbbbb\ncccc\n", "cccc\n"},      // the newest 8 bytes, "bbb\ncccc\n", from a line start
      {"aaaa\nbb\ncccc\n", "bb\ncccc\n"},    // a line starting right at the cut
      {"aaaaaaaaaaaaaaaaaaaa", "aaaaaaaa"},  // no line end at all
      {"aaaa\r\nbb\r\ncc\r\n", "bb\r\ncc\r\n"},  // Windows line ends
  };
  for (const auto& [before, after] : cases) {
    writeBytes(log, before);
    HANDLE server = CreateFileW(utf16(log).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(test::systemLog().trimOutputLog(log, 11, 8));
    DWORD written = 0;
    WriteFile(server, "z\n", 2, &written, nullptr);
    CloseHandle(server);
    EXPECT_EQ(readBytes(log), after + "z\n") << before;
  }
  EXPECT_TRUE(test::systemLog().trimOutputLog(dir.file("missing.log"), 11, 8));
  // A mark in a folder yet to be made; the lines after it, with Windows line ends.
  const std::string marked = dir.file("state\\Tovanik\\logs\\x.log");
  ASSERT_TRUE(test::systemLog().markLaunch(marked, kMarkStarted));
  writeBytes(marked, readBytes(marked) + "one\r\nFailed to listen\r\n");
  const auto run = test::systemLog().readLastRun(marked);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->note, kMarkStarted);
  EXPECT_EQ(run->lines, (std::vector<std::string>{"one", "Failed to listen"}));
  EXPECT_EQ(test::systemLog().tailLines(marked, 1), std::vector<std::string>{"Failed to listen"});
}

}  // namespace
}  // namespace tovanik
