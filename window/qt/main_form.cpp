#include "window/qt/main_form.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QToolTip>
#include <QWindow>
#include <cmath>
#include <utility>

#include "window/qt/caption_fit.h"
#include "window/qt/display_server.h"
#include "window/qt/layout_painter.h"
#include "window/qt/outline.h"

namespace tovanik {
namespace {

QString qs(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QRect pixelRect(const ControlDesign& s) {
  return QRect(s.a / kTwipsPerPixel, s.b / kTwipsPerPixel, s.c / kTwipsPerPixel,
               s.d / kTwipsPerPixel);
}

// Qt scales by itself: the window counts in the design's pixels at every scale.
float twips(qreal pixels) { return twipsOf(pixels, kBaseDpi); }

PointerAt pointerAt(const QMouseEvent* event) {
  return {event->position().x(), event->position().y(), event->globalPosition().x(),
          event->globalPosition().y()};
}

HeldButtons held(Qt::MouseButtons buttons) {
  return {buttons != Qt::NoButton, buttons == Qt::LeftButton};
}

// How far QLineEdit's text ends inside its right edge, in pixels.
constexpr int kLineEditTextInset = 4;

constexpr Ctl kBoxes[4] = {Ctl::txtPort, Ctl::txtFocus, Ctl::txtRootDir, Ctl::txtExeName};

}  // namespace

MainForm::MainForm(Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      platform_(platform),
      panel_(platform, *this),
      pointer_(panel_, *this),
      keyboard_(panel_, *this),
      startup_(panel_, *this),
      nativeWayland_(onNativeWayland()) {
  installPanelAccessibility();
  setWindowTitle(QString::fromLatin1(kFormCaption.data(), kFormCaption.size()));
  setFixedSize(kFormWidthTwips / kTwipsPerPixel, kFormHeightTwips / kTwipsPerPixel);
  setMouseTracking(true);
  setAttribute(nativeWayland_ ? Qt::WA_TranslucentBackground : Qt::WA_OpaquePaintEvent);
  // The window draws its captions in fonts fitted from the design's (layout_painter.h);
  // its own font is only what its text boxes inherit (firstFrameShown).

  // The text boxes are made once the first frame is on the screen (firstFrameShown): the
  // first QLineEdit sets up its style and lays out text in the application's font, about a
  // tenth of the time to the first frame, which draws the port box itself.

  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, [this] { startup_.tick(); });
  timer_.start();
  sync();
}

void MainForm::firstFrameShown() {
  if (boxes_[0]) return;
  // Every box lays out its empty text twice as it is made: in the application's font,
  // then in the one it inherits from the window. Both are the port box's fitted font,
  // whose face the first frame has loaded; in the desktop's default font each box would
  // load a face nothing here draws (a fifth of a MiB resident). The application's font is
  // given back at once, so tooltips and the port box's menu keep the desktop's; Qt then
  // takes it as the program's own and no longer follows a desktop font change made while
  // the panel runs.
  const QFont portFont =
      portBoxFont(qs(std::string(PortBoxFont::fitText(panel_[Ctl::txtPort].caption))));
  const QFont desktopFont = QGuiApplication::font();
  QGuiApplication::setFont(portFont);
  setFont(portFont);
  for (int i = 0; i < 4; ++i) {
    const ControlDesign& s = design(kBoxes[i]);
    auto* box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(s.name.data(), s.name.size()));
    box->setGeometry(pixelRect(s));
    // Only a box that can be seen gets its own font: txtFocus lies below the window and
    // the other two never show, and looking up their font (Tahoma, through fontconfig's
    // fallbacks) would cost about a millisecond of start-up for text nobody sees.
    if (s.visible && rect().intersects(pixelRect(s)) && kBoxes[i] != Ctl::txtPort)
      box->setFont(qfontOf(s.font));
    box->setVisible(s.visible);
    if (kBoxes[i] == Ctl::txtPort)
      box->setAccessibleName(qs(tovanik::accessibleName(panel_, Ctl::txtPort)));
    if (!s.tooltip.empty())
      box->setToolTip(QString::fromLatin1(s.tooltip.data(), s.tooltip.size()));
    boxes_[i] = box;
  }
  QGuiApplication::setFont(desktopFont);
  for (std::size_t i = 1; i < kTextBoxTabOrder.size(); ++i)
    setTabOrder(lineEdit(kTextBoxTabOrder[i - 1]), lineEdit(kTextBoxTabOrder[i]));

