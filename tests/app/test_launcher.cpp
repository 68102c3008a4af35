// `tovanikctl launcher install` and `launcher remove` in a scratch home folder: the menu entry
// passes desktop-file-validate and launches this folder's panel whatever its path holds,
// every icon size is a PNG of that size, and remove takes away exactly what install wrote;
// each program folder has an entry of its own, and remove takes out only its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/ctl_commands.h"
#include "platform/path_text.h"
#include "tests/support/ctl_run.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_support.h"

namespace tovanik::test {
namespace {

namespace fs = std::filesystem;

// The menu entry of a program folder, below the data folder: named after a hash of the
// folder's path (its value is checked against literal ones in MenuEntryNames).
std::string entryOf(const std::string& folder) {
  return "applications/tovanik-webserver-" + shortPathHash(folder) + ".desktop";
}
const int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

std::string pngIcon(int size) {
  const std::string edge = std::to_string(size);
  return "icons/hicolor/" + edge + "x" + edge + "/apps/tovanik-webserver.png";
}

// Width and height from a PNG's IHDR chunk; {0, 0} when the bytes are not a PNG.
std::pair<int, int> pngSize(const std::string& bytes) {
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 ||
      bytes.compare(12, 4, "IHDR") != 0)
    return {0, 0};
  auto be32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return static_cast<int>(v);
  };
  return {be32(16), be32(20)};
}

std::map<std::string, std::string> entryKeys(const std::string& text) {
  std::map<std::string, std::string> keys;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    const auto eq = line.find('=');
    if (eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

// The arguments of an Exec value as a desktop reads them: first the string escapes of the
// file format, then the quoting rules of the Exec key (double quotes, backslash escapes, %%).
std::vector<std::string> execArguments(const std::string& value) {
  std::string unescaped;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      const char next = value[++i];
      unescaped += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
    } else {
      unescaped += value[i];
    }
  }
  std::vector<std::string> args;
  std::string arg;
  bool inArg = false, quoted = false;
  for (std::size_t i = 0; i < unescaped.size(); ++i) {
    const char ch = unescaped[i];
    if (quoted && ch == '\\' && i + 1 < unescaped.size()) {
      arg += unescaped[++i];
    } else if (ch == '"') {
      quoted = !quoted;
      inArg = true;
    } else if (ch == ' ' && !quoted) {
      if (inArg) args.push_back(arg);
      arg.clear();
      inArg = false;
    } else if (ch == '%' && i + 1 < unescaped.size() && unescaped[i + 1] == '%') {
      arg += '%';
      ++i;
      inArg = true;
    } else {
      arg += ch;
      inArg = true;
    }
  }
  if (inArg) args.push_back(arg);
  return args;
}

std::vector<std::string> filesBelow(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (!entry.is_directory()) files.push_back(fs::relative(entry.path(), dir).string());
  std::sort(files.begin(), files.end());
  return files;
}

class LauncherFolder : public ::testing::Test {
 protected:
  // A program folder named `name` holding the panel and the built icons.
  std::string programFolder(const std::string& name) {
    const std::string folder = scratch_.file(name);
    fs::create_directories(folder);
    fs::copy_file(binDir() + "/tovanik-webserver", folder + "/tovanik-webserver");
    fs::copy(binDir() + "/icons", folder + "/icons", fs::copy_options::recursive);
    return folder;
  }

  CtlRun launcher(const std::string& folder, const std::string& action,
                  const std::vector<std::string>& env, const std::string& option = "") {
    std::vector<std::string> args{"--folder", folder, "launcher", action, option};
    args.erase(std::remove(args.begin(), args.end(), ""), args.end());
    return runProgram(binDir() + "/tovanikctl", args, env);
  }

  TempDir scratch_;
};

class Launcher : public LauncherFolder, public ::testing::WithParamInterface<std::string> {};

// Folder names with a blank and with every character the Exec key must escape.
INSTANTIATE_TEST_SUITE_P(FolderNames, Launcher,
                         ::testing::Values("plain", "with blank",
                                           "odd \"quote\" $HOME `cmd` 100% back\\slash ';&"));

