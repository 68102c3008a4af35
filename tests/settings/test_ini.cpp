#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include "settings/atomic_file.h"
#include "settings/ini.h"
#include "tests/support/test_support.h"

using namespace std::string_literals;
using tovanik::iniLookup;
using tovanik::INIread;
using tovanik::INIwrite;
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
      {"blank before header", " [Config]\r\nkey=v", "Config", "key", ""},
      {"blank after header", "[Config] \r\nkey=v", "Config", "key", ""},
      {"key in capitals keeps value case", "[Config]\r\nKEY=MiXed", "config", "key", "MiXed"},
      {"blank before key", "[Config]\r\n key=v", "Config", "key", ""},
      {"blank before =", "[Config]\r\nkey =v", "Config", "key", ""},
      {"blanks in value kept", "[Config]\r\nkey= a b  \r\n", "Config", "key", " a b  "},
      {"= in value", "[Config]\r\nkey=a=b", "Config", "key", "a=b"},
      {"longer key sharing a prefix", "[Config]\r\nkey2=x\r\nkey=y", "Config", "key", "y"},
      {"[ in value ends the section", "[Config]\r\nkey=a[b\r\nnext=c", "Config", "next", ""},
      {"first duplicate wins", "[Config]\r\nkey=1\r\nkey=2", "Config", "key", "1"},
      {"repeated section searched on", "[Config]\r\na=1\r\n[X]\r\n[config]\r\nkey=2", "Config",
       "key", "2"},
      {"semicolon is no comment", "[Config]\r\n;key=1\r\nkey=2", "Config", "key", "2"},
      {"CR only", "[Config]\rkey=v\r", "Config", "key", "v"},
      {"CR CR LF leaves an empty line", "[Config]\r\r\nkey=v", "Config", "key", "v"},
      {"LF only is one line", "[Config]\nkey=v\n", "Config", "key", ""},
      {"lone LF stays in the value", "[Config]\r\nkey=a\nb\r\n", "Config", "key", "a\nb"},
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
  bool readsBack = true;
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
      {"header without line break: second section", "a=1\r\n[Config]", "Config", "key", "v",
       "a=1\r\n[Config]\r\n\r\n[Config]\r\nkey=v\r\n"},
      {"line with [ after the key: key replaced", "[Config]\r\nkey=x[y\r\na=1", "Config", "key",
       "v", "[Config]\r\nkey=v\r\na=1\r\n"},
      {"line with [ before the key: key inserted", "[Config]\r\nn=[x]\r\nkey=x", "Config", "key",
       "v", "[Config]\r\nkey=v\r\nn=[x]\r\nkey=x\r\n"},
      {"[ in the value stored but unreadable", "", "Config", "key", "a[b",
       "[Config]\r\nkey=a[b\r\n", false},
      // A CR-only header: the new line goes in right after its CR, the old line intact.
      {"CR only", "[Config]\rkey=old\r", "Config", "key", "v", "[Config]\rkey=v\r\nkey=old\r\n"},
      {"LF only: a new section", "[Config]\nkey=old\n", "Config", "key", "v",
       "[Config]\nkey=old\n\r\n\r\n[Config]\r\nkey=v\r\n"},
      {"NUL kept inside, trimmed at the end", "[Config]\r\nkey=a\0b\r\nz=\0\r\n\0"s, "Config",
       "key", "c\0d"s, "[Config]\r\nkey=c\0d\r\nz=\r\n"s},
      {"bytes above 0x7F are not trimmed", "\xC3\xA9\r\n[Config]\r\nx=\xC3\xA9", "Config", "key",
       "v", "\xC3\xA9\r\n[Config]\r\nkey=v\r\nx=\xC3\xA9\r\n"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.file("config.ini");
    writeBytes(path, c.file);
    ASSERT_TRUE(INIwrite(path, c.section, c.key, c.value)) << c.name;
    const std::string written = readBytes(path);
    EXPECT_EQ(written, c.expected) << c.name;
    EXPECT_EQ(iniLookup(written, c.section, c.key) == c.value, c.readsBack) << c.name;
  }
}

TEST(IniWrite, SameValueTwiceChangesNothing) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  writeBytes(path, "\r\n[Config]\r\na=1\r\n\r\n\r\n[Other]\r\nb=2");
  ASSERT_TRUE(INIwrite(path, "Config", "key", "v"));
  const std::string once = readBytes(path);
  ASSERT_TRUE(INIwrite(path, "Config", "key", "v"));
  EXPECT_EQ(readBytes(path), once);
}

