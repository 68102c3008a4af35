#include "settings/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "settings/atomic_file.h"

namespace tovanik {
namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr std::string_view kCRLF = "\r\n";
// Two CR LF pairs in a row make one empty line, the most that tidying lets stand.
constexpr std::size_t kMostLineBreaksInARow = 2;
// Appended to the working text so that a search for the next section line always succeeds.
constexpr std::string_view kEndSentinel = "[]";
// Tidying trims every byte up to CR from both ends: CR, LF, TAB, NUL and other controls.
constexpr unsigned char kLastTrimmedCode = 13;
constexpr mode_t kOwnerReadWrite = S_IRUSR | S_IWUSR;
constexpr mode_t kPermissionBits = 07777;

// Letter case folds on ASCII A-Z only; every other byte (UTF-8 included) matches itself.
char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string asciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return asciiLower(c); });
  return lower;
}

// `lowerPrefix` is already lower case; only `text` needs folding.
bool startsWithFolded(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
    if (asciiLower(text[i]) != lowerPrefix[i]) return false;
  }
  return true;
}

bool equalsFolded(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() && startsWithFolded(text, lower);
}

bool isTrimmed(char c) { return static_cast<unsigned char>(c) <= kLastTrimmedCode; }

// Collapses every run of three or more CR LF pairs to two (at most one empty line in a row),
// then trims control bytes from the end and the start. Collapsing a run to two in one pass
// gives the same text as replacing three pairs by two until none are left.
std::string tidy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t pairs = 0;
    while (text.compare(i, kCRLF.size(), kCRLF) == 0) {
      ++pairs;
      i += kCRLF.size();
    }
    for (std::size_t p = 0; p < std::min(pairs, kMostLineBreaksInARow); ++p) out += kCRLF;
    if (i < text.size() && pairs == 0) out += text[i++];
  }
  const auto last = std::find_if_not(out.rbegin(), out.rend(), isTrimmed);
  out.erase(last.base(), out.end());
  const auto first = std::find_if_not(out.begin(), out.end(), isTrimmed);
  out.erase(out.begin(), first);
  return out;
}

std::optional<std::string> readAll(int fd) {
  std::string bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size > 0) {
    bytes.reserve(static_cast<std::size_t>(info.st_size));
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return bytes;
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

// The common start of reading and writing: the file becomes (or stays) a regular file the
// owner may read and write, so a settings file made read-only by hand does not block the
// next change; a missing one is created empty. Then its bytes are read.
// A failed chmod (file of another user) is no failure by itself: whether the file can be
// read, or replaced, decides.
std::optional<std::string> openAndRead(const std::string& path) {
  struct stat info {};
  const bool existed = ::stat(path.c_str(), &info) == 0;
  if (existed) {
    if (!S_ISREG(info.st_mode)) return std::nullopt;
    if ((info.st_mode & kOwnerReadWrite) != kOwnerReadWrite) {
      ::chmod(path.c_str(), (info.st_mode & kPermissionBits) | kOwnerReadWrite);
    }
  }
  // O_NONBLOCK: should a FIFO appear between stat() and open(), opening it must not hang.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    if (!existed) ::fchmod(fd, (info.st_mode & kPermissionBits) | kOwnerReadWrite);
    bytes = readAll(fd);
  }
  ::close(fd);
  return bytes;
}

}  // namespace

std::string iniLookup(std::string_view fileText, std::string_view section, std::string_view key) {
  const std::string header = '[' + asciiLower(section) + ']';
  const std::string keyPrefix = asciiLower(key) + "=";
  bool inSection = false;
  std::size_t lineStart = 0;
  while (lineStart < fileText.size()) {
    // A line ends at CR or CR LF; a lone LF belongs to the line.
    const std::size_t lineEnd = std::min(fileText.find(kCR, lineStart), fileText.size());
    const std::string_view line = fileText.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (lineStart < fileText.size() && fileText[lineStart] == kLF) ++lineStart;

    if (line.find('[') != std::string_view::npos) {
      inSection = equalsFolded(line, header);
    } else if (inSection && startsWithFolded(line, keyPrefix)) {
      return std::string(line.substr(keyPrefix.size()));
    }
  }
  return {};
}

std::string iniStore(std::string_view fileText, std::string_view section, std::string_view key,
                     std::string_view value) {
  const std::string sectionMarker = "\r\n[" + asciiLower(section) + "]\r";
  const std::string keyMarker = '\n' + asciiLower(key) + '=';
  std::string keyLine = std::string(key) + "=";
  keyLine += value;

  // The leading CR LF lets a header on the first line match the marker; every search runs
  // on the lower-case copy, every edit on the text itself, so the file keeps its case.
  std::string working;
  working.reserve(kCRLF.size() + fileText.size() + kEndSentinel.size());
  working.append(kCRLF).append(fileText).append(kEndSentinel);
  const std::string lower = asciiLower(working);
  working.resize(working.size() - kEndSentinel.size());

  std::string edited;
  const std::size_t markerPos = lower.find(sectionMarker);
  if (markerPos == std::string::npos) {
    edited = working + "\r\n\r\n[" + std::string(section) + "]\r\n" + keyLine;
  } else {
    // Header end: the byte after the header's CR, which is the LF in a CR LF file.
    const std::size_t headerEnd = markerPos + sectionMarker.size();
    const std::size_t nextSection = lower.find('[', headerEnd);  // the sentinel at the latest
    const std::size_t keyPos = lower.find(keyMarker, markerPos);
    if (keyPos == std::string::npos || keyPos > nextSection) {
      // New first line of the section, after the header's line break: past the LF at the
      // header end. A header ended by a lone CR has no LF there; inserting one byte
      // further would split the next line's first character off, so the line goes in
      // right after the CR instead.
      const bool lfAtHeaderEnd = headerEnd < working.size() && working[headerEnd] == '\n';
      const std::size_t insertAt = std::min(headerEnd + (lfAtHeaderEnd ? 1 : 0), working.size());
      edited =
          working.substr(0, insertAt) + keyLine + std::string(kCRLF) + working.substr(insertAt);
    } else {
      const std::size_t oldStart = keyPos + 1;
      const std::size_t oldEnd = std::min(working.find(kCR, oldStart), working.size());
      edited = working.substr(0, oldStart) + keyLine + working.substr(oldEnd);
    }
  }
  return tidy(std::string_view(edited).substr(1));  // without the CR put in front
}

std::optional<std::string> INIread(const std::string& path, std::string_view section,
                                   std::string_view key) {
  const auto text = openAndRead(path);
  if (!text) return std::nullopt;
  return iniLookup(*text, section, key);
}

bool INIwrite(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value) {
  const auto text = openAndRead(path);
  if (!text) return false;
  return replaceFileAtomically(path, iniStore(*text, section, key, value) + std::string(kCRLF));
}

}  // namespace tovanik
