#pragma once
// Which display server the panel talks to. The design needs a window that stays on top,
// opens centred and has a shaped outline; X11 gives all three and Wayland gives a client
// none of them. So X11 (XWayland included) is used whenever an X display is named, and
// native Wayland only without one, unless the user chose a platform himself.

#include <optional>
#include <string>

#include "platform/platform.h"

namespace tovanik {

// The value QT_QPA_PLATFORM should take, from the current values of QT_QPA_PLATFORM,
// DISPLAY and WAYLAND_DISPLAY (null when unset); nullopt leaves Qt's own choice. Each
// choice names the other server after it, for a display that is named but unreachable.
std::optional<std::string> displayPlatformFor(const char* qpaPlatform, const char* display,
                                              const char* waylandDisplay);

// Applies displayPlatformFor to the environment, through the platform; call before
// QApplication exists. A -platform option on the command line still overrides it.
void chooseDisplayServer(Platform& platform);

// True when the running application talks to a Wayland compositor natively.
bool onNativeWayland();

}  // namespace tovanik