TEST_P(Launcher, InstallsAValidEntryAndIconsAndRemoveTakesThemAway) {
  const std::string folder = programFolder(GetParam());
  const std::string home = scratch_.file("home");
  const std::string data = home + "/.local/share";
  // Files of other programs in the same folders stay where they are.
  fs::create_directories(data + "/applications");
  fs::create_directories(data + "/icons/hicolor/48x48/apps");
  writeBytes(data + "/applications/other.desktop", "x");
  writeBytes(data + "/icons/hicolor/48x48/apps/other.png", "x");
  const auto before = filesBelow(home);
  const std::vector<std::string> env{"-u", "XDG_DATA_HOME", "HOME=" + home};

  const CtlRun installed = launcher(folder, "install", env);
  ASSERT_EQ(installed.rc, 0) << installed.err;

  const std::string entry = data + "/" + entryOf(folder);
  const CtlRun validated = runProgram("desktop-file-validate", {entry});
  EXPECT_EQ(validated.rc, 0) << validated.out << validated.err;
  const auto keys = entryKeys(readBytes(entry));
  EXPECT_EQ(execArguments(keys.at("Exec")), std::vector<std::string>{folder + "/tovanik-webserver"})
      << keys.at("Exec");
  EXPECT_EQ(keys.at("Icon"), "tovanik-webserver");
  EXPECT_EQ(keys.at("Name"), "Tovanik Web Server");
  EXPECT_EQ(keys.at("StartupWMClass"), "tovanik-webserver");

  for (int size : kIconSizes)
    EXPECT_EQ(pngSize(readBytes(data + "/" + pngIcon(size))), std::make_pair(size, size)) << size;
  EXPECT_NE(readBytes(data + "/icons/hicolor/scalable/apps/tovanik-webserver.svg").find("<svg"),
            std::string::npos);

  const CtlRun removed = launcher(folder, "remove", env);
  EXPECT_EQ(removed.rc, 0) << removed.err;
  EXPECT_EQ(filesBelow(home), before);
  // Removing again finds nothing and is not an error.
  EXPECT_EQ(launcher(folder, "remove", env).rc, 0);
}

TEST_F(LauncherFolder, HonoursXdgDataHome) {
  const std::string folder = programFolder("app");
  const std::string home = scratch_.file("home");
  const std::string data = scratch_.file("data");
  fs::create_directories(home);
  const std::vector<std::string> env{"HOME=" + home, "XDG_DATA_HOME=" + data + "/"};

  ASSERT_EQ(launcher(folder, "install", env).rc, 0);
  EXPECT_TRUE(fs::exists(data + "/" + entryOf(folder)));
  EXPECT_EQ(pngSize(readBytes(data + "/" + pngIcon(16))), std::make_pair(16, 16));
  EXPECT_TRUE(fs::is_empty(home));
  ASSERT_EQ(launcher(folder, "remove", env).rc, 0);
  EXPECT_TRUE(filesBelow(data).empty());
  // Run as root with a user's environment (sudo -E), the user's folder is not root's
  // menu: root's entry goes below the home root trusts, and nothing into theirs.
  if (geteuid() != 0) return;
  const ThrowawayUser user;
  user.own(data);
  ASSERT_EQ(launcher(folder, "install", env).rc, 0);
  EXPECT_TRUE(filesBelow(data).empty());
  EXPECT_TRUE(fs::exists(home + "/.local/share/" + entryOf(folder)));
}

TEST_F(LauncherFolder, AtLoginAnAutostartEntryOfItsOwn) {
  const std::string folder = programFolder("app"), config = scratch_.file("config");
  const std::vector<std::string> env{"HOME=" + scratch_.file("home"), "XDG_CONFIG_HOME=" + config};
  ASSERT_EQ(launcher(folder, "install", env, "--at-login").rc, 0);
  const std::string entry = config + "/autostart/tovanik-webserver-" + shortPathHash(folder) + ".desktop";
  EXPECT_EQ(runProgram("desktop-file-validate", {entry}).rc, 0);
  EXPECT_EQ(execArguments(entryKeys(readBytes(entry)).at("Exec")),
            std::vector<std::string>{folder + "/tovanik-webserver"});
  EXPECT_EQ(launcher(folder, "", env).out, "menu entry: none\nat login: " + entry + "\n");
  ASSERT_EQ(launcher(folder, "remove", env, "--at-login").rc, 0);
  EXPECT_EQ(launcher(folder, "", env).out, "menu entry: none\nat login: none\n");
  EXPECT_TRUE(filesBelow(config).empty());
}

