// The INI operations on real files. The byte-for-byte rows run on every system; the
// rows on POSIX permissions, locks, links and processes are the Linux build's (the
// Windows build's own: tests/platform/windows/test_windows_files.cpp).
#include <gtest/gtest.h>
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_store.h"
#include "platform/path_text.h"
#include "settings/config.h"
#include "settings/ini.h"
#include "settings/value_rules.h"
#include "tests/support/fake_file_store.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fs_path.h"
#include "tests/support/test_support.h"
#ifndef _WIN32
#include "platform/linux/file_bytes.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/safe_path.h"
#endif

using namespace std::string_literals;
using tovanik::iniLookup;
using tovanik::INIread;
using tovanik::INIwrite;
using tovanik::systemFileStore;
using tovanik::test::readBytes;
using tovanik::test::TempDir;
using tovanik::test::writeBytes;

namespace {

struct LookupCase {
  const char* name;
  std::string text;
  std::string section, key, expected;
};

TEST(IniLookup, FollowsTheLineGrammar) {
  const LookupCase cases[] = {
      {"no section", "[Other]\r\nkey=v\r\n", "Config", "key", ""},
      {"key before first header", "key=v\r\n[Config]\r\n", "Config", "key", ""},
      {"header in capitals", "[CONFIG]\r\nkey=v", "Config", "key", "v"},
      // Headers as editors leave them: blanks and tabs around, a byte-order mark before.
      {"blank before header", " [Config]\r\nkey=v", "Config", "key", "v"},
      {"blank after header", "[Config] \r\nkey=v", "Config", "key", "v"},
      {"tab before header", "\t[Config]\r\nkey=v", "Config", "key", "v"},
      {"byte-order mark", "\xEF\xBB\xBF[Config]\r\nkey=v", "Config", "key", "v"},
      {"byte-order mark and blanks", "\xEF\xBB\xBF \t[Config] \t\r\nkey=v", "Config", "key", "v"},
      {"byte-order mark only at the start", "[X]\r\n\xEF\xBB\xBF[Config]\r\nkey=v", "Config", "key",
       ""},
      {"byte-order mark before a key line", "\xEF\xBB\xBFkey=v\r\n", "Config", "key", ""},
      {"blank inside the brackets", "[ Config ]\r\nkey=v", "Config", "key", ""},
      {"key in capitals keeps value case", "[Config]\r\nKEY=MiXed", "config", "key", "MiXed"},
      {"blank before key", "[Config]\r\n key=v", "Config", "key", ""},
      {"blank before =", "[Config]\r\nkey =v", "Config", "key", ""},
      {"blanks in value kept", "[Config]\r\nkey= a b  \r\n", "Config", "key", " a b  "},
      {"= in value", "[Config]\r\nkey=a=b", "Config", "key", "a=b"},
      {"longer key sharing a prefix", "[Config]\r\nkey2=x\r\nkey=y", "Config", "key", "y"},
      {"[ in a value leaves a key line", "[Config]\r\nkey=a[b\r\nnext=c", "Config", "next", "c"},
      {"value with brackets", "[Config]\r\nroot_directory=site[old]", "Config", "root_directory",
       "site[old]"},
      {"[ in a key", "[Config]\r\nk[1]=v", "Config", "k[1]", "v"},
      {"blanks and [ end the section", "[Config]\r\n [Other]\r\nkey=v", "Config", "key", ""},
      {"tab and [ end the section", "[Config]\r\n\t[Other]\r\nkey=v", "Config", "key", ""},
      {"blank-led header opens", "[X]\r\n \t[Config]\r\nkey=v", "Config", "key", "v"},
      {"first duplicate wins", "[Config]\r\nkey=1\r\nkey=2", "Config", "key", "1"},
      {"repeated section searched on", "[Config]\r\na=1\r\n[X]\r\n[config]\r\nkey=2", "Config",
       "key", "2"},
      {"semicolon is no comment", "[Config]\r\n;key=1\r\nkey=2", "Config", "key", "2"},
      {"CR only", "[Config]\rkey=v\r", "Config", "key", "v"},
      {"CR CR LF leaves an empty line", "[Config]\r\r\nkey=v", "Config", "key", "v"},
      {"LF only", "[Config]\nother=1\nkey=v\n", "Config", "key", "v"},
      {"lone LF ends the line", "[Config]\r\nkey=a\nb\r\n", "Config", "key", "a"},
      {"mixed line ends", "[X]\rkey=1\n[Config]\r\na=1\nb=2\rkey=v", "Config", "key", "v"},
      {"LF CR is two line ends", "[Config]\n\rkey=v", "Config", "key", "v"},
      {"NUL bytes kept", "[Config]\r\nkey=a\0b\r\n"s, "Config", "key", "a\0b"s},
      {"no folding beyond ASCII", "[Config]\r\nSCHL\xC3\x9CSSEL=1", "Config", "schl\xC3\xBCssel",
       ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(iniLookup(c.text, c.section, c.key), c.expected) << c.name;
  }
}

struct StoreCase {
  const char* name;
  std::string file;
  std::string section, key, value, expected;
};

// Each row goes through INIwrite on a real file; `expected` is the file afterwards.
TEST(IniWrite, EditsAndTidiesTheText) {
  const StoreCase cases[] = {
      {"empty file", "", "Config", "key", "value", "[Config]\r\nkey=value\r\n"},
      {"other sections kept", "[Other]\r\na=1", "Config", "key", "v",
       "[Other]\r\na=1\r\n\r\n[Config]\r\nkey=v\r\n"},
      {"inserted under the header", "[config]\r\na=1\r\n", "Config", "key", "v",
       "[config]\r\nkey=v\r\na=1\r\n"},
      {"replaced in place", "[CONFIG]\r\na=1\r\nKEY=old\r\nb=2\r\n", "Config", "Key", "v",
       "[CONFIG]\r\na=1\r\nKey=v\r\nb=2\r\n"},
      {"first duplicate replaced", "[Config]\r\nkey=1\r\nkey=2", "Config", "key", "v",
       "[Config]\r\nkey=v\r\nkey=2\r\n"},
      {"key of a later section untouched", "[Config]\r\na=1\r\n[Other]\r\nkey=x", "Config", "key",
       "v", "[Config]\r\nkey=v\r\na=1\r\n[Other]\r\nkey=x\r\n"},
      {"key before the first header untouched", "key=x\r\n[Config]\r\n", "Config", "key", "v",
       "key=x\r\n[Config]\r\nkey=v\r\n"},
      {"other lines carried over", "[Config]\r\n;key=x\r\n# note\r\nkey2=1\r\nkey=x", "Config",
       "key", "v", "[Config]\r\n;key=x\r\n# note\r\nkey2=1\r\nkey=v\r\n"},
      {"blank before = is another line", "[Config]\r\nkey =x\r\n", "Config", "key", "v",
       "[Config]\r\nkey=v\r\nkey =x\r\n"},
      {"blank lines tidied", "\r\n\r\n[Config]\r\n\r\n\r\n\r\na=1\r\n\r\n\r\n", "Config", "key",
       "v", "[Config]\r\nkey=v\r\n\r\na=1\r\n"},
      {"header on the last line without line end", "a=1\r\n[Config]", "Config", "key", "v",
       "a=1\r\n[Config]\r\nkey=v\r\n"},
      {"header on the last line ended by LF", "a=1\r\n[Config]\n", "Config", "key", "v",
       "a=1\r\n[Config]\nkey=v\r\n"},
      {"line with [ after the key: key replaced", "[Config]\r\nkey=x[y\r\na=1", "Config", "key",
       "v", "[Config]\r\nkey=v\r\na=1\r\n"},
      {"line with [ before the key: key replaced", "[Config]\r\nn=[x]\r\nkey=x", "Config", "key",
       "v", "[Config]\r\nn=[x]\r\nkey=v\r\n"},
      {"[ in the value", "", "Config", "key", "a[b", "[Config]\r\nkey=a[b\r\n"},
      {"[ in the key", "[Config]\r\nk[1]=old", "Config", "k[1]", "v", "[Config]\r\nk[1]=v\r\n"},
      {"blanks and [ end the section", "[Config]\r\na=1\r\n \t[Other]\r\nkey=x", "Config", "key",
       "v", "[Config]\r\nkey=v\r\na=1\r\n \t[Other]\r\nkey=x\r\n"},
      {"tab-led header is the header", "\t[Config]\r\nkey=x", "Config", "key", "v",
       "\t[Config]\r\nkey=v\r\n"},
      {"blank after the header", "[Config] \r\nkey=x", "Config", "key", "v",
       "[Config] \r\nkey=v\r\n"},
      // Notepad's byte-order mark stays, byte for byte, and its header is the header.
      {"byte-order mark kept", "\xEF\xBB\xBF[Config]\r\nkey=x\r\n", "Config", "key", "v",
       "\xEF\xBB\xBF[Config]\r\nkey=v\r\n"},
      {"byte-order mark, key inserted", "\xEF\xBB\xBF[Config]\r\na=1\r\n", "Config", "key", "v",
       "\xEF\xBB\xBF[Config]\r\nkey=v\r\na=1\r\n"},
      {"byte-order mark alone", "\xEF\xBB\xBF", "Config", "key", "v",
       "\xEF\xBB\xBF[Config]\r\nkey=v\r\n"},
      {"byte-order mark, new section", "\xEF\xBB\xBF[Other]\r\na=1\r\n", "Config", "key", "v",
       "\xEF\xBB\xBF[Other]\r\na=1\r\n\r\n[Config]\r\nkey=v\r\n"},
      // Lines keep their own line ends; only the line added, and the last one, end in CR LF.
      {"CR only", "[Config]\rkey=old\r", "Config", "key", "v", "[Config]\rkey=v\r\n"},
      {"CR only, key inserted", "[Config]\ra=1\r", "Config", "key", "v",
       "[Config]\rkey=v\r\na=1\r\n"},
      {"LF only", "[Config]\nexe_name=php\nserver_port=80\n", "Config", "server_port", "8080",
       "[Config]\nexe_name=php\nserver_port=8080\r\n"},
      {"LF only, key inserted", "[Config]\na=1\n", "Config", "key", "v",
       "[Config]\nkey=v\r\na=1\r\n"},
      {"LF only, new section", "[Other]\na=1\n\n", "Config", "key", "v",
       "[Other]\na=1\r\n\r\n[Config]\r\nkey=v\r\n"},
      {"mixed line ends", "[X]\rk=1\n[Config]\r\na=1\nkey=old\rb=2", "Config", "key", "v",
       "[X]\rk=1\n[Config]\r\na=1\nkey=v\rb=2\r\n"},
      // Tidying removes line ends only: another key's trailing TAB or NUL is its value.
      {"control bytes kept, line ends trimmed", "[Config]\r\nkey=a\0b\r\nz=\0\r\n\0"s, "Config",
       "key", "c\0d"s, "[Config]\r\nkey=c\0d\r\nz=\0\r\n\0\r\n"s},
      {"trailing TAB of the last value kept", "[Config]\r\nkey=x\r\nnote=a\t", "Config", "key", "v",
       "[Config]\r\nkey=v\r\nnote=a\t\r\n"},
      {"bytes above 0x7F are not trimmed", "\xC3\xA9\r\n[Config]\r\nx=\xC3\xA9", "Config", "key",
       "v", "\xC3\xA9\r\n[Config]\r\nkey=v\r\nx=\xC3\xA9\r\n"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.file("config.ini");
    writeBytes(path, c.file);
    ASSERT_TRUE(INIwrite(systemFileStore(), path, c.section, c.key, c.value)) << c.name;
    const std::string written = readBytes(path);
    EXPECT_EQ(written, c.expected) << c.name;
    EXPECT_EQ(iniLookup(written, c.section, c.key), c.value) << c.name;
  }
}

TEST(IniWrite, SameValueTwiceChangesNothing) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  writeBytes(path, "\r\n[Config]\r\na=1\r\n\r\n\r\n[Other]\r\nb=2");
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "v"));
  const std::string once = readBytes(path);
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "v"));
  EXPECT_EQ(readBytes(path), once);
}

