#include "platform/linux/desktop_menu.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <utility>

#include "platform/linux/atomic_file.h"
#include "platform/linux/file_bytes.h"
#include "platform/linux/make_folders.h"
#include "platform/linux/safe_path.h"
#include "platform/linux/user_folders.h"
#include "platform/menu_icons.h"
#include "platform/text_rules.h"
#include "platform/why_not.h"

namespace tovanik {
namespace {

constexpr std::string_view kEntryPrefix = "tovanik-webserver";
constexpr std::string_view kEntrySuffix = ".desktop";

// $XDG_DATA_HOME, else ~/.local/share, by the one rule for the user's folders (root's
// own, as root).
std::string dataHome() { return xdgFolder("XDG_DATA_HOME", ".local/share"); }

std::vector<std::string> iconPaths() {
  std::vector<std::string> paths{menuicons::svgIconPath()};
  for (int size : menuicons::kIconSizes) paths.push_back(menuicons::pngIconPath(size));
  return paths;
}

bool hasControlCharacter(const std::string& text) {
  for (unsigned char ch : text)
    if (ch < 0x20 || ch == 0x7F) return true;
  return false;
}

// A value of the "string" type: a backslash is written as two.
std::string escapedString(const std::string& text) {
  std::string out;
  for (char ch : text) out += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
  return out;
}

std::string unescapedString(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

// One argument of an Exec line. An argument holding a reserved character (a blank among
// them) goes in double quotes, with " ` $ \ escaped by a backslash; a literal % is always %%.
std::string execArgument(const std::string& arg) {
  static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  const bool quote = arg.find_first_of(kReserved) != std::string::npos;
  std::string out = quote ? "\"" : "";
  for (char ch : arg) {
    if (quote && (ch == '"' || ch == '`' || ch == '$' || ch == '\\')) out += '\\';
    out += ch == '%' ? std::string("%%") : std::string(1, ch);
  }
  return quote ? out + '"' : out;
}

// Creates the folder of `file` and writes it atomically. The path is resolved as a
// settings file's is (run as root, a link on the way that another user owns is refused),
// so root's menu entry never lands where another user's link points.
bool writeFile(const std::string& file, const std::string& bytes, std::string* why) {
  const std::string folder = folderOf(file);
  if (!makeFolders(folder, 0755))
    return failed(why, "cannot create " + folder + ": " + std::strerror(errno));
  std::string reason;
  const auto resolved = resolveSettingsPath(file, &reason);
  if (!resolved || !replaceFileOnDisk(resolved->path(), bytes, &reason))
    return failed(why, "cannot write " + file + ": " + reason);
  return true;
}

// Removes a file; a missing one is no error.
bool removeFile(const std::string& path, int* removed, std::string* why) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) return true;
  std::string reason;
  const auto resolved = resolveSettingsPath(path, &reason);
  if (!resolved) return failed(why, "cannot remove " + path + ": " + reason);
  if (::unlink(resolved->path().c_str()) == 0) {
    ++*removed;
    return true;
  }
  if (errno == ENOENT) return true;
  return failed(why, "cannot remove " + path + ": " + std::strerror(errno));
}

std::string entryPath(const std::string& folder, const std::string& id) {
  return folder + "/" + id + std::string(kEntrySuffix);
}

}  // namespace

std::string desktopEntryText(const MenuEntry& entry) {
  std::ostringstream text;
  text << "[Desktop Entry]\n"
       << "Type=Application\n"
       << "Version=1.4\n"
       << "Name=" << escapedString(entry.name) << '\n'
       << "GenericName=PHP Web Server Panel\n"
       << "Comment=Start, stop and watch PHP's built-in web server\n"
       << "Icon=" << menuicons::kAppId << '\n'
       << "TryExec=" << escapedString(entry.panel) << '\n'
       << "Exec=" << escapedString(execArgument(entry.panel)) << '\n'
       << "Terminal=false\n"
       << "Categories=Development;WebDevelopment;\n"
       << "Keywords=php;server;web;localhost;\n"
       // A second copy ends without showing a window, which would leave a busy cursor.
       << "StartupNotify=false\n"
       << "StartupWMClass=" << menuicons::kAppId << '\n';
  return text.str();
}

std::string LinuxDesktopMenu::entriesFolder(std::string* why) const {
  // As root, $XDG_CONFIG_HOME follows the rule $XDG_DATA_HOME does (user_folders.h).
  const bool menu = place_ == MenuPlace::Menu;
  const std::string base = menu ? dataHome() : xdgFolder("XDG_CONFIG_HOME", ".config");
  if (base.empty())
    failed(why, menu ? "no home folder: set HOME or XDG_DATA_HOME"
                     : "no home folder: set HOME or XDG_CONFIG_HOME");
  return base.empty() ? base : base + (menu ? "/applications" : "/autostart");
}

