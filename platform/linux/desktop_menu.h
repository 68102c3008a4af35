#pragma once
// The menu of Linux desktops: a .desktop entry per program folder in
// $XDG_DATA_HOME/applications (else ~/.local/share/applications), and the icon files, which
// every entry shares, copied from the program folder's icons/ into the hicolor theme there;
// and the same entries in the XDG autostart folder, for the start at login.

#include "platform/desktop_menu.h"

namespace tovanik {

class LinuxDesktopMenu final : public DesktopMenu {
 public:
  // At login: the entries lie in $XDG_CONFIG_HOME/autostart (else ~/.config/autostart),
  // where the session's autostart runner finds them; the icons are the menu's alone.
  explicit LinuxDesktopMenu(MenuPlace place) : place_(place) {}
  std::string location(std::string* why) override;
  std::vector<MenuEntry> installed() override;
  bool canInstall(const MenuEntry& entry, std::string* why) override;
  bool write(const MenuEntry& entry, std::vector<std::string>* report, std::string* why) override;
  bool remove(const MenuEntry& entry, bool lastOne, int* removed, std::string* why) override;

 private:
  // The folder of the entries; "" with *why when the user has no home.
  std::string entriesFolder(std::string* why) const;
  MenuPlace place_;
};

// The text of a menu entry (exposed for the tests).
std::string desktopEntryText(const MenuEntry& entry);

}  // namespace tovanik
