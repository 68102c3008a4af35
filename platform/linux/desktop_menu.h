#pragma once
// The menu of Linux desktops: a .desktop entry per program folder in
// $XDG_DATA_HOME/applications (else ~/.local/share/applications), and the icon files, which
// every entry shares, copied from the program folder's icons/ into the hicolor theme there.

#include "platform/desktop_menu.h"

namespace tovanik {

class LinuxDesktopMenu final : public DesktopMenu {
 public:
  std::string location(std::string* why) override;
  std::vector<MenuEntry> installed() override;
  bool canInstall(const MenuEntry& entry, std::string* why) override;
  bool write(const MenuEntry& entry, std::vector<std::string>* report, std::string* why) override;
  bool remove(const MenuEntry& entry, bool lastOne, int* removed, std::string* why) override;
};

// The text of a menu entry (exposed for the tests).
std::string desktopEntryText(const MenuEntry& entry);

}  // namespace tovanik
