#include "window/qt/accessibility.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QLineEdit>
#include <QPointer>
#include <QWindow>

#include "panel/accessible_controls.h"
#include "window/qt/main_form.h"

namespace tovanik {
namespace {

QString qs(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

bool isSwitch(Ctl c) { return accessibleRole(c) == AccessibleRole::Switch; }

// One drawn control: no widget of its own, so the object answers for it from the panel.
class DrawnControl final : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  DrawnControl(MainForm* form, Ctl control) : form_(form), control_(control) {}

  bool isValid() const override { return !form_.isNull(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return form_ ? form_->windowHandle() : nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(form_.data());
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  void setText(QAccessible::Text, const QString&) override {}

  QString text(QAccessible::Text t) const override {
    if (!form_) return {};
    if (t == QAccessible::Name) return qs(accessibleName(form_->panel(), control_));
    if (t == QAccessible::Description) return qs(accessibleDescription(form_->panel(), control_));
    return {};
  }
  QRect rect() const override {
    if (!form_) return {};
    const ControlDesign& s = design(control_);
    const QRect local(s.a / kTwipsPerPixel, s.b / kTwipsPerPixel, s.c / kTwipsPerPixel,
                      s.d / kTwipsPerPixel);
    return local.translated(form_->mapToGlobal(QPoint(0, 0)));
  }
  QAccessible::Role role() const override {
    // Qt 6.4 hands AT-SPI no toggle button: a checkable button arrives as a plain push
    // button; a check box is what readers announce as checked or not.
    if (isSwitch(control_)) return QAccessible::CheckBox;
    if (accessibleRole(control_) == AccessibleRole::Button) return QAccessible::Button;
    return QAccessible::Link;
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!form_) return s;
    s.focusable = true;
    s.focused = form_->hasFocus() && form_->keyboard().focus() == control_;
    s.checkable = isSwitch(control_);
    s.checked = accessibleChecked(form_->panel(), control_);
    s.linked = role() == QAccessible::Link;
    s.disabled = !accessibleEnabled(form_->panel(), control_);
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                : nullptr;
  }
  QStringList actionNames() const override {
    return isSwitch(control_) ? QStringList{pressAction(), toggleAction()}
                              : QStringList{pressAction()};
  }
  void doAction(const QString& action) override {
    if (form_ && (action == pressAction() || action == toggleAction()))
      form_->clickControl(control_);  // as a click, through the panel
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QPointer<MainForm> form_;
  Ctl control_;
};

// The window: its children are the design's tab order, drawn controls and the port box.
class PanelWindow final : public QAccessibleWidget {
 public:
  explicit PanelWindow(MainForm* form) : QAccessibleWidget(form, QAccessible::Window), form_(form) {}

  int childCount() const override { return static_cast<int>(kAccessibleControls.size()); }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    const Ctl c = kAccessibleControls[static_cast<std::size_t>(index)];
    if (c == Ctl::txtPort) return QAccessible::queryAccessibleInterface(form_->lineEdit(c));
    QAccessible::Id& id = ids_[static_cast<std::size_t>(index)];
    // Registered once; the accessibility cache owns the object from then on.
    if (!id || !QAccessible::accessibleInterface(id))
      id = QAccessible::registerAccessibleInterface(new DrawnControl(form_, c));
    return QAccessible::accessibleInterface(id);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (int i = 0; i < childCount(); ++i)
      if (this->child(i) == child) return i;
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    for (int i = 0; i < childCount(); ++i)
      if (QAccessibleInterface* c = child(i); c && c->rect().contains(x, y)) return c;
    return nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    if (const QLineEdit* port = form_->lineEdit(Ctl::txtPort); port && port->hasFocus())
      return child(2);
    const auto focus = form_->keyboard().focus();
    if (!form_->hasFocus() || !focus) return nullptr;
    for (int i = 0; i < childCount(); ++i)
      if (kAccessibleControls[static_cast<std::size_t>(i)] == *focus) return child(i);
    return nullptr;
  }

 private:
  MainForm* form_;
  mutable std::array<QAccessible::Id, kAccessibleControls.size()> ids_{};
};

QAccessibleInterface* panelFactory(const QString& className, QObject* object) {
  if (className != QLatin1String("tovanik::MainForm")) return nullptr;
  return new PanelWindow(static_cast<MainForm*>(object));
}

QAccessibleInterface* drawn(MainForm& form, Ctl c) {
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form);
  for (int i = 0; window && i < window->childCount(); ++i)
    if (kAccessibleControls[static_cast<std::size_t>(i)] == c) return window->child(i);
  return nullptr;
}

}  // namespace

void installPanelAccessibility() {
  static const bool installed = (QAccessible::installFactory(panelFactory), true);
  (void)installed;
}

void AccessibleAnnouncer::announceChanges(MainForm& form) {
  if (!QAccessible::isActive()) return;  // nobody listens: nothing to build
  for (const AccessibleChange& change : said_.changes(form.panel())) {
    QAccessibleInterface* object = drawn(form, change.control);
    if (!object) continue;
    if (change.checked) {
      QAccessible::State changed;
      changed.checked = true;
      QAccessibleStateChangeEvent event(object, changed);
      QAccessible::updateAccessibility(&event);
    }
    if (change.name) {
      QAccessibleEvent event(object, QAccessible::NameChanged);
      QAccessible::updateAccessibility(&event);
    }
    if (change.description) {
      QAccessibleEvent event(object, QAccessible::DescriptionChanged);
      QAccessible::updateAccessibility(&event);
    }
  }
}

void AccessibleAnnouncer::announceFocus(MainForm& form, Ctl control) {
  if (!QAccessible::isActive()) return;
  if (QAccessibleInterface* object = drawn(form, control)) {
    QAccessibleEvent event(object, QAccessible::Focus);
    QAccessible::updateAccessibility(&event);
  }
}

}  // namespace tovanik
