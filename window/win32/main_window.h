#pragma once
// The frameless panel window for Windows: a WS_POPUP window with a taskbar button, kept
// topmost and cut to a rounded outline, that paints the Panel's state with GDI, keeps the
// design's four text boxes as EDIT child windows, and forwards pointer, timer and edit
// events to the Panel. Every size, font and the outline follow the monitor's DPI. The
// tooltips are made when the pointer first comes over the window.

#include <windows.h>

#include <array>
#include <initializer_list>
#include <optional>
#include <vector>
#include <string>

#include "panel/accessible_controls.h"
#include "panel/keyboard.h"
#include "panel/panel.h"
#include "panel/pointer_routing.h"
#include "panel/port_box.h"
#include "panel/startup_order.h"
#include "panel/window_shell.h"
#include "window/win32/accessible_panel.h"
#include "window/win32/common_controls.h"
#include "window/win32/font_book.h"

namespace tovanik::win32 {

class MainWindow final : private WindowShell, private AccessibleHost {
 public:
  // Registers the window class `className` and creates the window, hidden, centred on the
  // work area of the primary monitor at that monitor's DPI. created() tells whether it
  // worked; when not, creationError() holds the system's reason.
  MainWindow(Platform& platform, HINSTANCE instance, const std::wstring& className);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  bool created() const { return hwnd_ != nullptr; }
  const std::wstring& creationError() const { return creationError_; }
  HWND hwnd() const { return hwnd_; }
  Panel& panel() { return panel_; }

  // The start-up's order (panel/startup_order.h); the load after the first frame runs
  // from a message that frame's paint posts, after createAfterFirstFrame.
  StartupOrder& startup() { return startup_; }
  void show(int showCommand);

  // Brings the child windows in step with the Panel's state and repaints what changed.
  void sync() override;

  // A key message from the message loop, before IsDialogMessage sees it: Tab, Shift+Tab,
  // Space and Enter go to the keyboard routing (panel/keyboard.h), since the drawn
  // controls are no child windows a dialog's Tab could reach. True when taken.
  bool keyMessage(const MSG& message);

  // What the message loop waits on beside the messages while the tick rests (none while
  // it ticks), and what it calls when one of them is signalled.
  const std::vector<void*>& restObjects() const;
  void endRest();

 private:
  // Posted by the accessible object: a reader's click on the control of index wParam.
  static constexpr UINT kAccessibleClick = WM_APP + 3;

  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK portBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  void makeTopMost() override;
  void closeWindow() override;
  void minimiseWindow() override;
  void moveWindowTo(int left, int top) override;
  void showHand(bool hand) override;
  void focusControl(std::optional<Ctl> control) override;
  void firstFrameShown() override { createAfterFirstFrame(); }

  // Screen readers (accessible_panel.h): the object, and what it asks of the window.
  LRESULT accessibleObject(WPARAM flags);
  void announceChanges();
  void dropAccessible();
  const Panel& accessiblePanel() const override { return panel_; }
  std::optional<Ctl> accessibleFocus() const override;
  RECT controlBox(Ctl control) const override;
  HWND portBox() const override { return box(Ctl::txtPort); }
  void postClick(Ctl control) override;

  void createTextBoxes(std::initializer_list<Ctl> which);
  void createTooltips();
  // Hands the tooltips each pointer message over the window (`over`: it or the port box),
  // as the tips' own subclassing would, without a subclass procedure that would run (and
  // ask the system for its property) on every message, the tick's timer included. The
  // first motion makes the tooltips.
  void relayToTooltips(HWND over, UINT message, WPARAM wParam, LPARAM lParam);
  // The box's text is no longer what it was last set to or read as: read it again.
  void forgetBoxText(HWND edit);
  // What the first frame does not need: the hidden boxes.
  void createAfterFirstFrame();
  // Size, child windows, fonts, tooltips, icons and outline for dpi_, at (left, top).
  void fitToDpi(int left, int top);
  // The child windows made so far and the tooltips' rectangles, for dpi_.
  void placeChildren();
  void placeTooltips();
  void applyOutline();
  void loadIcons();
  void showYourself();
  void paint();
  // After a tick: while the next would only repeat it, the timer stops and the window
  // waits for the panel's rest alarm; the alarm, or anything the window syncs, starts the
  // timer again, so the ticks come each second as before from the first change on.
  void restIfQuiet();

  void buttonDown(POINT at, WPARAM buttons);
  void buttonUp(UINT message, POINT at, WPARAM buttons);
  void mouseMove(POINT at, WPARAM buttons);
  bool setCursor(LPARAM hitTest);

  void portTextChanged();
  void noteKeySelection(HWND edit);
  LRESULT boxColours(HDC dc, HWND box);
  LRESULT tooltipText(LPARAM info);
  void syncBox(Ctl box);
  // The port box's font: the window's, narrower or in another family where the digits
  // would not fit whole (panel/caption_fit.h).
  void fitPortFont();

  HWND box(Ctl which) const;

  HINSTANCE instance_;
  Panel panel_;
  PointerRouter pointer_;
  KeyboardRouter keyboard_;
  StartupOrder startup_;
  HWND hwnd_ = nullptr;
  std::wstring creationError_;
  int dpi_ = 96;
  FontBook fonts_{96};
  std::array<HWND, 4> boxes_{};  // txtPort, txtFocus, txtRootDir, txtExeName
  // What each box is known to hold, so the tick's sync reads no box that did not change.
  std::array<std::optional<std::wstring>, 4> boxTexts_{};
  WNDPROC portBoxEdit_ = nullptr;  // the EDIT class's own procedure, below portBoxProc
  CommonControls commonControls_;
  HWND tooltip_ = nullptr;
  bool tooltipsTried_ = false;  // made once, or tried once and failed
  std::wstring tooltipText_;  // the text the tooltip is showing, kept alive for it
  HBRUSH portBrush_ = nullptr;
  Rgb portBrushColour_{};
  HICON bigIcon_ = nullptr, smallIcon_ = nullptr;
  HWND focusBeforeDeactivation_ = nullptr;
  PanelAccessible* accessible_ = nullptr;  // made at a reader's first question
  bool comStarted_ = false;  // COM, which hands the object over, started by the window
  AccessibleAnnouncements announced_;

  bool hand_ = false;
  PortBoxFont portFont_;
  bool syncingBoxes_ = false;  // a text the program puts in a box is no user edit
  // The port box's selection when the last key reached it, until its edit is handed in.
  std::optional<PortSelection> keySelection_;
  bool applyingOutline_ = false;
  // The state last painted: a tick that changes nothing repaints nothing.
  std::array<ControlState, kControlCount> painted_;
  std::optional<FocusMark> paintedMark_;
  std::unique_ptr<RestAlarm> rest_;  // resting: no timer
};

}  // namespace tovanik::win32
