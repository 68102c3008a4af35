#pragma once
// The Start menu of Windows: one shortcut (.lnk, written through IShellLinkW) per program
// folder under %APPDATA%\Microsoft\Windows\Start Menu\Programs. The shortcut's file name is
// what the menu shows, so it is the entry's name; the panel it starts tells whose it is.

#include "platform/desktop_menu.h"

namespace tovanik {

class WindowsStartMenu final : public DesktopMenu {
 public:
  // At login: the same shortcuts in the Startup folder below Programs, which Explorer
  // starts when the user logs on.
  explicit WindowsStartMenu(MenuPlace place) : place_(place) {}
  std::string location(std::string* why) override;
  std::vector<MenuEntry> installed() override;
  bool canInstall(const MenuEntry& entry, std::string* why) override;
  bool write(const MenuEntry& entry, std::vector<std::string>* report, std::string* why) override;
  bool remove(const MenuEntry& entry, bool lastOne, int* removed, std::string* why) override;

 private:
  std::string shortcutsFolder() const;
  MenuPlace place_;
};

}  // namespace tovanik
