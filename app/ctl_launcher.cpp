// tovanikctl's `launcher` command: puts the panel of this program folder into the desktop's
// application menu (a .desktop entry and the icon files, below the user's XDG data folder) and
// takes it out again. Only files are copied, so tovanikctl stays free of Qt.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <utility>

#include "app/ctl_commands.h"
#include "app/launcher_files.h"
#include "platform/file_store.h"

namespace tovanik::ctl {
namespace {

namespace fs = std::filesystem;

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// $XDG_DATA_HOME when it is an absolute path (the XDG rule: relative ones are ignored), else
// ~/.local/share with the home folder from $HOME or the password database.
std::optional<std::string> dataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return withoutTrailingSlashes(xdg);
  std::string home;
  if (const char* env = std::getenv("HOME"); env && env[0] == '/') home = env;
  if (home.empty()) {
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) home = entry->pw_dir;
  }
  if (home.empty()) return std::nullopt;
  return withoutTrailingSlashes(home) + "/.local/share";
}

struct Files {
  std::string desktopEntry;  // absolute path of the menu entry
  std::string iconBase;      // the icon theme base folder: $XDG_DATA_HOME/icons
};

Files filesBelow(const std::string& data) {
  return {data + "/applications/" + launcher::kAppId + ".desktop", data + "/icons"};
}

std::vector<std::string> iconPaths() {
  std::vector<std::string> paths{launcher::svgIconPath()};
  for (int size : launcher::kIconSizes) paths.push_back(launcher::pngIconPath(size));
  return paths;
}

bool isValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80         ? 1
                               : (lead >> 5) == 6  ? 2
                               : (lead >> 4) == 14 ? 3
                               : (lead >> 3) == 30 ? 4
                                                   : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    i += length;
  }
  return true;
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

// One argument of an Exec line. An argument holding a reserved character (a blank among them)
// goes in double quotes, with " ` $ \ escaped by a backslash; a literal % is always %%.
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

std::string desktopEntry(const std::string& panel) {
  std::ostringstream entry;
  entry << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Version=1.4\n"
        << "Name=Tovanik Web Server\n"
        << "GenericName=PHP Web Server Panel\n"
        << "Comment=Start, stop and watch PHP's built-in web server\n"
        << "Icon=" << launcher::kAppId << '\n'
        << "TryExec=" << escapedString(panel) << '\n'
        << "Exec=" << escapedString(execArgument(panel)) << '\n'
        << "Terminal=false\n"
        << "Categories=Development;WebDevelopment;\n"
        << "Keywords=php;server;web;localhost;\n"
        // A second copy ends without showing a window, which would leave a busy cursor.
        << "StartupNotify=false\n"
        << "StartupWMClass=" << launcher::kAppId << '\n';
  return entry.str();
}

// The file's bytes, or nullopt with the system's reason.
std::optional<std::string> readFile(const std::string& path, std::string* whyNot) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *whyNot = std::strerror(errno);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *whyNot = std::strerror(errno);
      ::close(fd);
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return bytes;
}

// Creates the folder of `file` and writes it atomically; says what failed and why.
bool writeFile(const Context& c, const std::string& file, const std::string& bytes) {
  std::error_code error;
  fs::create_directories(fs::path(file).parent_path(), error);
  if (error) {
    fail(c, "cannot create the folder of " + file + ": " + error.message());
    return false;
  }
  std::string why;
  if (!replaceFileAtomically(file, bytes, &why)) {
    fail(c, "cannot write " + file + ": " + why);
    return false;
  }
  return true;
}

int install(const Context& c, const Files& files) {
  // The entry is started from anywhere, so it names the panel by its absolute path, even
  // when --folder was given relative to the current folder.
  std::error_code ignored;
  const std::string folder =
      withoutTrailingSlashes(fs::absolute(c.programFolder, ignored).lexically_normal());
  const std::string panel = folder + "/tovanik-webserver";
  // Checked first, as the path appears in every other message and must stay one line.
  if (!isValidUtf8(panel) || hasControlCharacter(panel))
    return fail(c,
                "a menu entry cannot name this program folder: its path is not valid UTF-8 "
                "or holds a line break or other control character");
  if (::access(panel.c_str(), X_OK) != 0)
    return fail(c, "no panel to launch at " + panel + ": " + std::strerror(errno));
  // Every icon is read before anything is written, so a folder without its icons installs
  // nothing at all.
  std::vector<std::pair<std::string, std::string>> icons;
  for (const std::string& icon : iconPaths()) {
    const std::string source = folder + "/icons/" + icon;
    std::string why;
    const auto bytes = readFile(source, &why);
    if (!bytes) return fail(c, "cannot read " + source + ": " + why);
    icons.emplace_back(files.iconBase + "/" + icon, *bytes);
  }
  for (const auto& [target, bytes] : icons)
    if (!writeFile(c, target, bytes)) return 1;
  if (!writeFile(c, files.desktopEntry, desktopEntry(panel))) return 1;
  // Icon themes cache their folders by modification time: touching the theme folder makes
  // running desktops look again for the new icon.
  ::utimensat(AT_FDCWD, (files.iconBase + "/hicolor").c_str(), nullptr, 0);
  c.out << "menu entry: " << files.desktopEntry << '\n'
        << "icons: " << files.iconBase << "/hicolor/*/apps/" << launcher::kAppId << ".*\n";
  return 0;
}

int remove(const Context& c, const Files& files) {
  std::vector<std::string> paths{files.desktopEntry};
  for (const std::string& icon : iconPaths()) paths.push_back(files.iconBase + "/" + icon);
  int removed = 0;
  for (const std::string& path : paths) {
    std::error_code error;
    if (fs::remove(path, error)) ++removed;
    if (error) return fail(c, "cannot remove " + path + ": " + error.message());
    // The size folders (hicolor/48x48/apps, hicolor/48x48) go too once nothing is left in them.
    if (path != files.desktopEntry) {
      const fs::path apps = fs::path(path).parent_path();
      if (::rmdir(apps.c_str()) == 0) ::rmdir(apps.parent_path().c_str());
    }
  }
  c.out << "removed " << removed << " file" << (removed == 1 ? "" : "s") << '\n';
  return 0;
}

}  // namespace

int launcher(const Context& c, const std::vector<std::string>& args) {
  if (args.size() != 1 || (args[0] != "install" && args[0] != "remove"))
    return usageError(c, "usage: tovanikctl launcher install | launcher remove");
  const auto data = dataHome();
  if (!data) return fail(c, "no home folder: set HOME or XDG_DATA_HOME");
  const Files files = filesBelow(*data);
  return args[0] == "install" ? install(c, files) : remove(c, files);
}

}  // namespace tovanik::ctl
