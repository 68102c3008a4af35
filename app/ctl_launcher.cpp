// tovanikctl's `launcher` command: puts this program folder's panel into the desktop's
// application menu and takes it out again, through the platform's DesktopMenu (a .desktop
// entry and icons on Linux, a Start-menu shortcut on Windows). Each program folder has an
// entry of its own, named after a hash of the folder's path; while one folder has an
// entry the menu shows "Tovanik Web Server", with more than one each shows its folder's
// name, and `remove` takes out only this folder's entry.
#include <string>
#include <vector>

#include "app/ctl_commands.h"
#include "platform/desktop_menu.h"
#include "platform/path_text.h"

namespace tovanik::ctl {
namespace {

constexpr const char* kOnlyName = "Tovanik Web Server";

std::string withoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

std::vector<MenuEntry> entriesOfOthers(const std::vector<MenuEntry>& all,
                                       const std::string& panel) {
  std::vector<MenuEntry> others;
  for (const MenuEntry& entry : all)
    if (entry.panel != panel) others.push_back(entry);
  return others;
}

}  // namespace

std::string menuEntryId(const std::string& folder) {
  return "tovanik-webserver-" + shortPathHash(folder);
}

std::string menuEntryName(const std::string& folder, const std::vector<MenuEntry>& others) {
  if (others.empty()) return kOnlyName;
  const std::string base(baseName(folder));
  std::string name = std::string("Tovanik \xE2\x80\x94 ") + base;
  // Two folders of one name stay apart by their paths' hashes.
  for (const MenuEntry& other : others)
    if (baseName(other.folder) == base) return name + " (" + shortPathHash(folder) + ")";
  return name;
}

namespace {

// `launcher` alone: this folder's entries, in the menu and at login.
int saysWhatIsInstalled(const Context& c, const std::string& panel) {
  for (const MenuPlace place : {MenuPlace::Menu, MenuPlace::AtLogin}) {
    std::string file = "none";
    for (const MenuEntry& entry : c.platform.desktopMenu(place).installed())
      if (entry.panel == panel) file = entry.file;
    c.out << (place == MenuPlace::Menu ? "menu entry: " : "at login: ") << file << '\n';
  }
  return 0;
}

}  // namespace

int launcher(const Context& c, const std::vector<std::string>& args) {
  const bool atLogin = args.size() == 2 && args[1] == "--at-login";
  if (args.size() > 2 || (args.size() == 2 && !atLogin) ||
      (!args.empty() && args[0] != "install" && args[0] != "remove"))
    return usageError(c, "usage: tovanikctl launcher [install | remove] [--at-login]");
  // The entry is started from anywhere, so it names the panel by its absolute path (the
  // program folder is absolute: --folder is resolved before any command runs).
  const std::string folder = withoutTrailingSeparators(c.programFolder);
  const std::string panel = joinPath(folder, std::string("tovanik-webserver") + kExecutableSuffix);
  if (args.empty()) return saysWhatIsInstalled(c, panel);
  // The start at login has entries of the same names and form as the menu's, in a
  // folder of its own, each named by its own folders' rules.
  DesktopMenu& menu = c.platform.desktopMenu(atLogin ? MenuPlace::AtLogin : MenuPlace::Menu);
  std::string why;
  if (menu.location(&why).empty()) return fail(c, why);
  const std::vector<MenuEntry> all = menu.installed();
  std::vector<MenuEntry> others = entriesOfOthers(all, panel);

  if (args[0] == "install") {
    MenuEntry entry{menuEntryId(folder), menuEntryName(folder, others), panel, folder, {}};
    if (!menu.canInstall(entry, &why)) return fail(c, why);
    std::vector<std::string> report;
    if (!menu.write(entry, &report, &why)) return fail(c, why);
    // The entries of other folders now show their folders' names too.
    std::vector<MenuEntry> now = entriesOfOthers(all, panel);
    now.push_back(entry);
    for (MenuEntry& other : others) {
      const std::vector<MenuEntry> besides = entriesOfOthers(now, other.panel);
      const std::string name = menuEntryName(other.folder, besides);
      if (other.name == name) continue;
      other.name = name;
      std::vector<std::string> ignored;
      menu.write(other, &ignored, nullptr);
    }
    for (const std::string& line : report) c.out << line << '\n';
    return 0;
  }

  int removed = 0;
  for (const MenuEntry& mine : all) {
    if (mine.panel != panel) continue;
    if (!menu.remove(mine, others.empty(), &removed, &why)) return fail(c, why);
  }
  // The one entry left shows the plain name again.
  if (others.size() == 1 && others[0].name != kOnlyName) {
    others[0].name = kOnlyName;
    std::vector<std::string> ignored;
    menu.write(others[0], &ignored, nullptr);
  }
  c.out << "removed " << removed << " file" << (removed == 1 ? "" : "s");
  if (removed == 0) c.out << " (no menu entry starts " << panel << ")";
  c.out << '\n';
  return 0;
}

}  // namespace tovanik::ctl
