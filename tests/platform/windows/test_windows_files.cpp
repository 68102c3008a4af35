// The settings store on Windows, on real files (Wine here): paths with blanks and letters
// outside ASCII, a file held open by another program, the archive-attribute rule, a
// writer killed at any moment, the writers' lock, and what cannot be a settings file.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_store.h"
#include "platform/path_text.h"
#include "platform/windows/wide_text.h"
#include "settings/ini.h"
#include "tests/support/fs_path.h"
#include "tests/support/test_support.h"

namespace tovanik {
namespace {

using namespace test;
using windows::systemMessage;
using windows::utf16;

constexpr DWORD kReadOnlyHiddenSystem =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(fsPath(folder)))
    names.push_back(windows::utf8(entry.path().filename().wstring()));
  std::sort(names.begin(), names.end());
  return names;
}

DWORD attributesOf(const std::string& path) { return GetFileAttributesW(utf16(path).c_str()); }

// The file's identity: a rewrite moves a new file into its place.
ULONGLONG fileIndex(const std::string& path) {
  HANDLE file =
      CreateFileW(utf16(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  return (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

TEST(SettingsFile, PathsWithBlanksAndLettersBeyondAscii) {
  TempDir dir;
  const std::string folder = dir.file("Zoë/My Apps/Tovanik/config");
  std::filesystem::create_directories(fsPath(folder));
  const std::string path = joinPath(folder, "config.ini");
  EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key"), "");  // a missing file is created empty
  EXPECT_EQ(readBytes(path), "");
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "root_directory", "wëb site"));
  EXPECT_EQ(readBytes(path), "[Config]\r\nroot_directory=wëb site\r\n");
  EXPECT_EQ(INIread(systemFileStore(), path, "config", "ROOT_DIRECTORY"), "wëb site");
  EXPECT_EQ(namesIn(folder), (std::vector<std::string>{".config.ini.lock", "config.ini"}));
  // The same bytes are not written again; other bytes come as a new file.
  const ULONGLONG before = fileIndex(path);
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "root_directory", "wëb site"));
  EXPECT_EQ(fileIndex(path), before);
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "root_directory", "www"));
  EXPECT_NE(fileIndex(path), before);
}

TEST(SettingsFile, WhatCannotBeASettingsFileFailsWithTheReason) {
  TempDir dir;
  std::filesystem::create_directories(fsPath(dir.file("folder.ini")));
  writeBytes(dir.file("plain"), "x");
  const std::pair<std::string, std::string> cases[] = {
      {dir.file("missing/config.ini"), systemMessage(ERROR_PATH_NOT_FOUND)},
      {dir.file("plain/config.ini"), systemMessage(ERROR_PATH_NOT_FOUND)},
      {dir.file("folder.ini"), "is a folder"},
      {"NUL", "not a regular file"},
  };
  for (const auto& [path, reason] : cases) {
    std::string whyRead, whyWrite;
    EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key", &whyRead), std::nullopt) << path;
    EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "v", &whyWrite)) << path;
    EXPECT_EQ(whyRead, reason) << path;
    EXPECT_EQ(whyWrite, reason) << path;
  }
  EXPECT_FALSE(std::filesystem::exists(fsPath(dir.file("missing"))));
  EXPECT_EQ(readBytes(dir.file("plain")), "x");
}

// Another program holding the file: without sharing it at all (share mode 0) neither
// operation gets in; letting others read it, the write cannot replace it. Both give up
// after a short retry with the system's reason, and the file stays as it was, with no
// temporary file left beside it.
TEST(SettingsFile, HeldOpenByAnotherProgramFailsWithTheSystemsReason) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  const std::string sharingViolation = systemMessage(ERROR_SHARING_VIOLATION);
  struct Case {
    DWORD share;
    std::optional<std::string> read;  // what INIread gives
    std::string whyRead;
    std::vector<std::string> whyWrite;  // the system's reason: either, by the system
  };
  const std::string accessDenied = systemMessage(ERROR_ACCESS_DENIED);
  const Case cases[] = {
      {0, std::nullopt, sharingViolation, {sharingViolation}},
      {FILE_SHARE_READ, "old", "", {sharingViolation, accessDenied}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.share);
    writeBytes(path, "[Config]\r\nkey=old\r\n");
    HANDLE holder =
        CreateFileW(utf16(path).c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::string whyRead, whyWrite;
    EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key", &whyRead), c.read);
    EXPECT_EQ(whyRead, c.whyRead);
    EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "new", &whyWrite));
    EXPECT_NE(std::find(c.whyWrite.begin(), c.whyWrite.end(), whyWrite), c.whyWrite.end())
        << whyWrite;
    // The panel's patience: a keystroke's write, and the read, give up after a quarter
    // of a second, not the second tovanikctl waits.
    for (const bool write : {false, true}) {
      const auto begun = std::chrono::steady_clock::now();
      if (write) {
        EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "new", nullptr, kPanelLockPatience));
      } else {
        EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key", nullptr, kPanelLockPatience),
                  c.read);
      }
      const double waited =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
      if (write || !c.read) {
        EXPECT_GE(waited, 0.2) << write;
        EXPECT_LE(waited, 0.6) << write;
      }
    }
    CloseHandle(holder);
    EXPECT_EQ(readBytes(path), "[Config]\r\nkey=old\r\n");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{".config.ini.lock", "config.ini"}));
  }
  // Let go during the retry (a virus scanner's look, say): the write goes through.
  HANDLE holder =
      CreateFileW(utf16(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  std::thread release([holder] {
    Sleep(100);
    CloseHandle(holder);
  });
  std::string why;
  EXPECT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "new", &why)) << why;
  release.join();
  EXPECT_EQ(readBytes(path), "[Config]\r\nkey=new\r\n");
}