#ifndef _WIN32
// The same bytes are not written again: the file stays the same inode (a rewrite renames a
// new one into place), and still gets owner read and write.
TEST(IniWrite, SameBytesAreNotRewritten) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  writeBytes(path, "[Config]\r\nserver_port=8080\r\n");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  struct stat before {
  }, after{};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "server_port", "8080"));
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode & 07777, 0644u);
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "server_port", "8081"));
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
}
#endif

// What the panel has always written, from an empty folder through its defaults and a port
// and console change, byte for byte.
TEST(IniWrite, PanelFilesUnchanged) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  const std::pair<const char*, const char*> writes[] = {
      {"exe_name", "t-server.exe"}, {"php_folder", "php"},      {"root_directory", "tovanik"},
      {"server_port", "80"},        {"command_prompt", "hide"}, {"server_port", "8080"},
      {"command_prompt", "show"},   {"server_port", "8080"}};
  for (const auto& [key, value] : writes) ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", key, value));
  const std::string expected =
      "[Config]\r\ncommand_prompt=show\r\nserver_port=8080\r\nroot_directory=tovanik\r\n"
      "php_folder=php\r\nexe_name=t-server.exe\r\n";
  EXPECT_EQ(readBytes(path), expected);
  for (const auto& [key, value] : writes) EXPECT_NE(INIread(systemFileStore(), path, "config", key), "") << key;
}