  QLineEdit* port = boxes_[0];
  port->setFrame(false);
  port->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // QLineEdit keeps a 2-pixel margin on each side and room for the caret after the last
  // character; without them the digits end at the box's right edge, in line with the
  // right-aligned captions of the address and the web folder above.
  port->setTextMargins(0, 0, -kLineEditTextInset, 0);
  port->installEventFilter(this);
  connect(port, &QLineEdit::textChanged, this, [this](const QString& text) {
    panel_.setPortText(text.toStdString(), std::exchange(keySelection_, std::nullopt));
    sync();
  });

  // No visible control holds the focus at start: the port box shows no caret until used.
  // The focus box lies outside the window; read-only, it runs no caret blink timer,
  // which would wake the idle panel twice a second for a caret nobody sees.
  boxes_[1]->setReadOnly(true);
  boxes_[1]->setFocus(Qt::OtherFocusReason);
  boxes_[1]->installEventFilter(this);  // Tab from there, and where the focus goes

  sync();
}

QLineEdit* MainForm::lineEdit(Ctl box) const {
  for (int i = 0; i < 4; ++i)
    if (kBoxes[i] == box) return boxes_[i];
  return nullptr;
}

void MainForm::centreOnScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame(QPoint(), size());
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void MainForm::bringBack(const QByteArray& activationToken) {
  // Qt hands the token to the compositor with the next activation request.
  if (!activationToken.isEmpty())
    platform_.setEnvironmentVariable("XDG_ACTIVATION_TOKEN", activationToken.toStdString());
  // Wayland has no request that restores a minimised window, and a compositor without a
  // task bar (Weston) never shows it again by itself: the window is mapped anew. Nor does
  // it tell a client that it is minimised (Qt drops the state at the next configure), so
  // the panel remembers its own minimise until the window is active again.
  if (nativeWayland_ && (minimisedByMark_ || isMinimized())) hide();
  minimisedByMark_ = false;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void MainForm::syncLineEdit(Ctl which) {
  QLineEdit* box = lineEdit(which);
  const ControlState& c = panel_[which];
  const QString text = qs(c.caption);
  if (box->text() != text) {
    const QSignalBlocker quiet(box);
    box->setText(text);
  }
  box->setEnabled(c.enabled);
  if (which == Ctl::txtPort) {
    QPalette palette = box->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
      palette.setColor(group, QPalette::Base, toQColor(c.background));
      palette.setColor(group, QPalette::Text, toQColor(colour::kButtonFace));
    }
    box->setPalette(palette);
    fitPortFont();
    if (auto selection = panel_.takePortSelection()) {
      const int start = utf16Units(c.caption, selection->start);
      box->setSelection(start, utf16Units(c.caption, selection->start + selection->length) - start);
    }
  }
}

void MainForm::fitPortFont() {
  const std::optional<std::string> text = portFont_.refitFor(panel_[Ctl::txtPort].caption);
  if (!text) return;
  lineEdit(Ctl::txtPort)->setFont(portBoxFont(qs(*text)));
}

QFont MainForm::portBoxFont(const QString& text) const {
  const QRect box = pixelRect(design(Ctl::txtPort));
  // QLineEdit keeps 2 pixels free on either side, and a pixel for the caret and one
  // more after the text; the right margin is given back to the text (kLineEditTextInset).
  const double room = box.width() + kLineEditTextInset - 2 * 2 - 2;
  return fitBoxText(qfontOf(design(Ctl::txtPort).font), text, QSizeF(room, box.height()));
}

void MainForm::paintPortBox(QPainter& painter) const {
  // Where QLineEdit (frameless, right-aligned, the text margins above) puts its text:
  // 2 pixels in from each side of the box less its margins, vertically centred on the
  // font's height, the text ending one pixel and the caret's pixel before the right end
  // (the fitted font leaves the digits room, so it never scrolls).
  const ControlState& c = panel_[Ctl::txtPort];
  const QString text = qs(c.caption);
  const QFont font = portBoxFont(qs(std::string(PortBoxFont::fitText(c.caption))));
  // Measured on the window, as the line edit measures.
  QPaintDevice* device = const_cast<MainForm*>(this);
  const QFontMetrics metrics(font, device);
  const QRect box = pixelRect(design(Ctl::txtPort));
  painter.fillRect(box, toQColor(c.background));
  const QRect r = box.marginsRemoved(QMargins(0, 0, -kLineEditTextInset, 0));
  const int height = std::max(metrics.boundingRect(text).height(), metrics.height());
  const int top = r.y() + (r.height() - height + 1) / 2;
  const int lineWidth = r.width() - 2 * 2;
  const int used =
      static_cast<int>(std::lround(QFontMetricsF(font, device).horizontalAdvance(text))) + 1;
  const int left = r.x() + 2 - (used - lineWidth + 1);
  painter.save();
  painter.setClipRect(r.intersected(box));
  painter.setFont(font);
  painter.setPen(toQColor(colour::kButtonFace));
  painter.drawText(QPoint(left, top + metrics.ascent()), text);
  painter.restore();
}

void MainForm::sync() {
  for (Ctl box : kBoxes)
    if (lineEdit(box)) syncLineEdit(box);
  if (panel_.controls() != painted_ || keyboard_.mark() != paintedMark_) update();
  announcer_.announceChanges(*this);
}

void MainForm::clickControl(Ctl control) { clickLabel(panel_, *this, control); }

void MainForm::paintEvent(QPaintEvent*) {
  painted_ = panel_.controls();
  paintedMark_ = keyboard_.mark();
  QPainter painter(this);
  painter.fillRect(rect(), toQColor(colour::kWindow));
  paintLayout(painter, panel_);
  if (!boxes_[0]) paintPortBox(painter);
  if (paintedMark_) paintFocusMark(painter, *paintedMark_);
  if (nativeWayland_) cutCorners(painter);
  if (startup_.framePainted())
    QTimer::singleShot(0, this, [this] {
      // A round trip first: the display server has drawn this frame before the load (the
      // text boxes, the server's launch) takes a core it would otherwise share with it.
      QGuiApplication::sync();
      startup_.loadIfPending();
    });
}

void MainForm::cutCorners(QPainter& painter) const {
  // Everything outside the rounded outline is erased, with antialiased edges: the
  // window's rectangle and the outline together, filled odd-even, are the four corners.
  QPainterPath corners;
  corners.setFillRule(Qt::OddEvenFill);
  corners.addRect(QRectF(rect()));
  corners.addRoundedRect(
      QRectF(0, 0, outlineExtent(twips(width())), outlineExtent(twips(height()))),
      kOutlineCornerRadius, kOutlineCornerRadius);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
  painter.fillPath(corners, Qt::black);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void MainForm::mousePressEvent(QMouseEvent* event) {
  keyboard_.pointerPressed();
  sync();  // the focus mark goes
  const bool onSurface = pointer_.press(pointerAt(event));
  // A Wayland client cannot place its window: the compositor moves it, from the press on,
  // and keeps the pointer until the button is released. Handed over at the first motion
  // instead, the move would start where the pointer is by then on compositors that take
  // the current position (sway), and the window would lag by that first step.
  if (onSurface && nativeWayland_ && event->buttons() == Qt::LeftButton && windowHandle() &&
      windowHandle()->startSystemMove())
    pointer_.dragHandedOver();
}

void MainForm::mouseReleaseEvent(QMouseEvent* event) {
  pointer_.release(pointerAt(event), event->button() == Qt::LeftButton, held(event->buttons()));
}

void MainForm::mouseMoveEvent(QMouseEvent* event) {
  pointer_.move(pointerAt(event), held(event->buttons()));
}

void MainForm::moveWindowTo(int left, int top) {
  if (nativeWayland_) return;  // the compositor moves the window; see mousePressEvent
  move(left, top);
}

void MainForm::showHand(bool hand) { setCursor(hand ? Qt::PointingHandCursor : Qt::ArrowCursor); }

void MainForm::closeWindow() { close(); }

void MainForm::minimiseWindow() {
  setWindowState(windowState() | Qt::WindowMinimized);
  minimisedByMark_ = true;
}

bool MainForm::tabKey(const QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<const QKeyEvent*>(event);
  if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
  const bool back = key->key() == Qt::Key_Backtab ||
                    (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier));
  if (!back && key->key() != Qt::Key_Tab) return false;
  keyboard_.tab(!back);
  return true;
}

// Qt moves the focus on by itself only when the widget holding it goes (the port box
// disabled while edited): it goes to the hidden box, as the panel's own reactions send it.
bool MainForm::focusNextPrevChild(bool) {
  focusControl(std::nullopt);
  keyboard_.focusTaken(std::nullopt);
  return true;
}

void MainForm::keyPressEvent(QKeyEvent* event) {
  const bool click = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
                     event->key() == Qt::Key_Enter;
  if (!(click && !event->isAutoRepeat() && keyboard_.activate())) QWidget::keyPressEvent(event);
}

void MainForm::focusControl(std::optional<Ctl> control) {
  if (!boxes_[0]) return;  // before the first frame: the focus box takes it when made
  if (!control) {
    boxes_[1]->setFocus(Qt::OtherFocusReason);
  } else if (*control == Ctl::txtPort) {
    boxes_[0]->setFocus(Qt::TabFocusReason);  // which selects its port, to type over
  } else {
    setFocus(Qt::TabFocusReason);  // the window holds the drawn controls' focus
    AccessibleAnnouncer::announceFocus(*this, *control);
  }
}

bool MainForm::event(QEvent* event) {
  if (tabKey(event)) return true;
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const auto label = labelAt(twips(help->pos().x()), twips(help->pos().y()));
    const std::string tip = label ? panel_[*label].tooltip : std::string();
    if (tip.empty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), qs(tip), this, pixelRect(design(*label)));
      nameTooltipWindow(qs(tip));
    }
    return true;
  }
  return QWidget::event(event);
}

