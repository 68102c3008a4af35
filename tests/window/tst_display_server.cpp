// Which display server the panel asks Qt for, from the environment it starts in (read and
// set through the platform).
#include <QTest>
#include <optional>
#include <string>

#include "tests/support/fake_platform.h"
#include "window/qt/display_server.h"

using namespace tovanik;

class DisplayServerTest : public QObject {
  Q_OBJECT

 private slots:
  void choice() {
    struct Case {
      const char* qpa;
      const char* display;
      const char* wayland;
      std::optional<std::string> platform;
    };
    const Case cases[] = {
        // An X display is named: X11 (XWayland on a Wayland desktop), Wayland only when
        // the X display cannot be reached.
        {nullptr, ":0", nullptr, "xcb;wayland"},
        {nullptr, ":0", "wayland-0", "xcb;wayland"},
        {"", ":1", "wayland-0", "xcb;wayland"},
        // Wayland alone: native Wayland.
        {nullptr, nullptr, "wayland-0", "wayland;xcb"},
        {nullptr, "", "wayland-1", "wayland;xcb"},
        // The user's own choice always stands.
        {"wayland", ":0", "wayland-0", std::nullopt},
        {"offscreen", ":0", nullptr, std::nullopt},
        // No display named at all: Qt's own default and its own message.
        {nullptr, nullptr, nullptr, std::nullopt},
        {nullptr, "", "", std::nullopt},
    };
    for (const Case& c : cases) {
      const auto got = displayPlatformFor(c.qpa, c.display, c.wayland);
      QVERIFY2(got == c.platform,
               qPrintable(QString("QT_QPA_PLATFORM=%1 DISPLAY=%2 WAYLAND_DISPLAY=%3 gave %4")
                              .arg(c.qpa, c.display, c.wayland, got ? got->c_str() : "nothing")));
      // The same choice lands in the environment the platform keeps; nothing else changes.
      FakePlatform platform;
      const std::pair<const char*, const char*> variables[] = {
          {"QT_QPA_PLATFORM", c.qpa}, {"DISPLAY", c.display}, {"WAYLAND_DISPLAY", c.wayland}};
      for (const auto& [name, value] : variables)
        if (value) platform.environment_[name] = value;
      const auto before = platform.environment_;
      chooseDisplayServer(platform);
      auto expected = before;
      if (c.platform) expected["QT_QPA_PLATFORM"] = *c.platform;
      QVERIFY(platform.environment_ == expected);
    }
  }
};

QTEST_MAIN(DisplayServerTest)
#include "tst_display_server.moc"