TEST_F(LauncherFolder, NamesThePanelByItsAbsolutePathWhenGivenARelativeFolder) {
  const std::string folder = programFolder("relative");
  const std::string home = scratch_.file("home");
  const std::vector<std::string> env{"-C", scratch_.path(), "-u", "XDG_DATA_HOME", "HOME=" + home};

  ASSERT_EQ(launcher("relative", "install", env).rc, 0);
  const auto keys = entryKeys(readBytes(home + "/.local/share/" + entryOf(folder)));
  EXPECT_EQ(execArguments(keys.at("Exec")),
            std::vector<std::string>{folder + "/tovanik-webserver"});
}

// A menu entry is UTF-8 text, one key per line: a path it cannot hold is refused.
TEST_F(LauncherFolder, RefusesAPathAMenuEntryCannotHold) {
  const std::string home = scratch_.file("home");
  fs::create_directories(home);
  const std::vector<std::string> env{"-u", "XDG_DATA_HOME", "HOME=" + home};
  for (const char* name : {"line\nbreak", "not utf-8 \xff", "tab\there", "del\x7fhere"})
    expectCleanFailure(launcher(programFolder(name), "install", env));
  EXPECT_TRUE(filesBelow(home).empty());
}

// A folder without its panel or without its icons installs nothing at all.
TEST_F(LauncherFolder, RefusesAnIncompleteFolderAndWritesNothing) {
  const std::string home = scratch_.file("home");
  fs::create_directories(home);
  const std::vector<std::string> env{"-u", "XDG_DATA_HOME", "HOME=" + home};

  const std::string noPanel = programFolder("no panel");
  fs::remove(noPanel + "/tovanik-webserver");
  expectCleanFailure(launcher(noPanel, "install", env));

  const std::string noIcon = programFolder("no icon");
  fs::remove(noIcon + "/" + pngIcon(256));
  const CtlRun r = launcher(noIcon, "install", env);
  expectCleanFailure(r);
  EXPECT_NE(r.err.find("No such file"), std::string::npos) << r.err;

  EXPECT_TRUE(filesBelow(home).empty());
  expectCleanFailure(launcher(noIcon, "uninstall", env), 2);
}

// Two program folders: each gets an entry of its own, named after its folder while both
// are installed; removing one leaves the other's entry and the icons it shows.
TEST_F(LauncherFolder, TwoFoldersKeepAnEntryEach) {
  const std::string a = programFolder("alpha"), b = programFolder("beta");
  const std::string home = scratch_.file("home");
  const std::string data = home + "/.local/share";
  fs::create_directories(home);
  const std::vector<std::string> env{"-u", "XDG_DATA_HOME", "HOME=" + home};
  auto nameOf = [&](const std::string& folder) {
    return entryKeys(readBytes(data + "/" + entryOf(folder))).at("Name");
  };

  ASSERT_EQ(launcher(a, "install", env).rc, 0);
  EXPECT_EQ(nameOf(a), "Tovanik Web Server");
  ASSERT_EQ(launcher(b, "install", env).rc, 0);
  EXPECT_NE(entryOf(a), entryOf(b));
  EXPECT_EQ(nameOf(a), "Tovanik \xE2\x80\x94 alpha");
  EXPECT_EQ(nameOf(b), "Tovanik \xE2\x80\x94 beta");
  EXPECT_EQ(execArguments(entryKeys(readBytes(data + "/" + entryOf(b))).at("Exec")),
            std::vector<std::string>{b + "/tovanik-webserver"});
  EXPECT_EQ(runProgram("desktop-file-validate", {data + "/" + entryOf(a)}).rc, 0);

  // Removing b leaves a's entry, under the plain name again, and the icons.
  const CtlRun removed = launcher(b, "remove", env);
  EXPECT_EQ(removed.out, "removed 1 file\n");
  EXPECT_FALSE(fs::exists(data + "/" + entryOf(b)));
  EXPECT_EQ(nameOf(a), "Tovanik Web Server");
  EXPECT_EQ(pngSize(readBytes(data + "/" + pngIcon(48))), std::make_pair(48, 48));

  // An entry of the old single name that starts a's panel is replaced by a's own.
  fs::rename(data + "/" + entryOf(a), data + "/applications/tovanik-webserver.desktop");
  ASSERT_EQ(launcher(a, "install", env).rc, 0);
  EXPECT_FALSE(fs::exists(data + "/applications/tovanik-webserver.desktop"));
  EXPECT_EQ(launcher(a, "remove", env).out, "removed 9 files\n");  // entry, SVG, 7 PNGs
  EXPECT_TRUE(filesBelow(home).empty());
}