// ASCII text as UTF-16 code units, without a mark.
std::string utf16(std::string_view ascii, bool bigEndian) {
  std::string units;
  for (const char c : ascii) {
    units += bigEndian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
  }
  return units;
}
std::string le(std::string_view ascii) { return utf16(ascii, false); }
std::string be(std::string_view ascii) { return utf16(ascii, true); }
const std::string kMarkLE = "\xFF\xFE", kMarkBE = "\xFE\xFF";

// Files Notepad saves as "Unicode" (UTF-16 LE) or "Unicode big endian": read as UTF-16,
// written back in it behind the same mark, every other line byte for byte; files that do
// not decode are refused, with the reason, and left as they are.
TEST(IniFile, Utf16FilesKeepTheirEncoding) {
  struct Case {
    const char* name;
    std::string file, key, value;
    std::string read;   // what the key read before the write
    std::string after;  // the file after writing key=value; "" when refused
    const char* why;    // part of the reason when refused
  };
  const Case cases[] = {
      {"little-endian", kMarkLE + le("[Config]\r\nserver_port=8080\r\ncommand_prompt=show\r\n"),
       "server_port", "8081", "8080",
       kMarkLE + le("[Config]\r\nserver_port=8081\r\ncommand_prompt=show\r\n"), nullptr},
      {"big-endian", kMarkBE + be("[Config]\r\nserver_port=8080\r\ncommand_prompt=show\r\n"),
       "command_prompt", "hide", "show",
       kMarkBE + be("[Config]\r\nserver_port=8080\r\ncommand_prompt=hide\r\n"), nullptr},
      {"letters beyond ASCII and beyond 16 bits kept",
       kMarkLE + le("[Config]\r\nroot_directory=Zo") + "\xEB\x00\x3D\xD8\x00\xDE"s +
           le("\r\nserver_port=80\r\n"),
       "root_directory", "x", "Zo\xC3\xAB\xF0\x9F\x98\x80",
       kMarkLE + le("[Config]\r\nroot_directory=x\r\nserver_port=80\r\n"), nullptr},
      {"other lines byte for byte",
       kMarkBE + be("; note\n[Config]\ra=1\nkey=old\r\n") + "\x00\xEB"s + be("=x\r\n"), "key",
       "new", "old",
       kMarkBE + be("; note\n[Config]\ra=1\nkey=new\r\n") + "\x00\xEB"s + be("=x\r\n"), nullptr},
      {"new value beyond ASCII", kMarkLE + le("[Config]\r\n"), "root_directory", "Zo\xC3\xAB", "",
       kMarkLE + le("[Config]\r\nroot_directory=Zo") + "\xEB\x00"s + le("\r\n"), nullptr},
      {"mark alone", kMarkLE, "key", "v", "", kMarkLE + le("[Config]\r\nkey=v\r\n"), nullptr},
      {"value that is no UTF-8", kMarkLE + le("[Config]\r\nkey=old\r\n"), "key", "\xE9", "old", "",
       "not UTF-8"},
      {"odd length", kMarkLE + le("[Config]\r\nkey=old\r\n") + "x", "key", "v", "", "",
       "odd number of bytes"},
      {"high surrogate alone", kMarkLE + le("[Config]\r\nkey=") + "\x3D\xD8"s + le("\r\n"), "key",
       "v", "", "", "surrogate without its pair at byte 30"},
      {"low surrogate alone", kMarkBE + be("[Config]\r\nkey=") + "\xDE\x00"s, "key", "v", "", "",
       "surrogate without its pair"},
      {"high surrogate at the end", kMarkLE + "\x3D\xD8"s, "key", "v", "", "",
       "surrogate without its pair"},
  };
  TempDir dir;
  const std::string path = dir.file("config.ini");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(path, c.file);
    std::string why;
    const auto read = INIread(systemFileStore(), path, "Config", c.key, &why);
    const bool readable = c.why == nullptr || std::string(c.why) == "not UTF-8";
    if (readable) {
      EXPECT_EQ(read, c.read);
    } else {
      EXPECT_EQ(read, std::nullopt);
      EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
    why.clear();
    const bool written = INIwrite(systemFileStore(), path, "Config", c.key, c.value, &why);
    EXPECT_EQ(written, c.why == nullptr);
    if (written) {
      EXPECT_EQ(readBytes(path), c.after);
      EXPECT_EQ(INIread(systemFileStore(), path, "Config", c.key), c.value);
    } else {
      EXPECT_NE(why.find(c.why), std::string::npos) << why;
      EXPECT_EQ(readBytes(path), c.file);  // never a UTF-8 byte appended
    }
  }
}

