// The panel's logic on the fake platform: settings display, defaults, port editing,
// launch composition, the status column, stop/restart, the console switch, links and
// hover feedback; the window's pointer routing and start-up order.
#include <fcntl.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "panel/keyboard.h"
#include "panel/panel.h"
#include "panel/pointer_routing.h"
#include "panel/startup_order.h"
#include "platform/path_text.h"
#include "settings/ini.h"
#include "tests/support/fake_file_store.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fs_path.h"
#include "tests/support/test_support.h"

namespace tovanik {
namespace {

using namespace std::string_literals;

using test::readBytes;
using test::TempDir;
using test::writeBytes;

// What the panel and the shared window logic asked of the window, in order; the window
// brought to the front and the focus given to the hidden box, counted.
struct RecordingShell : WindowShell {
  std::vector<std::string> calls;
  int topMost = 0;
  int focusHidden = 0;
  void makeTopMost() override { ++topMost; }
  void closeWindow() override { calls.push_back("close"); }
  void minimiseWindow() override { calls.push_back("minimise"); }
  void moveWindowTo(int left, int top) override {
    calls.push_back("move " + std::to_string(left) + "," + std::to_string(top));
  }
  void showHand(bool hand) override { calls.push_back(hand ? "hand" : "arrow"); }
  void focusControl(std::optional<Ctl> control) override { focusHidden += !control; }
  void sync() override { calls.push_back("sync"); }
  void firstFrameShown() override { calls.push_back("first frame"); }
};

constexpr const char* kDefaultFile =
    "[Config]\r\ncommand_prompt=hide\r\nserver_port=80\r\nroot_directory=tovanik\r\n"
    "php_folder=php\r\nexe_name=t-server.exe\r\n";

class PanelTest : public ::testing::Test {
 protected:
  // The folder as shipped: a server to launch and the web folders the settings name, so
  // that only the cases meant to refuse a launch do.
  void SetUp() override {
    for (const char* folder : {"config", "php", "tovanik", "my site"})
      std::filesystem::create_directory(fsPath(dir.file(folder)));
    writeBytes(dir.file("php/t-server.exe"), "");
    std::filesystem::permissions(fsPath(dir.file("php/t-server.exe")),
                                 std::filesystem::perms::owner_all);
  }
  std::string configFile() const { return dir.file("config/config.ini"); }
  void writeConfig(const std::string& text) { writeBytes(configFile(), text); }
  std::string stored(const char* key) {
    return INIread(systemFileStore(), configFile(), "Config", key).value_or("<unreadable>");
  }

