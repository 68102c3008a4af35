#pragma once
// The frameless panel window: renders the Panel's state with the layout painter, keeps
// the design's text boxes as real line edits, and forwards pointer, timer and edit
// events to the Panel.

#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "panel/panel.h"

namespace tovanik {

class MainForm final : public QWidget, private PanelView {
  Q_OBJECT

 public:
  explicit MainForm(Platform& platform, QWidget* parent = nullptr);

  // Window load: runs startPHP. The caller then does the single-copy test and shows.
  void load();
  // Puts the window in the middle of the screen it will be shown on.
  void centreOnScreen();

  Panel& panel() { return panel_; }
  QLineEdit* lineEdit(Ctl box) const;
  QTimer& timer() { return timer_; }
  // The drag anchor in twips: the last button press on the bare surface.
  QPointF dragAnchor() const { return {dragStartX_, dragStartY_}; }
  // The rounded outline currently applied, in pixels.
  QRegion outline() const { return mask(); }

  // Brings the window's widgets in step with the Panel's state and repaints.
  void sync();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void makeTopMost() override;
  void focusTxtFocus() override;
  void applyOutline();
  void click(Ctl label);
  void syncLineEdit(Ctl box);

  Panel panel_;
  QTimer timer_;
  QLineEdit* boxes_[4] = {};  // txtPort, txtFocus, txtRootDir, txtExeName
  float dragStartX_ = 0;
  float dragStartY_ = 0;
  bool pressOnSurface_ = false;
  std::optional<Ctl> pressedLabel_;
  // The state last painted: a tick that changes nothing repaints nothing.
  std::array<ControlState, kControlCount> painted_;
};

}  // namespace tovanik