// What each build lets tovanikctl store and the server be launched from: a folder
// relative to the program folder everywhere; on Windows, nothing a Windows file name cannot
// hold. Both systems' rows run on every build.
TEST(SettingRules, ValuesTheServerCanBeLaunchedFrom) {
  using tovanik::NameRules;
  struct Case {
    const char* key;
    std::string value;
    const char* linux;  // part of the reason, or nullptr when allowed
    const char* windows;
  };
  const char* relative = "must be a path relative to the program folder, for example ";
  const char* noName = "which no Windows file name can";
  const Case cases[] = {
      {"root_directory", "../site", nullptr, nullptr},
      {"root_directory", "", nullptr, nullptr},
      {"root_directory", "/srv/site", relative, relative},
      {"php_folder", "/usr/bin", relative, relative},
      {"root_directory", "\\site", nullptr, relative},
      {"root_directory", "C:\\site", nullptr, relative},
      {"php_folder", "c:php", nullptr, relative},
      {"root_directory", "site\\a:b", nullptr, noName},
      {"root_directory", "my \"site\"", nullptr, noName},
      {"root_directory", "a<b", nullptr, noName},
      {"root_directory", "a>b", nullptr, noName},
      {"php_folder", "a|b", nullptr, noName},
      {"php_folder", "what?", nullptr, noName},
      {"php_folder", "*", nullptr, noName},
      {"exe_name", "t\"server.exe", nullptr, noName},
      {"exe_name", "t-server.exe:stream", nullptr, noName},
      {"exe_name", "a\\b.exe", "without '/' or '\\'", "without '/' or '\\'"},
      {"exe_name", "a/b.exe", "without '/' or '\\'", "without '/' or '\\'"},
      {"root_directory",
       "a\x01"
       "b",
       "control character", "control character"},
      {"root_directory", "Zo\xC3\xAB's site [old]", nullptr, nullptr},
      {"server_port", "8080", nullptr, nullptr},
      {"server_port", "0", "1 to 65535", "1 to 65535"},
      {"command_prompt", "show", nullptr, nullptr},
      {"router", "front-controller", nullptr, nullptr},
      {"router", "/srv/router.php", relative, relative},
      {"router", "r<.php", nullptr, noName},
      {"workers", "", nullptr, nullptr},
      {"workers", "64", nullptr, "no workers there"},
      {"workers", "0", "from 1 to 64", "no workers there"},
      {"listen_address", "::1", nullptr, nullptr},
      {"listen_address", "[::1]", "0.0.0.0, 127.0.0.1, :: or ::1", "0.0.0.0, 127.0.0.1, :: or ::1"},
      {"php_ini", "C:\\php.ini", nullptr, relative},
      {"php_settings", "memory_limit=1G  extension_dir=C:\\ext", nullptr, nullptr},
      {"php_settings", "a=1 b", "separated by blanks", "separated by blanks"},
      {"php_settings", "a=\"b\"", "may not hold '\"'", "may not hold '\"'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    for (const auto& [rules, expected] :
         {std::pair{NameRules::Linux, c.linux}, std::pair{NameRules::Windows, c.windows}}) {
      const auto problem = tovanik::configValueProblem(c.key, c.value, rules);
      if (!expected) {
        EXPECT_EQ(problem, std::nullopt);
      } else {
        ASSERT_TRUE(problem) << (rules == NameRules::Linux ? "Linux" : "Windows");
        EXPECT_NE(problem->find(expected), std::string::npos) << *problem;
      }
    }
  }
  EXPECT_EQ(tovanik::configValueProblem("root_directory", "/srv/site", NameRules::Linux),
            "root_directory must be a path relative to the program folder, for example ../site, "
            "got '/srv/site'");
  EXPECT_EQ(tovanik::configValueProblem("root_directory", "D:\\www", NameRules::Windows),
            "root_directory must be a path relative to the program folder, for example ..\\site, "
            "got 'D:\\www'");
}

