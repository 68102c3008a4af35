#pragma once
// The frameless panel window: renders the Panel's state with the layout painter, keeps
// the design's text boxes as real line edits, and forwards pointer, timer and edit
// events to the Panel.
//
// Failure, for all of window/qt/: the window's reactions follow the Panel's
// skip-on-failure rule and report nothing; the one operation that reports is the
// single-copy lock (SingleInstance: a Result, with error() saying what failed and why).

#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <array>
#include <optional>

#include "panel/keyboard.h"
#include "panel/panel.h"
#include "panel/pointer_routing.h"
#include "panel/port_box.h"
#include "panel/startup_order.h"
#include "panel/window_shell.h"
#include "window/qt/accessibility.h"

namespace tovanik {

class MainForm final : public QWidget, private WindowShell {
  Q_OBJECT

 public:
  explicit MainForm(Platform& platform, QWidget* parent = nullptr);

  // The start-up's order (panel/startup_order.h); the load after the first frame runs
  // from a zero-delay timer that frame's paint starts.
  StartupOrder& startup() { return startup_; }
  // Puts the window in the middle of the screen it will be shown on.
  void centreOnScreen();
  // A later start of the program asked for the window: restored from minimised, raised
  // and activated, as far as the window system lets a program do so. `activationToken`
  // is the one that start got from the desktop (Wayland's XDG_ACTIVATION_TOKEN), or empty.
  void bringBack(const QByteArray& activationToken);

  Panel& panel() { return panel_; }
  QLineEdit* lineEdit(Ctl box) const;
  QTimer& timer() { return timer_; }
  const KeyboardRouter& keyboard() const { return keyboard_; }
  // The drag anchor in twips: the last button press on the bare surface.
  QPointF dragAnchor() const { return {pointer_.anchorX(), pointer_.anchorY()}; }
  // The rounded outline currently applied, in pixels.
  QRegion outline() const { return mask(); }

  // Brings the window's widgets in step with the Panel's state and repaints.
  void sync() override;
  // A click on a drawn control from elsewhere than the pointer (an accessible action).
  void clickControl(Ctl control);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void makeTopMost() override;
  void closeWindow() override;
  void minimiseWindow() override;
  void moveWindowTo(int left, int top) override;
  void showHand(bool hand) override;
  void focusControl(std::optional<Ctl> control) override;
  // Tab or Shift+Tab, from the window or one of its boxes: true when it was one.
  bool tabKey(const QEvent* event);
  void applyOutline();
  void cutCorners(QPainter& painter) const;
  void syncLineEdit(Ctl box);
  // The port box's font: the window's, narrower or in another family where the digits
  // would not fit whole (panel/caption_fit.h).
  void fitPortFont();
  QFont portBoxFont(const QString& text) const;
  // The port box as its line edit draws it, for the frames before the boxes are made.
  void paintPortBox(QPainter& painter) const;
  // Makes the text boxes.
  void firstFrameShown() override;
  void nameTooltipWindow(const QString& tip);

  Platform& platform_;  // the environment goes through it too
  Panel panel_;
  PointerRouter pointer_;
  KeyboardRouter keyboard_;
  StartupOrder startup_;
  QTimer timer_;
  QLineEdit* boxes_[4] = {};  // txtPort, txtFocus, txtRootDir, txtExeName
  PortBoxFont portFont_;
  // The port box's selection when the last key reached it, until its edit is handed in.
  std::optional<PortSelection> keySelection_;
  // Minimised by the panel's own mark and not active since; see bringBack.
  bool minimisedByMark_ = false;
  // Native Wayland places windows itself: the compositor moves the window and the
  // corners are cut by painting them transparent, since it takes no window shape.
  const bool nativeWayland_;
  // The state last painted: a tick that changes nothing repaints nothing.
  std::array<ControlState, kControlCount> painted_;
  std::optional<FocusMark> paintedMark_;
  AccessibleAnnouncer announcer_;
};

}  // namespace tovanik