void MainForm::nameTooltipWindow(const QString& tip) {
  // The tip's window carries its text as its name, for assistive tools and for anything
  // that reads the screen by window (the display test does): its pixels alone do not say it.
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->inherits("QTipLabel") && window->isVisible()) {
      window->setWindowTitle(tip);
      window->setAccessibleName(tip);
    }
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == boxes_[0] || watched == boxes_[1]) && tabKey(event)) return true;
  if (watched == boxes_[0] && event->type() == QEvent::FocusIn) keyboard_.focusTaken(Ctl::txtPort);
  if (watched == boxes_[1] && event->type() == QEvent::FocusIn) keyboard_.focusTaken(std::nullopt);
  if (watched == boxes_[0] && event->type() == QEvent::MouseButtonPress) {
    keyboard_.pointerPressed();
    panel_.txtPortPress();
    sync();
  }
  if (watched == boxes_[0] && event->type() == QEvent::KeyPress) {
    // The selection before the key edits the text: a refused key gets it back.
    const QLineEdit* box = boxes_[0];
    const std::string text = box->text().toStdString();
    const int start = box->hasSelectedText() ? box->selectionStart() : box->cursorPosition();
    const int end = box->hasSelectedText() ? box->selectionEnd() : start;
    keySelection_ =
        PortSelection{utf8Bytes(text, start), utf8Bytes(text, end) - utf8Bytes(text, start)};
  }
  return QWidget::eventFilter(watched, event);
}

void MainForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  applyOutline();
}

void MainForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) minimisedByMark_ = false;
  if (event->type() == QEvent::WindowStateChange) applyOutline();
}

void MainForm::applyOutline() {
  if (nativeWayland_) return;  // Wayland takes no window shape; see cutCorners
  setMask(roundedOutline(outlineExtent(twips(width())), outlineExtent(twips(height())),
                         kOutlineCornerRadius));
}

void MainForm::makeTopMost() {
  // The stays-on-top hint is set at creation, so later calls never re-create the
  // window; here it only comes to the front.
  if (!isVisible()) return;
  raise();
  activateWindow();
}

}  // namespace tovanik