// Names fold A-Z to a-z and nothing else: every pair of bytes in a key, and in a section,
// matches exactly when a plain reference folds them alike.
TEST(IniLookup, CaseFoldingIsAsciiOnly) {
  const auto fold = [](int c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  for (int inFile = 0; inFile < 256; ++inFile) {
    if (inFile == '\r' || inFile == '\n' || inFile == '=' || inFile == ']') continue;
    const std::string name = std::string("x") + static_cast<char>(inFile);
    const std::string keyFile = "[Config]\r\n" + name + "=v";
    const std::string sectionFile = "[" + name + "]\r\nkey=v";
    for (int asked = 0; asked < 256; ++asked) {
      const std::string askedName = std::string("x") + static_cast<char>(asked);
      const std::string expected = fold(inFile) == fold(asked) ? "v" : "";
      ASSERT_EQ(iniLookup(keyFile, "Config", askedName), expected) << inFile << " " << asked;
      ASSERT_EQ(iniLookup(sectionFile, askedName, "key"), expected) << inFile << " " << asked;
    }
    EXPECT_EQ(tovanik::asciiLower(static_cast<char>(inFile)), static_cast<char>(fold(inFile)));
  }
}

// The defaults decision on the fake clock: files that change at the times of each row, as
// an editor saving in place changes them. Only a file at rest (last change 500 ms ago) is
// decided on; a changing one is waited for, 2 s at most, then left alone.
TEST(ConfigDefaults, DecidedOnlyOnAFileAtRest) {
  const std::string complete =
      "[Config]\r\nserver_port=8123\r\nroot_directory=site\r\n"
      "command_prompt=show\r\n";
  const std::string incomplete = "[Config]\r\nserver_port=8123\r\n";
  const std::string defaults =
      "[Config]\r\ncommand_prompt=hide\r\nserver_port=80\r\nroot_directory=tovanik\r\n"
      "php_folder=php\r\nexe_name=t-server.exe\r\n";
  const std::string incompleteWithDefaults =
      "[Config]\r\ncommand_prompt=hide\r\nroot_directory=tovanik\r\nphp_folder=php\r\n"
      "exe_name=t-server.exe\r\nserver_port=80\r\n";
  struct Change {
    int atMs;
    std::string bytes;
  };
  struct Case {
    const char* name;
    std::optional<int> changedAgoMs;  // no file when nullopt
    std::string file;
    std::vector<Change> changes;
    std::optional<std::string> atTurn;  // another writer's bytes as the writer's turn begins
    bool written;
    std::string after;
    int waitedMs;
    bool atTurnKeepsTime = false;  // a copy that keeps the file's time (cp -p, rsync)
  };
  std::vector<Change> everyTenthOfASecond;
  for (int at = 100; at <= 3000; at += 100) everyTenthOfASecond.push_back({at, incomplete});
  const Case cases[] = {
      {"missing file: no wait", std::nullopt, "", {}, {}, true, defaults, 0},
      {"at rest, incomplete", 600, incomplete, {}, {}, true, incompleteWithDefaults, 0},
      {"at rest, complete", 600, complete, {}, {}, false, complete, 0},
      {"at rest and empty", 500, "", {}, {}, true, defaults, 0},
      {"truncated, written 100 ms later", 0, "", {{100, complete}}, {}, false, complete, 600},
      {"truncated, written 300 ms later", 0, "", {{300, complete}}, {}, false, complete, 800},
      {"two chunks 30 ms apart",
       0,
       complete.substr(0, 40),
       {{30, complete}},
       {},
       false,
       complete,
       530},
      {"changed 200 ms ago, then still",
       200,
       incomplete,
       {},
       {},
       true,
       incompleteWithDefaults,
       300},
      {"still changing after 2 s: left alone",
       0,
       "",
       everyTenthOfASecond,
       {},
       false,
       incomplete,
       2000},
      {"stamp in the future, unchanged for 500 ms",
       -60000,
       incomplete,
       {},
       {},
       true,
       incompleteWithDefaults,
       500},
      {"truncated as the turn begins", 600, incomplete, {}, "", false, "", 0},
      {"completed as the turn begins", 600, incomplete, {}, complete, false, complete, 0},
      {"same bytes saved again as the turn begins",
       600,
       incomplete,
       {},
       incomplete,
       false,
       incomplete,
       0},
      {"same time and size, other bytes, as the turn begins",
       600,
       incomplete,
       {},
       "[Config]\r\ncommand_prompt=s\r\n",
       false,
       "[Config]\r\ncommand_prompt=s\r\n",
       0,
       true},
      // The defaults go into a UTF-16 file in UTF-16; a file that cannot be read gets none.
      {"UTF-16, incomplete",
       600,
       kMarkLE + le(incomplete),
       {},
       {},
       true,
       kMarkLE + le(incompleteWithDefaults),
       0},
      {"UTF-16 big-endian, empty", 600, kMarkBE, {}, {}, true, kMarkBE + be(defaults), 0},
      {"invalid UTF-16",
       600,
       kMarkLE + le(incomplete) + "\x00\xDC"s,
       {},
       {},
       false,
       kMarkLE + le(incomplete) + "\x00\xDC"s,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tovanik::FakePlatform platform;
    tovanik::FakeFileStore files(platform);
    platform.file_store_ = &files;
    files.folders_.insert("program");
    const tovanik::ConfigFile config("program", platform);
    if (c.changedAgoMs) files.put(config.path(), c.file, *c.changedAgoMs);
    for (const Change& change : c.changes) files.schedule(config.path(), change.bytes, change.atMs);
    if (c.atTurn) {
      files.on_turn_ = [&] {
        files.put(config.path(), *c.atTurn, c.atTurnKeepsTime ? *c.changedAgoMs : 0);
      };
    }
    std::string why;
    EXPECT_EQ(config.writeDefaultsIfIncomplete(&why), c.written) << why;
    EXPECT_EQ(files.bytesOf(config.path()), c.after);
    EXPECT_EQ(platform.now_.time_since_epoch(), std::chrono::milliseconds(c.waitedMs));
    if (c.waitedMs == 2000) {
      EXPECT_NE(why.find("still being changed"), std::string::npos) << why;
    }
  }
}

#ifndef _WIN32
// An editor saving in place truncates the file, then writes it. The defaults, due only
// when command_prompt is really missing, never replace what it writes: a start that
// meets the file in between waits for the save to land.
TEST(ConfigDefaults, NeverReplaceAnEditorsSaveInPlace) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("config").c_str(), 0755), 0);
  const std::string path = dir.file("config/config.ini");
  const std::string edited = "[Config]\r\ncommand_prompt=show\r\nserver_port=8123\r\n";
  writeBytes(path, edited);
  std::atomic<bool> stop{false};
  std::thread editor([&] {
    while (!stop) {
      const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
      if (fd < 0) continue;
      // The editor's own rhythm: a millisecond between its truncation and its write, and a
      // save every ten milliseconds, far more often than a person saves.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (write(fd, edited.data(), edited.size()) < 0) ADD_FAILURE() << "write";
      close(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(9));
    }
  });
  tovanik::LinuxPlatform platform;
  const tovanik::ConfigFile config(dir.path(), platform);
  // Met complete, it needs nothing; met truncated, it never rests and is left alone after 2 s.
  int written = 0;
  for (int i = 0; i < 10; ++i) written += config.writeDefaultsIfIncomplete() ? 1 : 0;
  stop = true;
  editor.join();
  EXPECT_EQ(written, 0);
  EXPECT_EQ(readBytes(path), edited);
  // The rule itself stands: a file that really lacks command_prompt gets the defaults.
  writeBytes(path, "[Config]\r\nserver_port=8123\r\n");
  EXPECT_TRUE(config.writeDefaultsIfIncomplete());
  EXPECT_EQ(INIread(systemFileStore(), path, "Config", "server_port"), "80");
}

