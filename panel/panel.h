#pragma once
// The panel's behaviour without widgets: the state of every control of the design, and
// the window's methods and event reactions acting on it. The windows (Qt:
// window/qt/main_form.h, Win32: window/win32/main_window.h) render this state and forward
// their events here; tests drive it directly.
//
// The methods are defined one subsystem a file: settings display and port box in
// panel_settings.cpp, server control in panel_server.cpp, links in panel.cpp and hover
// feedback in hover.cpp.
//
// Every method follows the skip-on-failure rule: a read that fails leaves its target
// as it was, a write that fails changes nothing, and the method goes on.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "panel/layout.h"
#include "panel/window_shell.h"
#include "platform/file_store.h"
#include "platform/platform.h"
#include "server/command.h"
#include "server/server_control.h"
#include "settings/config.h"

namespace tovanik {

// What a click asks of the window itself, beyond the panel's own state.
enum class ClickOutcome {
  None,      // a label without a click reaction
  Changed,   // the panel acted: show its new state
  Close,     // the close mark: the window closes, the server keeps running
  Minimise,  // the minimise mark
};

// The port box's selection in bytes of its text: where it starts and how long it is; a
// bare caret has length 0.
struct PortSelection {
  int start = 0;
  int length = 0;
  bool operator==(const PortSelection&) const = default;
};

struct ControlState {
  std::string caption;  // a label's caption or a text box's text
  Rgb colour;           // text colour of labels, colour of lines and shapes
  Rgb background;       // text boxes and opaque labels
  bool visible = true;
  bool enabled = true;
  bool underline = false;
  std::string tooltip;
  bool operator==(const ControlState&) const = default;
};

class Panel {
 public:
  Panel(Platform& platform, WindowShell& window);

  const ControlState& operator[](Ctl c) const { return controls_[index(c)]; }
  const std::array<ControlState, kControlCount>& controls() const { return controls_; }
  const ConfigFile& config() const { return config_; }
  // The panel's record of the last observed server state: the switch's disc on the right.
  bool showsRunning() const { return (*this)[Ctl::shapeOn].visible; }
  // The console indicator: its disc on the right.
  bool showsConsole() const { return (*this)[Ctl::shpCMDOn].visible; }

  // Settings: the file's defaults, its display and the port box.
  void loadConfig();
  void readConfig();
  // The address caption from the stored port, as startPHP sets it; lets the first frame
  // show it before the launch.
  void showURL();
  // Stores the port box's text and, as the design has it, the console choice with it.
  void writePort();
  // Assigns the port box's text; when it differs, runs the box's change handling.
  // `before` is the box's selection before a keystroke made this text: a refused key puts
  // it back with the old text, so the next key replaces what was selected.
  void setPortText(const std::string& text, std::optional<PortSelection> before = std::nullopt);
  void txtPortPress();
  // The selection (or caret) the change handling asked for, once.
  std::optional<PortSelection> takePortSelection();

  // The server.
  void startPHP();
  void MakeTopMost();
  // The design's question, asked once a second: does a process of the server run?
  bool isServerRunning(ServerControl& control);
  void statusTick();
  // The folders whose changes, with the end of the server the tick found, are all that
  // could change the next tick's outcome; nullopt while the tick has more to do than look
  // (the server shown stopped, a launch not yet seen, settings not yet read, a link's
  // opener deciding). A window may then rest on restAlarm instead of ticking.
  std::optional<std::vector<std::string>> restFolders() const;
  std::unique_ptr<RestAlarm> restAlarm();
  void killPHP();
  void restartServer();
  void clickStartStop();
  void clickCMDSwitch();
  // Why the last launch failed, its server ended at once or a settings write failed, in
  // tovanikctl's words; "" once a start succeeds. The switch's and the address's tooltips
  // carry it: the panel shows no dialog.
  const std::string& why() const { return why_; }

  // A left click released over the label it was pressed on: runs that label's reaction.
  ClickOutcome click(Ctl label);

  // Shortcut links.
  void clickURL();
  void clickConfig();
  void clickRootDir();
  void clickLabel3();

  // The tooltip resting on the label would show now, without the hover's other effects:
  // what a screen reader gives as the control's description.
  std::string tooltipFor(Ctl label) const;

  // Pointer motion over one of the clickable labels; returns whether the pointer is
  // shown as a hand. Labels without a reaction return false and change nothing.
  bool hover(Ctl label);
  // Pointer motion over the bare surface: restore the resting look.
  void surfaceMotion();

 private:
  ControlState& at(Ctl c) { return controls_[index(c)]; }
  void txtPortChange(std::optional<PortSelection> before);
  void showConsoleIndicator(bool shown);
  bool storeSetting(Key key, const std::string& value);
  void showWhy(const std::string& why);
  // Checked before every settings write, not once at start-up: run as root, the program
  // folder may have become another user's to change while the panel runs (a folder above
  // it swapped). Refused, a write is skipped silently, as any failed write; the next act
  // checks again.
  bool mayWriteSettings();

  Platform& platform_;
  WindowShell& window_;
  ConfigFile config_;
  // The hidden server's log: its place follows from the folder and the environment, which
  // do not change while the panel runs.
  const std::string serverLog_;
  std::array<ControlState, kControlCount> controls_;
  std::optional<PortSelection> portSelection_;
  // The port as last read from the file or stored there: what the box goes back to when
  // a typed port cannot be stored.
  std::string storedPort_;
  // The last reading of the file for the display failed (another program held it, say):
  // the tick shows the settings once it can be read.
  bool settingsUnread_ = false;
  // A launch of this panel that no tick has seen running yet.
  bool launchUnseen_ = false;
  int launched_ = 0;  // its PID
  std::string why_;
  // " (the server listens on 127.0.0.1:8080 only)" after the address's tooltip when the
  // settings name a listen address; "" for the design's every interface.
  std::string listensOn_;
  // The links' hand-offs to the desktop: the openers still deciding, each link's latest
  // (only its outcome counts) and why that one failed, which the link's tooltip then says
  // until one works. The tick asks after them (pollOpeners).
  struct PendingOpener {
    Ctl link;
    std::string target;
    int opener;
  };
  std::vector<PendingOpener> openers_;
  std::array<int, kControlCount> latestOpener_{};
  std::array<std::string, kControlCount> linkWhy_;
  void openLink(Ctl link, const std::string& target, const Opening& opening);
  void linkOutcome(Ctl link, const std::string& target, const std::string& why);
  void pollOpeners();
  std::string linkTooltip(Ctl link) const;
  // The settings the tick last read, and the stamp of the file they came from.
  struct TickRead {
    FileStamp stamp;
    ServerSettings settings;
  };
  std::optional<TickRead> tickRead_;
  std::optional<ServerSettings> tickSettings();
  // The server control of the tick's settings, with the log's path known.
  ServerControl tickControl(const ServerSettings& s);
};

}  // namespace tovanik
