#include "window/qt/display_server.h"

#include <QGuiApplication>

namespace tovanik {
namespace {

bool named(const char* value) { return value && *value; }

}  // namespace

std::optional<std::string> displayPlatformFor(const char* qpaPlatform, const char* display,
                                              const char* waylandDisplay) {
  if (named(qpaPlatform)) return std::nullopt;  // the user's choice stands
  // Qt tries the names in order and takes the first that connects.
  if (named(display)) return "xcb;wayland";
  if (named(waylandDisplay)) return "wayland;xcb";
  return std::nullopt;
}

void chooseDisplayServer(Platform& platform) {
  const auto qpa = platform.environmentVariable("QT_QPA_PLATFORM");
  const auto display = platform.environmentVariable("DISPLAY");
  const auto wayland = platform.environmentVariable("WAYLAND_DISPLAY");
  const auto choice =
      displayPlatformFor(qpa ? qpa->c_str() : nullptr, display ? display->c_str() : nullptr,
                         wayland ? wayland->c_str() : nullptr);
  if (choice) platform.setEnvironmentVariable("QT_QPA_PLATFORM", *choice);
}

bool onNativeWayland() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace tovanik