// The two slow savers met in use, each 100 times against a start that comes during the
// save: one truncates and writes 100-300 ms later, one writes in two chunks 30 ms apart.
// Tries run 25 at a time, each in a folder of its own.
TEST(ConfigDefaults, SlowSaversLoseNothing) {
  const std::string edited =
      "[Config]\r\nserver_port=8123\r\nroot_directory=site\r\ncommand_prompt=show\r\n";
  struct Saver {
    const char* name;
    int firstChunk;  // bytes written with the truncation
    int pauseMinMs, pauseMaxMs;
  };
  const Saver savers[] = {{"truncate, write 100-300 ms later", 0, 100, 300},
                          {"two chunks 30 ms apart", 40, 30, 30}};
  tovanik::LinuxPlatform platform;
  constexpr int kTries = 100, kAtOnce = 25;
  for (const Saver& saver : savers) {
    SCOPED_TRACE(saver.name);
    std::atomic<int> lost{0};
    std::vector<std::thread> runners;
    for (int r = 0; r < kAtOnce; ++r) {
      runners.emplace_back([&, r] {
        TempDir dir;
        mkdir(dir.file("config").c_str(), 0755);
        const std::string path = dir.file("config/config.ini");
        const tovanik::ConfigFile config(dir.path(), platform);
        std::mt19937 random(static_cast<unsigned>(r));
        for (int t = 0; t < kTries / kAtOnce; ++t) {
          writeBytes(path, edited);
          const int pause =
              std::uniform_int_distribution(saver.pauseMinMs, saver.pauseMaxMs)(random);
          const int startAfter = std::uniform_int_distribution(0, pause)(random);
          std::thread save([&] {
            const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
            if (write(fd, edited.data(), saver.firstChunk) < 0) ADD_FAILURE() << "write";
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
            const auto rest = edited.size() - static_cast<std::size_t>(saver.firstChunk);
            if (write(fd, edited.data() + saver.firstChunk, rest) < 0) ADD_FAILURE() << "write";
            close(fd);
          });
          std::this_thread::sleep_for(std::chrono::milliseconds(startAfter));
          config.writeDefaultsIfIncomplete();
          save.join();
          if (readBytes(path) != edited) ++lost;
        }
      });
    }
    for (std::thread& runner : runners) runner.join();
    EXPECT_EQ(lost, 0) << "of " << kTries;
  }
}

// A writer that holds the lock and does not let go (stopped from its terminal, say) makes
// the next write fail with the reason, after a while, instead of hanging.
TEST(IniWrite, LockHeldTooLongFailsWithTheReason) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  writeBytes(path, "[Config]\r\nkey=old\r\n");
  const int holder = open(dir.file(".config.ini.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  std::string why;
  EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "new", &why, std::chrono::milliseconds(300)));
  EXPECT_EQ(why, "another program has been writing it for longer than 300 ms");
  close(holder);
  EXPECT_EQ(readBytes(path), "[Config]\r\nkey=old\r\n");
  EXPECT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "new"));
}

TEST(IniFile, MissingFileIsCreated) {
  TempDir dir;
  const mode_t previousMask = umask(022);
  EXPECT_EQ(INIread(systemFileStore(), dir.file("read.ini"), "Config", "key"), "");
  EXPECT_EQ(readBytes(dir.file("read.ini")), "");
  ASSERT_TRUE(INIwrite(systemFileStore(), dir.file("new.ini"), "Config", "key", "value"));
  umask(previousMask);
  EXPECT_EQ(readBytes(dir.file("new.ini")), "[Config]\r\nkey=value\r\n");
  struct stat info {};
  ASSERT_EQ(stat(dir.file("new.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST(IniFile, MissingFolderOrFileAsFolderFails) {
  TempDir dir;
  writeBytes(dir.file("plain"), "x");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  const std::pair<std::string, std::string> cases[] = {
      {dir.file("missing/config.ini"), "No such file or directory"},
      {dir.file("plain/config.ini"), "Not a directory"},
      {dir.path(), "Is a directory"},
      {dir.file("fifo"), "not a regular file"},
  };
  for (const auto& [path, reason] : cases) {
    std::string whyRead, whyWrite;
    EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key", &whyRead), std::nullopt) << path;
    EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "v", &whyWrite)) << path;
    EXPECT_EQ(whyRead, reason) << path;
    EXPECT_EQ(whyWrite, reason) << path;
  }
  EXPECT_NE(access(dir.file("missing").c_str(), F_OK), 0);
  EXPECT_EQ(readBytes(dir.file("plain")), "x");
}

TEST(IniFile, PermissionBitsKeptPlusOwnerReadWrite) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  for (const mode_t mode : {0640u, 0444u, 0604u, 0200u, 0000u}) {
    writeBytes(path, "[Config]\r\nkey=old\r\n");
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key"), "old") << std::oct << mode;
    struct stat read {};
    ASSERT_EQ(stat(path.c_str(), &read), 0);
    EXPECT_EQ(read.st_mode & 07777, mode | 0600) << "after reading " << std::oct << mode;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "new"));
    EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key"), "new");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode | 0600) << std::oct << mode;
  }
}

// Root may open any file, so the permission rows prove less run as root: as root, they
// run again as an ordinary user made for the purpose.
TEST(IniFile, PermissionRulesHoldForAnOrdinaryUser) {
  const tovanik::test::ThrowawayUser user;
  if (!user.ok()) GTEST_SKIP() << "needs root to run as another user";
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string command =
      user.runAs() + "env TMPDIR=/tmp '" + self +
      "' --gtest_filter=IniFile.PermissionBitsKeptPlusOwnerReadWrite:IniFile."
      "UnwritableFolderLeavesFileAsItWas:IniFile.MissingFileIsCreated >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(IniFile, UnwritableFolderLeavesFileAsItWas) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
  TempDir dir;
  const std::string path = dir.file("config.ini");
  writeBytes(path, "[Config]\r\nkey=old\r\n");
  ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
  EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "new"));
  chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(readBytes(path), "[Config]\r\nkey=old\r\n");
}

TEST(IniFile, SymlinkIsWrittenThroughAndStays) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
  writeBytes(dir.file("real/config.ini"), "[Config]\r\nkey=old\r\n");
  ASSERT_EQ(symlink("real/config.ini", dir.file("link.ini").c_str()), 0);
  ASSERT_TRUE(INIwrite(systemFileStore(), dir.file("link.ini"), "Config", "key", "new"));
  struct stat info {};
  ASSERT_EQ(lstat(dir.file("link.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(readBytes(dir.file("real/config.ini")), "[Config]\r\nkey=new\r\n");
  // An absolute link is read through as well.
  ASSERT_EQ(symlink(dir.file("real/config.ini").c_str(), dir.file("absolute.ini").c_str()), 0);
  EXPECT_EQ(INIread(systemFileStore(), dir.file("absolute.ini"), "Config", "key"), "new");
}

TEST(AtomicFile, FailedRenameLeavesNoTempFile) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("busy").c_str(), 0755), 0);
  writeBytes(dir.file("busy/inside"), "x");  // renaming a file over a folder fails
  EXPECT_FALSE(tovanik::systemFileStore().replace(dir.file("busy"), "bytes", nullptr));
  DIR* folder = opendir(dir.path().c_str());
  ASSERT_NE(folder, nullptr);
  int entries = 0;
  while (readdir(folder)) ++entries;
  closedir(folder);
  EXPECT_EQ(entries, 3);  // ".", ".." and busy
}