// The archive-attribute rule: after a read and after a write the file is neither
// read-only, hidden nor system.
TEST(SettingsFile, ReadOnlyHiddenAndSystemAreClearedByEachReadAndWrite) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  for (const DWORD set : {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{FILE_ATTRIBUTE_HIDDEN},
                          DWORD{FILE_ATTRIBUTE_SYSTEM}, kReadOnlyHiddenSystem}) {
    SCOPED_TRACE(set);
    SetFileAttributesW(utf16(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    writeBytes(path, "[Config]\r\nkey=old\r\n");
    ASSERT_TRUE(SetFileAttributesW(utf16(path).c_str(), set));
    EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key"), "old");
    EXPECT_EQ(attributesOf(path) & kReadOnlyHiddenSystem, 0u);
    ASSERT_TRUE(SetFileAttributesW(utf16(path).c_str(), set));
    ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "new"));
    EXPECT_EQ(readBytes(path), "[Config]\r\nkey=new\r\n");
    EXPECT_EQ(attributesOf(path) & kReadOnlyHiddenSystem, 0u);
  }
}

// Writers at once (the panel and tovanikctl, two tovanikctls) take turns: no one's
// change is lost.
TEST(SettingsFile, WritersAtOnceLoseNothing) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  std::vector<PROCESS_INFORMATION> writers;
  for (const char* key : {"a", "b", "c"}) {
    std::wstring command = L"\"" + utf16(binDir()) + L"\\ini_writer.exe\" \"" + utf16(path) +
                           L"\" " + utf16(key) + L" 40";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION writer{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                               nullptr, nullptr, &startup, &writer));
    writers.push_back(writer);
  }
  for (const PROCESS_INFORMATION& writer : writers) {
    WaitForSingleObject(writer.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(writer.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(writer.hThread);
    CloseHandle(writer.hProcess);
  }
  for (const char* key : {"a", "b", "c"}) EXPECT_EQ(INIread(systemFileStore(), path, "Config", key), "40") << key;
}

// A writer that holds the lock and does not let go makes the next write fail with the
// reason after a while, instead of hanging.
TEST(SettingsFile, LockHeldTooLongFailsWithTheReason) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  writeBytes(path, "[Config]\r\nkey=old\r\n");
  HANDLE lock = CreateFileW(
      utf16(dir.file(".config.ini.lock")).c_str(), GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  OVERLAPPED at{};
  ASSERT_TRUE(LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at));
  std::string why;
  EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "new", &why));
  EXPECT_EQ(why, "another program has been writing it for longer than 5 s");
  CloseHandle(lock);
  EXPECT_EQ(readBytes(path), "[Config]\r\nkey=old\r\n");
  EXPECT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "new"));
}

// A writer killed at any moment leaves the old text or the new one, never a mix. The
// temporary files of killed writers go with the next write; files that only look
// similar stay.
TEST(SettingsFile, KilledWriterLeavesACompleteFile) {
  TempDir dir;
  const std::string path = dir.file("Zoë config.ini");
  std::string padding;
  for (int i = 0; padding.size() < 200'000; ++i) padding += "other" + std::to_string(i) + "=x\r\n";
  const std::string first = "[Config]\r\nkey=first\r\n" + padding;
  const std::string second = "[Config]\r\nkey=second\r\n" + padding;
  writeBytes(path, first);
  std::wstring command = L"\"" + utf16(binDir()) + L"\\ini_writer.exe\" \"" + utf16(path) + L"\"";
  std::mt19937 random(11);
  for (int round = 0; round < 30; ++round) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION writer{};
    // No console: Wine leaves the console of a program killed as it starts running.
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                               nullptr, nullptr, &startup, &writer));
    Sleep(20 + random() % 40);
    TerminateProcess(writer.hProcess, 1);
    WaitForSingleObject(writer.hProcess, INFINITE);
    CloseHandle(writer.hThread);
    CloseHandle(writer.hProcess);
    const std::string now = readBytes(path);
    ASSERT_TRUE(now == first || now == second) << "round " << round << ", " << now.size();
  }
  const std::vector<std::string> lookalikes = {".Zoë config.ini.tmp-abc", ".Zoë config.ini.backup",
                                               "Zoë config.ini.tmp-abcdef"};
  for (const std::string& name : lookalikes) writeBytes(dir.file(name), "keep");
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "last"));
  std::vector<std::string> expected = lookalikes;
  expected.insert(expected.end(), {".Zoë config.ini.lock", "Zoë config.ini"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(namesIn(dir.path()), expected);
}

}  // namespace
}  // namespace tovanik
