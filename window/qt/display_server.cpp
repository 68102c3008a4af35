#include "window/qt/display_server.h"

#include <QGuiApplication>
#include <cstdlib>

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

void chooseDisplayServer() {
  const auto choice = displayPlatformFor(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                         std::getenv("WAYLAND_DISPLAY"));
  if (choice) setenv("QT_QPA_PLATFORM", choice->c_str(), 1);
}

bool onNativeWayland() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace tovanik
