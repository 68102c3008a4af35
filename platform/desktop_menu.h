#pragma once
// The desktop's application menu: entries that start a program folder's panel. One backend
// per system: .desktop entries and the icon files below the XDG data folder
// (platform/linux/desktop_menu.cpp), Start-menu shortcuts (platform/windows/start_menu.cpp);
// tests use FakeDesktopMenu (tests/support/fake_platform.h). Which entry a folder has and
// what the menu calls it is decided once, above this (app/ctl_launcher.cpp).
//
// Failure: false, with the system's reason (or what is wrong) in *why.

#include <string>
#include <vector>

namespace tovanik {

struct MenuEntry {
  std::string id;      // the entry's file name without extension where the name is free
  std::string name;    // what the menu shows
  std::string panel;   // absolute path of the panel it starts
  std::string folder;  // the program folder: the panel's working folder, its icons' source
  std::string file;    // where an installed entry lies (set by installed())
};

// Where the entries go: the application menu, or what the session starts at login (the XDG
// autostart folder, the Startup folder), with entries of the same names and form.
enum class MenuPlace { Menu, AtLogin };

class DesktopMenu {
 public:
  virtual ~DesktopMenu() = default;

  // The folder the entries lie in; "" with *why when this user has none.
  virtual std::string location(std::string* why) = 0;
  // The entries of ours found there, each with the panel it starts.
  virtual std::vector<MenuEntry> installed() = 0;
  // Whether an entry can start `entry.panel` from `entry.folder`: the panel is an
  // executable file, the entry's format can hold its path, the icons are there.
  virtual bool canInstall(const MenuEntry& entry, std::string* why) = 0;
  // Writes the entry, replacing any other entry that starts the same panel (and, where
  // the menu shows icons from files, the icons, which every entry shares). Lines saying
  // what was written where go to *report.
  virtual bool write(const MenuEntry& entry, std::vector<std::string>* report,
                     std::string* why) = 0;
  // Removes the entry, and with `lastOne` what the entries share (the icons); adds the
  // number of files removed to *removed.
  virtual bool remove(const MenuEntry& entry, bool lastOne, int* removed, std::string* why) = 0;
};

}  // namespace tovanik