// The names, on the fake menu: the id from a hash of the whole path, the folder's name once
// another folder has an entry, and the hash as well when both folders share a name.
TEST(MenuEntryNames, FollowTheFoldersInstalled) {
  auto entry = [](const std::string& folder) {
    return MenuEntry{"", "", folder + "/tovanik-webserver", folder, {}};
  };
  struct Case {
    std::string folder;
    std::vector<MenuEntry> others;
    std::string id, name;
  } cases[] = {
      {"/opt/tovanik", {}, "tovanik-webserver-e513158b", "Tovanik Web Server"},
      {"/opt/tovanik", {entry("/srv/site")}, "tovanik-webserver-e513158b",
       "Tovanik \xE2\x80\x94 tovanik"},
      {"/srv/site", {entry("/home/zoe/site")}, "tovanik-webserver-1c1e2780",
       "Tovanik \xE2\x80\x94 site (1c1e2780)"},
      {"/home/zoe/site", {entry("/opt/tovanik"), entry("/srv/site")},
       "tovanik-webserver-18d328d5", "Tovanik \xE2\x80\x94 site (18d328d5)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ctl::menuEntryId(c.folder), c.id) << c.folder;
    EXPECT_EQ(ctl::menuEntryName(c.folder, c.others), c.name) << c.folder;
  }
}

// The launcher's rules on the fake menu, for both systems' backends alike.
TEST(MenuEntryNames, RemoveTakesOutOnlyItsOwnFoldersEntry) {
  FakePlatform platform;
  std::ostringstream out, err;
  auto run = [&](const std::string& folder, const std::string& action) {
    return ctl::run(platform, {"--folder", folder, "launcher", action}, out, err);
  };
  ASSERT_EQ(run("/opt/a", "install"), 0) << err.str();
  ASSERT_EQ(run("/opt/b", "install"), 0) << err.str();
  ASSERT_EQ(platform.menu_.entries_.size(), 2u);
  EXPECT_EQ(platform.menu_.entries_.at("tovanik-webserver-" + shortPathHash("/opt/a")).name,
            "Tovanik \xE2\x80\x94 a");
  ASSERT_EQ(run("/opt/b", "remove"), 0) << err.str();
  ASSERT_EQ(platform.menu_.entries_.size(), 1u);
  EXPECT_EQ(platform.menu_.entries_.begin()->second.panel, "/opt/a/tovanik-webserver");
  EXPECT_EQ(platform.menu_.entries_.begin()->second.name, "Tovanik Web Server");
  EXPECT_TRUE(platform.menu_.icons_);  // a's entry still shows them
  ASSERT_EQ(run("/opt/a", "remove"), 0) << err.str();
  EXPECT_TRUE(platform.menu_.entries_.empty());
  EXPECT_FALSE(platform.menu_.icons_);
  platform.menu_.location_.clear();
  EXPECT_EQ(run("/opt/a", "install"), 1);
  EXPECT_EQ(err.str().substr(err.str().rfind("tovanikctl:")), "tovanikctl: no menu folder\n");
}

}  // namespace
}  // namespace tovanik::test