#endif

// Far past the 32,767-byte positions a 16-bit index could reach, in linear time (and
// below the 1 MiB a settings file may hold).
TEST(IniFile, LargeAndBinaryFiles) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  std::string big;
  for (int i = 0; big.size() < 1'000'000; ++i) big += "line" + std::to_string(i) + "=x\r\n";
  writeBytes(path, big + "[Config]\r\na=1\r\nkey=old\r\n");
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "new"));
  EXPECT_EQ(readBytes(path), big + "[Config]\r\na=1\r\nkey=new\r\n");

  std::mt19937 random(7);
  std::string garbage;
  while (garbage.size() < 1'000'000) garbage += static_cast<char>(random() & 0xFF);
  writeBytes(path, garbage);
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "v"));
  EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key"), "v");
}

// A settings file larger than 1 MiB is refused, read or written, with its size and the
// limit, before anything of it is read: it stays as it was, its size and its bytes. A
// 2 GiB sparse file is refused as fast, without the memory to hold it.
TEST(IniFile, LargerThanOneMebibyteIsRefusedAndKept) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  const std::string limit = "more than the 1 MiB (1048576 bytes) a settings file may hold";
  const std::string head = "[Config]\r\nkey=old\r\n";
  const std::string atLimit = head + std::string(1048576 - head.size(), ';');
  writeBytes(path, atLimit);
  EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key"), "old");
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "new"));
  EXPECT_EQ(readBytes(path).substr(0, 19), "[Config]\r\nkey=new\r\n");

  struct Row {
    std::uintmax_t size;
    const char* why;
  };
  for (const Row& row :
       {Row{1048577, "it is 1048577 bytes, "}, Row{2147483648u, "it is 2147483648 bytes, "}}) {
    writeBytes(path, head);
    std::filesystem::resize_file(tovanik::fsPath(path), row.size);
    std::string whyRead, whyWrite;
    EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key", &whyRead), std::nullopt);
    EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "new", &whyWrite));
    EXPECT_EQ(whyRead, row.why + limit);
    EXPECT_EQ(whyWrite, row.why + limit);
    EXPECT_EQ(std::filesystem::file_size(tovanik::fsPath(path)), row.size);
    std::ifstream file(tovanik::fsPath(path), std::ios::binary);
    std::string start(head.size(), '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    EXPECT_EQ(start, head);
  }
#ifndef _WIN32
  // A file that says it is empty and holds more (/proc/kallsyms: some 5 MB) is refused as
  // it is read, and read by the reader without chmod (the tests run as root).
  std::string whyProc;
  EXPECT_FALSE(tovanik::readExistingFile("/proc/kallsyms", &whyProc).has_value());
  EXPECT_TRUE(whyProc.ends_with(limit)) << whyProc;
#endif
}

#ifndef _WIN32
// A writer killed at any moment leaves the old text or the new one, never a mix. The
// temporary files of killed writers (".config.ini.tmp-XXXXXX") go with the next write;
// files that only look similar stay.
TEST(IniFile, KilledWriterLeavesACompleteFile) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  std::string padding;
  for (int i = 0; padding.size() < 200'000; ++i) padding += "other" + std::to_string(i) + "=x\r\n";
  const std::string first = "[Config]\r\nkey=first\r\n" + padding;
  const std::string second = "[Config]\r\nkey=second\r\n" + padding;
  writeBytes(path, first);
  std::mt19937 random(11);
  for (int round = 0; round < 50; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) INIwrite(systemFileStore(), path, "Config", "key", i % 2 ? "first" : "second");
    }
    usleep(random() % 20'000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const std::string now = readBytes(path);
    ASSERT_TRUE(now == first || now == second) << "round " << round << ", " << now.size();
  }
  const std::vector<std::string> lookalikes = {".config.ini.tmp-abc", ".config.ini.backup",
                                               "config.ini.tmp-abcdef", ".other.ini.tmp-abcdef"};
  for (const std::string& name : lookalikes) writeBytes(dir.file(name), "keep");
  ASSERT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "last"));
  std::vector<std::string> left;
  DIR* folder = opendir(dir.path().c_str());
  ASSERT_NE(folder, nullptr);
  while (const dirent* entry = readdir(folder)) left.emplace_back(entry->d_name);
  closedir(folder);
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected = lookalikes;
  expected.insert(expected.end(), {".", "..", ".config.ini.lock", "config.ini"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
}

// Run as root, a path through a symbolic link of another user is refused, for reading
// (which may create and chmod the file) and for writing; the link's target is untouched.
// Root's own links are followed (SymlinkIsWrittenThroughAndStays).
TEST(IniFile, RootRefusesAnotherUsersLink) {
  if (geteuid() != 0) GTEST_SKIP() << "the rule is root's";
  TempDir dir;
  const std::string target = dir.file("elsewhere.txt");
  writeBytes(target, "root's own file\n");
  ASSERT_EQ(mkdir(dir.file("config").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
  ASSERT_EQ(symlink(target.c_str(), dir.file("config/config.ini").c_str()), 0);
  ASSERT_EQ(symlink("real", dir.file("folder-link").c_str()), 0);
  for (const char* link : {"config/config.ini", "folder-link"}) {
    ASSERT_EQ(lchown(dir.file(link).c_str(), 65534, 65534), 0);  // nobody
  }
  for (const std::string& path : {dir.file("config/config.ini"), dir.file("folder-link/a.ini")}) {
    std::string whyRead, whyWrite;
    EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key", &whyRead), std::nullopt) << path;
    EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "v", &whyWrite)) << path;
    EXPECT_NE(whyRead.find("symbolic link owned by uid 65534"), std::string::npos) << whyRead;
    EXPECT_EQ(whyWrite, whyRead);
  }
  EXPECT_EQ(readBytes(target), "root's own file\n");
  EXPECT_NE(access(dir.file("real/a.ini").c_str(), F_OK), 0);
}

// The same kind of link works for the user who owns it: nobody's own link in nobody's
// folder, written by nobody.
TEST(IniFile, UsersOwnLinkWorksForThatUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const std::string home = dir.file("home");
  ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
  writeBytes(home + "/real.ini", "[Config]\r\nkey=old\r\n");
  ASSERT_EQ(symlink("real.ini", (home + "/config.ini").c_str()), 0);
  for (const std::string& path : {home, home + "/real.ini", home + "/config.ini"}) {
    ASSERT_EQ(lchown(path.c_str(), 65534, 65534), 0);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool asNobody = setgid(65534) == 0 && setuid(65534) == 0;
    _exit(asNobody && INIwrite(systemFileStore(), home + "/config.ini", "Config", "key", "new") ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readBytes(home + "/real.ini"), "[Config]\r\nkey=new\r\n");
}

// Root's path is pinned once checked: a folder on the way swapped for a link afterwards
// does not redirect the write. And the walk that pins it follows no link.
TEST(IniFile, RootsCheckedPathCannotBeSwapped) {
  if (geteuid() != 0) GTEST_SKIP() << "the rule is root's";
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("config").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("elsewhere").c_str(), 0755), 0);
  writeBytes(dir.file("config/config.ini"), "[Config]\r\nkey=old\r\n");
  const auto checked = tovanik::resolveSettingsPath(dir.file("config/config.ini"));
  ASSERT_TRUE(checked);
  ASSERT_EQ(rename(dir.file("config").c_str(), dir.file("moved").c_str()), 0);
  ASSERT_EQ(symlink("elsewhere", dir.file("config").c_str()), 0);
  ASSERT_TRUE(tovanik::systemFileStore().replace(checked->path(), "new", nullptr));
  EXPECT_EQ(readBytes(dir.file("moved/config.ini")), "new");
  EXPECT_NE(access(dir.file("elsewhere/config.ini").c_str(), F_OK), 0);

  const int real = tovanik::openFolderWithoutLinks(dir.file("moved"));
  EXPECT_GE(real, 0);
  close(real);
  EXPECT_EQ(tovanik::openFolderWithoutLinks(dir.file("config")), -1);
  EXPECT_EQ(tovanik::openFolderWithoutLinks(dir.file("moved/config.ini")), -1);
}