  TempDir dir;
  FakePlatform platform = [this] {
    FakePlatform p;
    p.program_folder_ = dir.path();
    return p;
  }();
  RecordingShell view;
  Panel panel{platform, view};
};

TEST_F(PanelTest, FreshFolderGetsTheDefaultsAndShowsThem) {
  panel.loadConfig();
  EXPECT_EQ(readBytes(configFile()), kDefaultFile);
  EXPECT_EQ(panel[Ctl::txtPort].caption, "80");
  EXPECT_EQ(panel[Ctl::txtExeName].caption, "t-server.exe");
  EXPECT_EQ(panel[Ctl::lblRootDir].caption, "tovanik >");
  EXPECT_FALSE(panel[Ctl::shpCMDOn].visible);
  EXPECT_TRUE(panel[Ctl::shpCMDOff].visible);
  EXPECT_EQ(panel[Ctl::lineCMDOnOff].colour, colour::kTrack);
}

TEST_F(PanelTest, DefaultsDecidedByCommandPromptAlone) {
  struct Case {
    const char* name;
    std::string file;
    bool rewritten;
  };
  const Case cases[] = {
      {"prompt deleted resets custom values",
       "[Config]\r\nserver_port=9000\r\nroot_directory=www\r\nphp_folder=php\r\nexe_name=x\r\n",
       true},
      {"prompt empty resets", "[Config]\r\ncommand_prompt=\r\nserver_port=9000\r\n", true},
      {"other sections only", "[Other]\r\na=1\r\n", true},
      {"odd prompt value kept", "[Config]\r\ncommand_prompt=maybe\r\nserver_port=9000\r\n", false},
      {"key in capitals", "[CONFIG]\r\nCOMMAND_PROMPT=show\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeConfig(c.file);
    panel.loadConfig();
    if (c.rewritten) {
      EXPECT_EQ(stored("server_port"), "80");
      EXPECT_EQ(stored("command_prompt"), "hide");
      EXPECT_EQ(stored("exe_name"), "t-server.exe");
    } else {
      EXPECT_EQ(readBytes(configFile()), c.file);
    }
  }
  writeConfig("[Other]\r\na=1\r\n");
  panel.loadConfig();
  EXPECT_EQ(readBytes(configFile()), std::string("[Other]\r\na=1\r\n\r\n") + kDefaultFile);
}

// A folder holding only the programs: the settings folder is made and given the
// defaults, and the server starts from them (never with an empty name or port).
TEST_F(PanelTest, MissingConfigFolderIsCreatedWithTheDefaults) {
  std::filesystem::remove(fsPath(dir.file("config")));
  panel.startPHP();
  EXPECT_EQ(readBytes(configFile()), kDefaultFile);
  EXPECT_EQ(panel[Ctl::txtPort].caption, "80");
  EXPECT_EQ(panel[Ctl::lblRootDir].caption, "tovanik >");
  EXPECT_EQ(panel[Ctl::lblURL].caption, "http://localhost");
  ASSERT_EQ(platform.launches_.size(), 1u);
  EXPECT_EQ(platform.launches_[0].first[0], dir.file("php/t-server.exe"));
  EXPECT_EQ(view.topMost, 1);
}

// A settings folder that cannot be made (a file in its place): nothing is launched, the
// design's texts stay, and the window is still made topmost.
TEST_F(PanelTest, UnusableConfigFolderLaunchesNothing) {
  std::filesystem::remove(fsPath(dir.file("config")));
  writeBytes(dir.file("config"), "not a folder");
  panel.startPHP();
  EXPECT_TRUE(platform.launches_.empty());
  EXPECT_EQ(panel[Ctl::txtPort].caption, "");
  EXPECT_EQ(panel[Ctl::lblRootDir].caption, "");
  EXPECT_TRUE(panel[Ctl::shpCMDOff].visible);
  EXPECT_EQ(view.topMost, 1);
  panel.statusTick();
  EXPECT_TRUE(panel[Ctl::shapeOff].visible);
}

TEST_F(PanelTest, ConsoleIndicatorOnlyForExactlyShow) {
  const std::pair<const char*, bool> cases[] = {
      {"show", true}, {"Show", false}, {"show ", false}, {"hide", false}, {"other", false}};
  for (const auto& [value, on] : cases) {
    SCOPED_TRACE(value);
    writeConfig(std::string("[Config]\r\ncommand_prompt=") + value + "\r\nroot_directory=\r\n");
    panel.loadConfig();
    EXPECT_EQ(panel[Ctl::shpCMDOn].visible, on);
    EXPECT_EQ(panel[Ctl::shpCMDOff].visible, !on);
    EXPECT_EQ(panel[Ctl::lineCMDOnOff].colour, on ? colour::kTrackOn : colour::kTrack);
    EXPECT_EQ(panel[Ctl::lblRootDir].caption, " >");
  }
}

TEST_F(PanelTest, PortEditingStoresDigitsAndUndoesEverythingElse) {
  writeConfig(kDefaultFile);
  panel.loadConfig();
  struct Step {
    const char* typed;  // the box's text after the keystroke
    const char* shown;  // the box's text after the handling
    const char* stored;
  };
  // Only ports that can work are taken: 1-5 ASCII digits, 1-65535, tovanikctl's rule.
  const Step steps[] = {
      {"808", "808", "808"},
      {"8080", "8080", "8080"},
      {"8080x", "8080", "8080"},
      {"", "8080", "8080"},
      {"-", "8080", "8080"},
      {"99999", "8080", "8080"},
      {"8.5", "8080", "8080"},
      {" 81", "8080", "8080"},
      {"0", "8080", "8080"},
      {"65535", "65535", "65535"},
      {"65536", "65535", "65535"},
      {"655350", "65535", "65535"},
      {"7123456", "65535", "65535"},
      {"9", "9", "9"},  // the whole text selected and a digit typed over it
      {"08080", "08080", "08080"},
      {"\xd9\xa1", "08080", "08080"},  // no other digits
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.typed);
    panel.setPortText(s.typed);
    EXPECT_EQ(panel[Ctl::txtPort].caption, s.shown);
    EXPECT_EQ(stored("server_port"), s.stored);
    EXPECT_EQ(panel.takePortSelection(), (PortSelection{static_cast<int>(strlen(s.shown)), 0}));
  }
  // Ctrl+A and a refused key: the port comes back selected, for the next digit to replace.
  panel.setPortText("0", PortSelection{0, 5});
  EXPECT_EQ(panel.takePortSelection(), (PortSelection{0, 5}));
}

TEST_F(PanelTest, NonNumericStoredPortEndsTheNesting) {
  writeConfig("[Config]\r\ncommand_prompt=hide\r\nserver_port=abc\r\n");
  panel.setPortText("x");
  EXPECT_EQ(panel[Ctl::txtPort].caption, "abc");
  EXPECT_EQ(stored("server_port"), "abc");
}

TEST_F(PanelTest, PortBoxPressColoursOnlyWhenEnabled) {
  panel.txtPortPress();
  EXPECT_EQ(panel[Ctl::txtPort].background, colour::kPortEditing);
  writeConfig(kDefaultFile);
  platform.running_names_.insert("t-server.exe");
  panel.statusTick();  // disables the box
  panel.txtPortPress();
  EXPECT_EQ(panel[Ctl::txtPort].background, colour::kCard);
}

TEST_F(PanelTest, WritePortStoresPortAndConsoleChoice) {
  writeConfig("[Config]\r\ncommand_prompt=show\r\nserver_port=80\r\n");
  panel.loadConfig();
  panel.writePort();
  EXPECT_EQ(panel[Ctl::lblURL].caption, "http://localhost");
  EXPECT_EQ(stored("command_prompt"), "show");
  panel.setPortText("8080");
  writeConfig("[Config]\r\ncommand_prompt=hide\r\nserver_port=1\r\n");
  panel.writePort();  // the indicator still shows "show": the file follows the window
  EXPECT_EQ(panel[Ctl::lblURL].caption, "http://localhost:8080");
  EXPECT_EQ(stored("command_prompt"), "show");
  EXPECT_EQ(stored("server_port"), "8080");
  EXPECT_EQ(view.focusHidden, 2);
}

#ifndef _WIN32
// Another writer holding the lock keeps a keystroke's write waiting a quarter of a
// second, not seconds: then the write fails as designed, the box keeps the text and the
// file its value. (The lock itself is each system's: flock here.)
TEST_F(PanelTest, PortBoxWaitsBrieflyForAnotherWriter) {
  writeConfig("[Config]\r\ncommand_prompt=hide\r\nserver_port=80\r\n");
  panel.loadConfig();
  const int held = open((dir.path() + "/config/.config.ini.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const int begun = platform.clockMs();  // the real lock, waited for on the platform's clock
  panel.setPortText("8081");
  close(held);
  EXPECT_EQ(platform.clockMs() - begun, 250);
  EXPECT_EQ(panel[Ctl::txtPort].caption, "8081");
  EXPECT_EQ(stored("server_port"), "80");
  // The window says why, in the switch's tooltip, as tovanikctl config set would.
  EXPECT_EQ(panel.why().rfind("cannot write " + configFile() + ": ", 0), 0u) << panel.why();
  EXPECT_EQ(panel[Ctl::lblStartStop].tooltip, panel.why());
}
#endif

#ifndef _WIN32
// The tick reads the settings file only when its stamp changed: the bytes this process
// has read (the kernel's count in /proc/self/io) grow by less than the file per tick.
TEST_F(PanelTest, StatusTickReadsTheFileOnlyWhenItChanged) {
  const auto bytesRead = [] {
    const std::string io = readBytes("/proc/self/io");
    return std::stoll(io.substr(io.find("rchar: ") + 7));
  };
  // Large beside /proc/self/io itself, whose reading counts too.
  const std::string file = kDefaultFile + std::string("[Other]\r\npad=") + std::string(8000, 'x');
  writeConfig(file);
  panel.statusTick();
  const long long size = static_cast<long long>(file.size());
  const struct {
    const char* what;
    bool change;
    bool read;
  } ticks[] = {{"unchanged", false, false},
               {"unchanged again", false, false},
               {"rewritten", true, true},
               {"unchanged after", false, false}};
  for (const auto& tick : ticks) {
    if (tick.change) writeConfig(file + "\r\n");
    const long long before = bytesRead();
    panel.statusTick();
    const long long read = bytesRead() - before;
    EXPECT_EQ(read >= size, tick.read) << tick.what << ": " << read << " bytes";
  }
}
#endif

// The panel's settings on an in-memory store and the fake clock, the same on every
// system: a UTF-16 file is shown and written back in UTF-16, one that cannot be read is
// left alone, launches nothing and says why (the box goes back to what is stored), and a
// keystroke waits a quarter of a second for a writer holding the lock, then the box keeps
// its text and the file its value.
TEST(PanelSettings, OnAnyStoreAndClock) {
  const std::string le = "\xFF\xFE";
  const auto utf16 = [&](std::string_view ascii) {
    std::string units = le;
    for (const char c : ascii) units += std::string(1, c) + '\0';
    return units;
  };
  struct Case {
    const char* name;
    std::string file;
    bool lockBusy;
    const char* portShown;  // after loadConfig, then typing 8081
    std::string after;      // the file at the end
    int launches;
    int waitedMs;
    const char* unread = "";  // why the start could not read the file, after its path
    const char* shownOnceReadable = "";  // started while the file was held, then the tick
  };
  const Case cases[] = {
      {"UTF-16 file",
       utf16("[Config]\r\ncommand_prompt=hide\r\nserver_port=8080\r\nexe_name=s.exe\r\n"), false,
       "8081", utf16("[Config]\r\ncommand_prompt=hide\r\nserver_port=8081\r\nexe_name=s.exe\r\n"),
       1, 0, "", "8081"},
      {"invalid UTF-16", le + "[\0C"s, false, "", le + "[\0C"s, 0, 0,
       ": not valid UTF-16 text (it starts with the UTF-16 byte-order mark, but its length is an "
       "odd number of bytes)"},
      {"lock held", "[Config]\r\ncommand_prompt=hide\r\nserver_port=8080\r\nexe_name=s.exe\r\n",
       true, "8081", "[Config]\r\ncommand_prompt=hide\r\nserver_port=8080\r\nexe_name=s.exe\r\n", 1,
       250, "", "8080"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    // The launch checks the server file and the web folder on disk: both are real (an
    // ".exe", which Windows takes for a program).
    test::TempDir program;
    platform.program_folder_ = program.path();
    test::writeBytes(program.file("s.exe"), "");
    std::filesystem::permissions(fsPath(program.file("s.exe")), std::filesystem::perms::owner_all);
    FakeFileStore files(platform);
    platform.file_store_ = &files;
    files.folders_.insert(program.file("config"));
    const std::string path = joinPath(program.file("config"), "config.ini");
    files.put(path, c.file);
    RecordingShell view;
    Panel panel(platform, view);
    panel.startPHP();
    EXPECT_EQ(static_cast<int>(platform.launches_.size()), c.launches);
    EXPECT_EQ(panel.why(), *c.unread ? "cannot read " + path + c.unread : "");
    files.lock_busy_ = c.lockBusy;
    const auto before = platform.now();
    panel.setPortText("8081");
    EXPECT_EQ(platform.now() - before, std::chrono::milliseconds(c.waitedMs));
    EXPECT_EQ(panel[Ctl::txtPort].caption, c.portShown);
    EXPECT_EQ(files.bytesOf(path), c.after);
    // Held by another program at the start, the file is shown at the first tick it can be
    // read; why it could not be read is shown meanwhile.
    files.lock_busy_ = false;
    files.fail_reads_ = "held";
    Panel held(platform, view);
    held.startPHP();
    EXPECT_EQ(held.why(), "cannot read " + path + ": held");
    files.fail_reads_.clear();
    held.statusTick();
    EXPECT_EQ(held[Ctl::txtPort].caption, c.shownOnceReadable);
  }
}

TEST_F(PanelTest, LaunchComposition) {
  struct Case {
    const char* port;
    const char* prompt;
    const char* url;
    ConsoleMode mode;
  };
  const Case cases[] = {
      {"80", "hide", "http://localhost", ConsoleMode::Hidden},
      {"8080", "show", "http://localhost:8080", ConsoleMode::Shown},
      {"080", "Hide", "http://localhost:080", ConsoleMode::Shown},
      {"", "show", "http://localhost:", ConsoleMode::Shown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    FakePlatform fresh;
    fresh.program_folder_ = dir.path();
    RecordingShell v;
    Panel p(fresh, v);
    writeConfig(std::string("[Config]\r\ncommand_prompt=") + c.prompt +
                "\r\nserver_port=" + c.port +
                "\r\nroot_directory=my site\r\nphp_folder=php\r\nexe_name=t-server.exe\r\n");
    p.startPHP();
    EXPECT_EQ(p[Ctl::lblURL].caption, c.url);
    if (c.port[0] == '\0') {  // never a launch without a port
      EXPECT_TRUE(fresh.launches_.empty());
      continue;
    }
    ASSERT_EQ(fresh.launches_.size(), 1u);
    const std::vector<std::string> argv{dir.file("php/t-server.exe"), "-S",
                                        std::string("0.0.0.0:") + c.port, "-t",
                                        dir.file("my site")};
    EXPECT_EQ(fresh.launches_[0].first, argv);
    EXPECT_EQ(fresh.launches_[0].second, c.mode);
    EXPECT_EQ(v.topMost, 1);
  }
}

TEST_F(PanelTest, EmptyPromptGetsTheDefaultsBeforeTheLaunch) {
  // An empty prompt triggers the defaults first, so the launch hides again; a prompt
  // set to anything but "hide" shows.
  writeConfig("[Config]\r\ncommand_prompt=\r\n");
  panel.startPHP();
  EXPECT_EQ(platform.launches_.back().second, ConsoleMode::Hidden);
}

TEST_F(PanelTest, NoSecondServerWhenOneRuns) {
  writeConfig(kDefaultFile);
  platform.running_names_.insert("T-Server.EXE");
  panel.txtPortPress();
  panel.startPHP();
  EXPECT_TRUE(platform.launches_.empty());
  EXPECT_EQ(panel[Ctl::lblURL].caption, "http://localhost");
  EXPECT_EQ(panel[Ctl::txtPort].background, colour::kCard);
  EXPECT_EQ(view.topMost, 1);
}

TEST_F(PanelTest, StatusTickWritesAColumn) {
  writeConfig(kDefaultFile);
  platform.running_names_.insert("T-SERVER.exe");  // letter case does not matter
  panel.statusTick();
  EXPECT_TRUE(panel[Ctl::shapeOn].visible);
  EXPECT_FALSE(panel[Ctl::shapeOff].visible);
  EXPECT_EQ(panel[Ctl::lineStartStop].colour, colour::kTrackOn);
  EXPECT_EQ(panel[Ctl::lblURL].colour, colour::kBlue);
  EXPECT_EQ(panel[Ctl::Label3].colour, colour::kBlue);
  EXPECT_FALSE(panel[Ctl::txtPort].enabled);
  // Until the server ends or the settings' or the log's folder changes, the next tick
  // would show the same.
  EXPECT_EQ(panel.restFolders(), std::vector<std::string>({dir.file("config"), platform.log_files_.state_folder_}));

  writeConfig("[Config]\r\ncommand_prompt=hide\r\nexe_name=other.exe\r\n");
  panel.statusTick();  // a changed name takes effect at the next tick
  EXPECT_FALSE(panel.restFolders());
  EXPECT_FALSE(panel[Ctl::shapeOn].visible);
  EXPECT_TRUE(panel[Ctl::shapeOff].visible);
  EXPECT_EQ(panel[Ctl::lineStartStop].colour, colour::kTrack);
  EXPECT_EQ(panel[Ctl::Label3].colour, colour::kButtonFace);
  EXPECT_TRUE(panel[Ctl::txtPort].enabled);
}

TEST_F(PanelTest, StartStopSwitchActsOnTheShownState) {
  writeConfig(kDefaultFile);
  platform.running_names_.insert("t-server.exe");
  // Before the first tick the design shows stopped: the click starts, and the presence
  // check keeps it from adding a second server.
  panel.clickStartStop();
  EXPECT_TRUE(platform.launches_.empty());
  EXPECT_TRUE(platform.kills_.empty());
  panel.statusTick();
  panel.clickStartStop();
  EXPECT_EQ(platform.kills_, std::vector<std::string>{"t-server.exe"});
  EXPECT_TRUE(platform.running_names_.empty());
  panel.statusTick();
  panel.clickStartStop();
  EXPECT_EQ(platform.launches_.size(), 1u);
  EXPECT_EQ(view.focusHidden, 3);
}

TEST_F(PanelTest, RestartStopsStoresPausesThenStarts) {
  writeConfig(kDefaultFile);
  platform.running_names_.insert("t-server.exe");
  panel.loadConfig();
  auto begun = platform.now();
  panel.restartServer();
  // Stopped (at once: none was left), a second's pause, started again: it runs.
  EXPECT_EQ(platform.kills_.size(), 1u);
  EXPECT_EQ(platform.launches_.size(), 1u);
  EXPECT_EQ(platform.running_names_, std::set<std::string>{"t-server.exe"});
  EXPECT_EQ(platform.now() - begun, std::chrono::milliseconds(1000));
  EXPECT_EQ(stored("server_port"), "80");
  // A server that outlives its kill keeps the stop waiting 2 s, no longer, before the
  // pause and the start, which finds it still running: no second launch.
  platform.kill_stops_ = false;
  begun = platform.now();
  panel.restartServer();
  EXPECT_EQ(platform.now() - begun, std::chrono::milliseconds(3000));
  EXPECT_EQ(platform.launches_.size(), 1u);
}

TEST_F(PanelTest, ConsoleSwitchFlipsStoresAndRestarts) {
  writeConfig(kDefaultFile);
  panel.loadConfig();
  panel.clickCMDSwitch();
  EXPECT_EQ(stored("command_prompt"), "show");
  EXPECT_TRUE(panel[Ctl::shpCMDOn].visible);
  EXPECT_EQ(panel[Ctl::lineCMDOnOff].colour, colour::kTrackOn);
  ASSERT_EQ(platform.launches_.size(), 1u);
  EXPECT_EQ(platform.launches_[0].second, ConsoleMode::Shown);

  panel.clickCMDSwitch();
  EXPECT_EQ(stored("command_prompt"), "hide");
  EXPECT_FALSE(panel[Ctl::shpCMDOn].visible);
  ASSERT_EQ(platform.launches_.size(), 2u);
  EXPECT_EQ(platform.launches_[1].second, ConsoleMode::Hidden);

  // "Show" by hand: the indicator reads off, the first click stores "show".
  writeConfig("[Config]\r\ncommand_prompt=Show\r\n");
  panel.loadConfig();
  panel.clickCMDSwitch();
  EXPECT_EQ(stored("command_prompt"), "show");
}

// Every settings write checks the folder first, not only the start-up: while it is
// untrusted (run as root, a folder above it made another user's) the defaults, the port
// box, writePort and the console switch write nothing and show nothing; once it is
// trusted again they act.
TEST_F(PanelTest, SettingsWritesWaitForATrustedFolder) {
  writeConfig("[Config]\r\nserver_port=80\r\n");
  platform.untrusted_ = "refusing, as root, to use /srv/tv: the folder /srv is owned by u";
  panel.loadConfig();
  panel.setPortText("8081");
  panel.writePort();
  panel.clickCMDSwitch();
  EXPECT_EQ(readBytes(configFile()), "[Config]\r\nserver_port=80\r\n");
  EXPECT_FALSE(panel.showsConsole());
  EXPECT_EQ(panel[Ctl::lblURL].caption, "");
  EXPECT_TRUE(platform.launches_.empty());

  platform.untrusted_.reset();
  panel.setPortText("8082");
  EXPECT_EQ(stored("server_port"), "8082");
  panel.clickCMDSwitch();
  EXPECT_EQ(stored("command_prompt"), "show");
  EXPECT_TRUE(panel.showsConsole());
}

// A settings file over 1 MiB is neither read nor written: no defaults are added, no edit
// is stored, and the panel is ready at once.
TEST_F(PanelTest, OverLargeSettingsFileIsLeftAlone) {
  writeConfig("[Config]\r\nserver_port=80\r\n");
  std::filesystem::resize_file(fsPath(configFile()), 2097152);
  const auto begun = std::chrono::steady_clock::now();
  panel.loadConfig();
  panel.setPortText("8081");
  panel.writePort();
  panel.statusTick();
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  EXPECT_LT(took, 1.0);
  EXPECT_EQ(std::filesystem::file_size(fsPath(configFile())), 2097152u);
  EXPECT_EQ(readBytes(configFile()).substr(0, 24), "[Config]\r\nserver_port=80");
  EXPECT_TRUE(platform.launches_.empty());
}

TEST_F(PanelTest, Links) {
  writeConfig(kDefaultFile);
  panel.startPHP();
  platform.launches_.clear();
  panel.clickURL();  // shown as stopped: nothing
  EXPECT_TRUE(platform.opened_urls_.empty());
  panel.statusTick();
  panel.clickURL();
  panel.clickLabel3();
  EXPECT_EQ(platform.opened_urls_,
            (std::vector<std::string>{"http://localhost", std::string(kHomePage)}));

  panel.clickConfig();
  writeConfig("[Config]\r\ncommand_prompt=hide\r\nroot_directory=new site\r\n");
  panel.clickRootDir();  // read at the click, not from the window
  writeConfig("[Config]\r\ncommand_prompt=hide\r\nroot_directory=\r\n");
  panel.clickRootDir();
  EXPECT_EQ(platform.opened_paths_, (std::vector<std::string>{dir.file("config/config.ini"),
                                                              dir.file("new site"), dir.file("")}));
}

TEST_F(PanelTest, ALinkThatCannotBeOpenedSaysWhyUntilOneIs) {
  writeConfig(kDefaultFile);
  platform.running_names_.insert("t-server.exe");
  platform.opening_ = {77, ""};  // the opener decides after the click
  panel.clickLabel3();
  panel.statusTick();
  EXPECT_EQ(panel[Ctl::Label3].tooltip, "");  // still deciding
  EXPECT_FALSE(panel.restFolders());  // the tick asks the opener
  platform.openers_ended_[77] = "xdg-open found no program to open it (exit status 3)";
  panel.statusTick();
  const char* why = "cannot open https://tovanik.dev: xdg-open found no program to open it (exit status 3)";
  EXPECT_EQ(panel[Ctl::Label3].tooltip, why);
  panel.hover(Ctl::Label3);
  EXPECT_EQ(panel[Ctl::Label3].tooltip, why);
  platform.opening_ = {0, "No such file or directory"};  // known at once
  panel.clickConfig();
  EXPECT_EQ(panel[Ctl::labelConfig].tooltip, "cannot open " + configFile() + ": No such file or directory");
  platform.opening_ = {};
  panel.clickLabel3();
  EXPECT_EQ(panel[Ctl::Label3].tooltip, "Open https://tovanik.dev");
}

TEST_F(PanelTest, ClickReachesTheLabelsReactionOrAsksTheWindow) {
  writeConfig(kDefaultFile);
  const struct {
    Ctl label;
    ClickOutcome outcome;
    std::size_t urls, paths;  // what was opened, counted after the click
  } rows[] = {
      {Ctl::lblClose, ClickOutcome::Close, 0, 0},
      {Ctl::lblMin, ClickOutcome::Minimise, 0, 0},
      {Ctl::Label1, ClickOutcome::None, 0, 0},
      {Ctl::shapeOn, ClickOutcome::None, 0, 0},
      {Ctl::Label3, ClickOutcome::Changed, 1, 0},
      {Ctl::labelConfig, ClickOutcome::Changed, 1, 1},
      {Ctl::lblRootDir, ClickOutcome::Changed, 1, 2},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(panel.click(row.label), row.outcome) << kLayout[index(row.label)].name;
    EXPECT_EQ(platform.opened_urls_.size(), row.urls) << kLayout[index(row.label)].name;
    EXPECT_EQ(platform.opened_paths_.size(), row.paths) << kLayout[index(row.label)].name;
  }
  EXPECT_TRUE(platform.launches_.empty());
  EXPECT_EQ(panel.click(Ctl::lblStartStop), ClickOutcome::Changed);
  EXPECT_EQ(platform.launches_.size(), 1u);
}

TEST_F(PanelTest, HoverReactions) {
  struct Case {
    Ctl label;
    bool hand;
    const char* tooltip;
  };
  const std::string home = "Open " + std::string(kHomePage);
  const Case cases[] = {
      {Ctl::CMDSwitch, true, "Show / Hide PHP Command Prompt"},
      {Ctl::labelConfig, true, "Open configuration file"},
      {Ctl::lblStartStop, true, "Start / Stop Server"},
      {Ctl::lblRootDir, true, "Open root directory"},
      {Ctl::lblMin, true, "Minimize"},
      {Ctl::lblClose, true, "Close"},
      {Ctl::Label3, true, home.c_str()},
      {Ctl::lblURL, false, ""},  // server shown as stopped
      {Ctl::Label7, false, ""},
      {Ctl::Label6, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(design(c.label).name));
    EXPECT_EQ(panel.hover(c.label), c.hand);
    EXPECT_EQ(panel[c.label].tooltip, c.tooltip);
  }
  EXPECT_EQ(panel[Ctl::lineMin].colour, colour::kMinHover);
  EXPECT_EQ(panel[Ctl::lineClose].colour, colour::kCloseHover);
  EXPECT_FALSE(panel[Ctl::lblURL].underline);

  writeConfig(
      "[Config]\r\ncommand_prompt=hide\r\nserver_port=8080\r\nexe_name=t-server.exe\r\n"
      "php_folder=php\r\nroot_directory=tovanik\r\n");
  platform.running_names_.insert("t-server.exe");
  panel.startPHP();
  panel.statusTick();
  EXPECT_TRUE(panel.hover(Ctl::lblURL));
  EXPECT_EQ(panel[Ctl::lblURL].tooltip, "Open http://localhost:8080");
  EXPECT_TRUE(panel[Ctl::lblURL].underline);
  writeConfig(readBytes(configFile()) + "listen_address=::1\r\n");
  panel.startPHP();
  panel.hover(Ctl::lblURL);
  EXPECT_EQ(panel[Ctl::lblURL].tooltip,
            "Open http://localhost:8080 (the server listens on [::1]:8080 only)");

  // The server stops: the underline stays until the surface is crossed; the tooltip is
  // cleared at the next movement over the label.
  platform.running_names_.clear();
  panel.statusTick();
  EXPECT_TRUE(panel[Ctl::lblURL].underline);
  EXPECT_FALSE(panel.hover(Ctl::lblURL));
  EXPECT_EQ(panel[Ctl::lblURL].tooltip, "");
  EXPECT_TRUE(panel[Ctl::lblURL].underline);
  panel.surfaceMotion();
  EXPECT_FALSE(panel[Ctl::lblURL].underline);
  EXPECT_EQ(panel[Ctl::lineMin].colour, colour::kMin);
  EXPECT_EQ(panel[Ctl::lineClose].colour, colour::kClose);
}

// The pointer on the window, as both toolkits hand it in: pixels in the window (device
// pixels at the window's DPI) and on the screen. (200, 40) is the bare header band, (10, 8)
// Label7 (no reaction), (248, 16) lblMin, (288, 16) lblClose, (270, 56) lblStartStop,
// (60, 200) Label6.
TEST_F(PanelTest, PointerRoutingPressMoveRelease) {
  writeConfig(kDefaultFile);
  enum Kind { Press, Release, Move, Forget };
  struct Event {
    Kind kind;
    double x, y;
    bool any = false, leftAlone = false;  // buttons held during a motion, or left after a release
    bool left = true;                     // the button pressed or released
    double screenX = 0, screenY = 0;
  };
  struct Case {
    const char* what;
    int dpi;
    std::vector<Event> events;
    std::vector<std::string> calls;
    float anchorX, anchorY;  // twips
  };
  const Case cases[] = {
      {"left press and drag on the surface: the pressed point follows the pointer",
       96,
       {{Press, 200, 40}, {Move, 210, 45, true, true, true, 1210, 545}},
       {"move 1010,505", "arrow", "sync"},
       3000,
       600},
      {"a right press moves the anchor; dragging with it does not move the window",
       96,
       {{Press, 150, 40, false, false, false}, {Move, 160, 40, true, false, false, 900, 300}},
       {"arrow", "sync"},
       2250,
       600},
      {"left and right held together: no move",
       96,
       {{Press, 200, 40}, {Move, 220, 40, true, false, true, 900, 300}},
       {"arrow", "sync"},
       3000,
       600},
      {"a press on a label without reaction neither anchors nor drags",
       96,
       {{Press, 10, 8}, {Move, 60, 40, true, true, true, 900, 300}},
       {"arrow", "sync"},
       0,
       0},
      {"while held, the pressed label keeps the pointer",
       96,
       {{Press, 248, 16}, {Move, 200, 40, true, true, true, 900, 300}},
       {"hand", "sync"},
       0,
       0},
      {"the lost capture forgets the press: no drag after it",
       96,
       {{Press, 200, 40}, {Forget, 0, 0}, {Move, 210, 45, true, true, true, 1210, 545}},
       {"arrow", "sync"},
       3000,
       600},
      {"the release ends the press: a later motion with a button held elsewhere does not drag",
       96,
       {{Press, 200, 40}, {Release, 200, 40}, {Move, 210, 45, true, true, true, 1210, 545}},
       {"arrow", "sync"},
       3000,
       600},
      {"the right button's release leaves the left one dragging",
       96,
       {{Press, 200, 40}, {Release, 200, 40, true, true, false},
        {Move, 210, 45, true, true, true, 1210, 545}},
       {"move 1010,505", "arrow", "sync"},
       3000,
       600},
      {"a left click on the minimise mark",
       96,
       {{Press, 248, 16}, {Release, 248, 16}},
       {"minimise"},
       0,
       0},
      {"a left click on the close mark",
       96,
       {{Press, 288, 16}, {Release, 288, 16}},
       {"close"},
       0,
       0},
      {"a right click is no click",
       96,
       {{Press, 288, 16, false, false, false}, {Release, 288, 16, false, false, false}},
       {},
       0,
       0},
      {"pressed on one label, released over another: no click",
       96,
       {{Press, 270, 56}, {Release, 288, 16}},
       {},
       0,
       0},
      {"hover, then the bare surface",
       96,
       {{Move, 248, 16}, {Move, 200, 40}},
       {"hand", "sync", "arrow", "sync"},
       0,
       0},
      {"at 144 dpi: device pixels, 10 twips each",
       144,
       {{Press, 300, 60}, {Move, 310, 70, true, true, true, 1300, 560}},
       {"move 1000,500", "arrow", "sync"},
       3000,
       600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingShell shell;
    Panel fresh(platform, view);
    PointerRouter router(fresh, shell, c.dpi);
    for (const Event& e : c.events) {
      const PointerAt at{e.x, e.y, e.screenX, e.screenY};
      switch (e.kind) {
        case Press:
          router.press(at);
          break;
        case Release:
          router.release(at, e.left, {e.any, e.leftAlone});
          break;
        case Move:
          router.move(at, {e.any, e.leftAlone});
          break;
        case Forget:
          router.forgetPress();
          break;
      }
    }
    EXPECT_EQ(shell.calls, c.calls);
    EXPECT_FLOAT_EQ(router.anchorX(), c.anchorX);
    EXPECT_FLOAT_EQ(router.anchorY(), c.anchorY);
  }
  // The start/stop switch: a click acts on the panel and asks for its new state shown.
  RecordingShell shell;
  PointerRouter router(panel, shell);
  router.press({270, 56});
  router.release({270, 56}, true, {});
  EXPECT_EQ(shell.calls, std::vector<std::string>{"sync"});
  EXPECT_EQ(platform.launches_.size(), 1u);
  // Hover over the minimise mark colours it; the bare surface takes it back.
  router.move({248, 16}, {});
  EXPECT_EQ(panel[Ctl::lineMin].colour, colour::kMinHover);
  router.move({200, 40}, {});
  EXPECT_EQ(panel[Ctl::lineMin].colour, colour::kMin);
}

// Paint first, load later: the settings show before the window, the server is launched
// only once the first frame is on the screen, or by the first tick if none is painted.
TEST_F(PanelTest, StartupShowsSettingsThenLaunchesAfterTheFirstFrame) {
  writeConfig(
      "[Config]\r\ncommand_prompt=show\r\nserver_port=8080\r\nroot_directory=tovanik\r\n"
      "php_folder=php\r\nexe_name=t-server.exe\r\n");
  RecordingShell shell;
  StartupOrder startup(panel, shell);
  startup.showSettings();
  EXPECT_EQ(panel[Ctl::txtPort].caption, "8080");
  EXPECT_EQ(panel[Ctl::lblURL].caption, "http://localhost:8080");
  EXPECT_TRUE(panel.showsConsole());
  EXPECT_TRUE(platform.launches_.empty());
  EXPECT_FALSE(startup.framePainted());  // no load asked for: a frame changes nothing
  startup.loadAfterFirstPaint();
  EXPECT_TRUE(startup.framePainted());
  EXPECT_TRUE(platform.launches_.empty());
  startup.loadIfPending();
  EXPECT_EQ(platform.launches_.size(), 1u);
  EXPECT_FALSE(startup.framePainted());
  startup.loadIfPending();  // once only
  startup.tick();
  EXPECT_EQ(platform.launches_.size(), 1u);
  EXPECT_EQ(shell.calls, (std::vector<std::string>{"sync", "first frame", "sync", "sync"}));

  // No frame painted: the first tick loads, then runs the status monitor.
  RecordingShell otherView;
  Panel other(platform, otherView);
  StartupOrder unseen(other, shell);
  platform.running_names_.clear();
  unseen.loadAfterFirstPaint();
  unseen.tick();
  EXPECT_EQ(platform.launches_.size(), 2u);
  EXPECT_TRUE(other.showsRunning());

  // A second copy asks the first to show before it makes its launch attempt.
  platform.running_names_.clear();
  std::size_t launchesWhenAsked = 9;
  StartupOrder(other, shell).secondCopy([&] { launchesWhenAsked = platform.launches_.size(); });
  EXPECT_EQ(launchesWhenAsked, 2u);
  EXPECT_EQ(platform.launches_.size(), 3u);
}

TEST_F(PanelTest, KeyboardTabOrderSpaceAndTheMarkOnlyWhileTyping) {
  writeConfig(kDefaultFile);
  RecordingShell shell;
  KeyboardRouter keys(panel, shell);
  EXPECT_FALSE(keys.mark());  // at rest, no mark
  std::string order;
  for (int i = 0; i < 10; ++i, order += " ") keys.tab(true), order += design(*keys.focus()).name;
  EXPECT_EQ(order, "lblStartStop CMDSwitch txtPort lblURL labelConfig lblRootDir Label3 lblMin lblClose lblStartStop ");
  keys.tab(false);
  EXPECT_EQ(keys.focus(), Ctl::lblClose);  // Shift+Tab wraps back
  EXPECT_EQ(keys.mark(), (FocusMark{4050, 90, 4605, 405}));
  keys.tab(true);
  EXPECT_TRUE(keys.activate());  // Space on the switch starts the server; the focus stays
  EXPECT_EQ(platform.launches_.size(), 1u);
  EXPECT_EQ(keys.focus(), Ctl::lblStartStop);
  platform.running_names_.insert("t-server.exe");
  panel.statusTick();
  keys.tab(true), keys.tab(true);  // the disabled port box is passed over
  EXPECT_EQ(keys.focus(), Ctl::lblURL);
  keys.pointerPressed();
  EXPECT_FALSE(keys.mark());
  keys.focusTaken(Ctl::txtPort);
  EXPECT_FALSE(keys.activate());  // Space in the port box is the box's
}

}  // namespace
}  // namespace tovanik