TEST(IniFile, MissingFileIsCreated) {
  TempDir dir;
  const mode_t previousMask = umask(022);
  EXPECT_EQ(INIread(dir.file("read.ini"), "Config", "key"), "");
  EXPECT_EQ(readBytes(dir.file("read.ini")), "");
  ASSERT_TRUE(INIwrite(dir.file("new.ini"), "Config", "key", "value"));
  umask(previousMask);
  EXPECT_EQ(readBytes(dir.file("new.ini")), "[Config]\r\nkey=value\r\n");
  struct stat info {};
  ASSERT_EQ(stat(dir.file("new.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST(IniFile, MissingFolderOrFileAsFolderFails) {
  TempDir dir;
  writeBytes(dir.file("plain"), "x");
  for (const std::string& path :
       {dir.file("missing/config.ini"), dir.file("plain/config.ini"), dir.path()}) {
    EXPECT_EQ(INIread(path, "Config", "key"), std::nullopt) << path;
    EXPECT_FALSE(INIwrite(path, "Config", "key", "v")) << path;
  }
  EXPECT_NE(access(dir.file("missing").c_str(), F_OK), 0);
  EXPECT_EQ(readBytes(dir.file("plain")), "x");
}

TEST(IniFile, PermissionBitsKeptPlusOwnerReadWrite) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  for (const mode_t mode : {0640u, 0444u, 0604u}) {
    writeBytes(path, "[Config]\r\nkey=old\r\n");
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    ASSERT_TRUE(INIwrite(path, "Config", "key", "new"));
    EXPECT_EQ(INIread(path, "Config", "key"), "new");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode | 0600) << std::oct << mode;
  }
}

TEST(IniFile, UnwritableFolderLeavesFileAsItWas) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
  TempDir dir;
  const std::string path = dir.file("config.ini");
  writeBytes(path, "[Config]\r\nkey=old\r\n");
  ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
  EXPECT_FALSE(INIwrite(path, "Config", "key", "new"));
  chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(readBytes(path), "[Config]\r\nkey=old\r\n");
}

TEST(IniFile, SymlinkIsWrittenThroughAndStays) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
  writeBytes(dir.file("real/config.ini"), "[Config]\r\nkey=old\r\n");
  ASSERT_EQ(symlink("real/config.ini", dir.file("link.ini").c_str()), 0);
  ASSERT_TRUE(INIwrite(dir.file("link.ini"), "Config", "key", "new"));
  struct stat info {};
  ASSERT_EQ(lstat(dir.file("link.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(readBytes(dir.file("real/config.ini")), "[Config]\r\nkey=new\r\n");
}

TEST(AtomicFile, FailedRenameLeavesNoTempFile) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("busy").c_str(), 0755), 0);
  writeBytes(dir.file("busy/inside"), "x");  // renaming a file over a folder fails
  EXPECT_FALSE(tovanik::replaceFileAtomically(dir.file("busy"), "bytes"));
  DIR* folder = opendir(dir.path().c_str());
  ASSERT_NE(folder, nullptr);
  int entries = 0;
  while (readdir(folder)) ++entries;
  closedir(folder);
  EXPECT_EQ(entries, 3);  // ".", ".." and busy
}

// Far past the 32,767-byte positions a 16-bit index could reach, in linear time.
TEST(IniFile, LargeAndBinaryFiles) {
  TempDir dir;
  const std::string path = dir.file("config.ini");
  std::string big;
  for (int i = 0; big.size() < 8'000'000; ++i) big += "line" + std::to_string(i) + "=x\r\n";
  writeBytes(path, big + "[Config]\r\na=1\r\nkey=old\r\n");
  ASSERT_TRUE(INIwrite(path, "Config", "key", "new"));
  EXPECT_EQ(readBytes(path), big + "[Config]\r\na=1\r\nkey=new\r\n");

  std::mt19937 random(7);
  std::string garbage;
  while (garbage.size() < 2'000'000) garbage += static_cast<char>(random() & 0xFF);
  writeBytes(path, garbage);
  ASSERT_TRUE(INIwrite(path, "Config", "key", "v"));
  EXPECT_EQ(INIread(path, "Config", "key"), "v");
}

// A writer killed at any moment leaves the old text or the new one, never a mix. Temporary
// files of a killed writer stay behind (".config.ini.XXXXXX"); they are never the config.
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
      for (int i = 0;; ++i) INIwrite(path, "Config", "key", i % 2 ? "first" : "second");
    }
    usleep(random() % 20'000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const std::string now = readBytes(path);
    ASSERT_TRUE(now == first || now == second) << "round " << round << ", " << now.size();
  }
}

}  // namespace