// The writers' lock file is the settings file's owner's alone, whatever was found at its
// name: afterwards a regular 0600 file with one name, owned by the settings file's owner.
// What others could hold open, or what is not a lock file of its own, is replaced; what
// it pointed to or shared a name with is untouched. A folder there fails the write,
// naming the lock file.
TEST(IniFile, LockFileIsTheOwnersAlone) {
  const tovanik::test::ThrowawayUser atk;
  if (!atk.ok()) GTEST_SKIP() << "needs root and useradd to make another user";
  TempDir dir;
  const std::string path = dir.file("config.ini");
  const std::string lock = dir.file(".config.ini.lock");
  const std::string other = dir.file("other.txt");
  const uid_t user = static_cast<uid_t>(atk.uid());
  struct Row {
    const char* what;
    std::function<void()> plant;  // what stands at the lock's name
    uid_t settingsOwner;
    uid_t lockOwner;  // afterwards
    bool sameInode;   // kept and made right in place
  };
  const auto file = [&](mode_t mode, uid_t owner) {
    return [&, mode, owner] {
      writeBytes(lock, "");
      ASSERT_EQ(chmod(lock.c_str(), mode), 0);
      ASSERT_EQ(chown(lock.c_str(), owner, owner), 0);
    };
  };
  const Row rows[] = {
      {"nothing", [] {}, 0, 0, false},
      {"root's, 0644", file(0644, 0), 0, 0, false},
      {"root's, 0666", file(0666, 0), 0, 0, false},
      {"root's, 0400", file(0400, 0), 0, 0, true},
      {"the user's, 0600", file(0600, user), 0, 0, false},
      {"a link to a file elsewhere", [&] { ASSERT_EQ(symlink(other.c_str(), lock.c_str()), 0); }, 0,
       0, false},
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(lock.c_str(), 0600), 0); }, 0, 0, false},
      {"a second name of another file", [&] { ASSERT_EQ(link(other.c_str(), lock.c_str()), 0); }, 0,
       0, false},
      {"nothing, the settings file the user's", [] {}, user, user, false},
      {"root's 0600, the settings file the user's", file(0600, 0), user, user, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    writeBytes(path, "[Config]\r\nkey=old\r\n");
    ASSERT_EQ(chown(path.c_str(), row.settingsOwner, row.settingsOwner), 0);
    writeBytes(other, "other");
    ASSERT_EQ(chmod(other.c_str(), 0600), 0);
    unlink(lock.c_str());
    row.plant();
    // Held open, so that a replacement cannot get the same inode number.
    const int held = open(lock.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat planted {};
    const bool wasThere = held >= 0 && fstat(held, &planted) == 0;
    std::string why;
    EXPECT_TRUE(INIwrite(systemFileStore(), path, "Config", "key", "new", &why)) << why;
    EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key"), "new");
    struct stat after {};
    ASSERT_EQ(lstat(lock.c_str(), &after), 0);
    EXPECT_TRUE(S_ISREG(after.st_mode));
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    EXPECT_EQ(after.st_nlink, 1u);
    EXPECT_EQ(after.st_uid, row.lockOwner);
    if (wasThere) {
      EXPECT_EQ(after.st_ino == planted.st_ino, row.sameInode);
      close(held);
    }
    EXPECT_EQ(readBytes(other), "other");
    struct stat otherInfo {};
    ASSERT_EQ(stat(other.c_str(), &otherInfo), 0);
    EXPECT_EQ(otherInfo.st_mode & 07777, 0600u);
    EXPECT_EQ(otherInfo.st_uid, 0u);
  }
  unlink(lock.c_str());
  ASSERT_EQ(mkdir(lock.c_str(), 0700), 0);
  std::string why;
  EXPECT_FALSE(INIwrite(systemFileStore(), path, "Config", "key", "newer", &why));
  EXPECT_EQ(why, "lock file " + lock + ": a folder stands in its place");
  EXPECT_EQ(INIread(systemFileStore(), path, "Config", "key"), "new");
}

#endif

}  // namespace
