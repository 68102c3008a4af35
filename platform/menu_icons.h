#pragma once
// The icon files that a desktop's application menu shows for the panel: their names below
// an icon theme folder, shared by the build tool that draws them (app/icon_files.cpp) and by
// the menu entry (platform/linux/desktop_menu.cpp), which copies them from the program folder.

#include <array>
#include <string>

namespace tovanik::menuicons {

// The menu entry's file name without ".desktop", the icon's name and the panel's X11 window
// class (Qt's class is the application name the panel sets), so the desktop can tie a
// running window to its menu entry.
inline constexpr const char* kAppId = "tovanik-webserver";

// Icon sizes in pixels: the usual hicolor sizes from menus (16) to launchers (256).
inline constexpr std::array<int, 7> kIconSizes = {16, 24, 32, 48, 64, 128, 256};

// Paths below an icon theme base folder: the program folder's icons/, and
// $XDG_DATA_HOME/icons/ once installed.
inline std::string pngIconPath(int size) {
  const std::string edge = std::to_string(size);
  return "hicolor/" + edge + "x" + edge + "/apps/" + kAppId + ".png";
}
inline std::string svgIconPath() { return std::string("hicolor/scalable/apps/") + kAppId + ".svg"; }

}  // namespace tovanik::menuicons