std::string LinuxDesktopMenu::location(std::string* why) { return entriesFolder(why); }

std::vector<MenuEntry> LinuxDesktopMenu::installed() {
  std::vector<MenuEntry> entries;
  const std::string place = entriesFolder(nullptr);
  if (place.empty()) return entries;
  DIR* folder = ::opendir(place.c_str());
  if (!folder) return entries;
  while (const dirent* item = ::readdir(folder)) {
    const std::string file = item->d_name;
    if (!file.starts_with(kEntryPrefix) || !file.ends_with(kEntrySuffix)) continue;
    const auto text = readExistingFile(place + "/" + file, nullptr);
    if (!text) continue;
    MenuEntry entry;
    entry.id = file.substr(0, file.size() - kEntrySuffix.size());
    entry.file = place + "/" + file;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("Name=")) entry.name = unescapedString(line.substr(5));
      if (line.starts_with("TryExec=")) entry.panel = unescapedString(line.substr(8));
    }
    entry.folder = entry.panel.substr(0, entry.panel.rfind('/') + 1);
    if (entry.folder.size() > 1) entry.folder.pop_back();
    if (!entry.panel.empty()) entries.push_back(std::move(entry));
  }
  ::closedir(folder);
  return entries;
}

bool LinuxDesktopMenu::canInstall(const MenuEntry& entry, std::string* why) {
  // Checked first, as the path appears in every other message and must stay one line.
  if (!isValidUtf8(entry.panel) || hasControlCharacter(entry.panel))
    return failed(why,
                  "a menu entry cannot name this program folder: its path is not valid UTF-8 "
                  "or holds a line break or other control character");
  if (::access(entry.panel.c_str(), X_OK) != 0)
    return failed(why, "no panel to launch at " + entry.panel + ": " + std::strerror(errno));
  if (place_ != MenuPlace::Menu) return true;  // the icons are the menu's
  for (const std::string& icon : iconPaths()) {
    const std::string source = entry.folder + "/icons/" + icon;
    if (::access(source.c_str(), R_OK) != 0)
      return failed(why, "cannot read " + source + ": " + std::strerror(errno));
  }
  return true;
}

bool LinuxDesktopMenu::write(const MenuEntry& entry, std::vector<std::string>* report,
                             std::string* why) {
  const std::string place = entriesFolder(why);
  if (place.empty()) return false;
  const bool menu = place_ == MenuPlace::Menu;
  const std::string data = menu ? dataHome() : std::string();
  // Every icon is read before anything is written, so a folder without its icons
  // installs nothing at all.
  std::vector<std::pair<std::string, std::string>> icons;
  for (const std::string& icon : menu ? iconPaths() : std::vector<std::string>()) {
    const std::string source = entry.folder + "/icons/" + icon;
    std::string reason;
    const auto bytes = readExistingFile(source, &reason);
    if (!bytes) return failed(why, "cannot read " + source + ": " + reason);
    icons.emplace_back(data + "/icons/" + icon, *bytes);
  }
  for (const auto& [target, bytes] : icons)
    if (!writeFile(target, bytes, why)) return false;
  const std::string file = entryPath(place, entry.id);
  if (!writeFile(file, desktopEntryText(entry), why)) return false;
  // Another entry that starts the same panel (one of an older name) goes.
  int ignored = 0;
  for (const MenuEntry& other : installed())
    if (other.panel == entry.panel && other.id != entry.id)
      removeFile(entryPath(place, other.id), &ignored, nullptr);
  if (!menu) {
    report->push_back("at login: " + file);
    return true;
  }
  // Icon themes cache their folders by modification time: touching the theme folder makes
  // running desktops look again for the new icon.
  ::utimensat(AT_FDCWD, (data + "/icons/hicolor").c_str(), nullptr, 0);
  report->push_back("menu entry: " + file);
  report->push_back("icons: " + data + "/icons/hicolor/*/apps/" + menuicons::kAppId + ".*");
  return true;
}

bool LinuxDesktopMenu::remove(const MenuEntry& entry, bool lastOne, int* removed,
                              std::string* why) {
  const std::string place = entriesFolder(why);
  if (place.empty()) return false;
  if (!removeFile(entryPath(place, entry.id), removed, why)) return false;
  if (!lastOne || place_ != MenuPlace::Menu) return true;
  const std::string data = dataHome();
  for (const std::string& icon : iconPaths()) {
    const std::string path = data + "/icons/" + icon;
    if (!removeFile(path, removed, why)) return false;
    // The size folders (hicolor/48x48/apps, hicolor/48x48) go too once nothing is left in them.
    const std::string apps = path.substr(0, path.rfind('/'));
    if (::rmdir(apps.c_str()) == 0) ::rmdir(apps.substr(0, apps.rfind('/')).c_str());
  }
  return true;
}

}  // namespace tovanik
