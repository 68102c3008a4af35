// The INI grammar as text transforms, free of any file access.
//
// Lines end at CR LF, a lone CR or a lone LF, so files saved by Linux editors, scripts and
// git checkouts read the same as the CR LF files the writer produces. A section line is
// one whose first byte after blanks and tabs is "["; a "[" further on (a value such as
// "site[old]") leaves it an ordinary line. A header matches without the blanks and tabs
// around it, as editors leave them. A UTF-8 byte-order mark at the start of the file (as
// Notepad saves it) belongs to no line: it is kept, and skipped when the first line is
// matched. Reader and writer share these rules, so what the writer stores is what the
// reader finds.
#include <algorithm>

#include "settings/ini.h"

namespace tovanik {

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kCRLF = "\r\n";
// Two CR LF pairs in a row make one empty line, the most that tidying lets stand.
constexpr std::size_t kMostLineBreaksInARow = 2;

// One line of a text: its bytes run from `start` to `end`, its line end (if any) from
// `end` to `next`, where the following line starts.
struct Line {
  std::size_t start;
  std::size_t end;
  std::size_t next;
  bool hasLineEnd() const { return next > end; }
};

Line lineAt(std::string_view text, std::size_t start) {
  if (start == 0 && text.starts_with(kByteOrderMark)) start = kByteOrderMark.size();
  const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
  std::size_t next = end;
  if (next < text.size()) {
    const bool crlf = text[next] == kCR && next + 1 < text.size() && text[next + 1] == kLF;
    next += crlf ? 2 : 1;
  }
  return {start, end, next};
}

std::string_view bytesOf(std::string_view text, const Line& line) {
  return text.substr(line.start, line.end - line.start);
}

// Calls `visit(line)` for each line until it returns true; returns that line, if any.
template <typename Visit>
std::optional<Line> findLine(std::string_view text, std::size_t from, Visit visit) {
  for (std::size_t start = from; start < text.size();) {
    const Line line = lineAt(text, start);
    if (visit(line)) return line;
    start = line.next;
  }
  return std::nullopt;
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

bool isSectionLine(std::string_view line) {
  const std::size_t first = line.find_first_not_of(kBlanks);
  return first != std::string_view::npos && line[first] == '[';
}

// `header` is "[name]" in lower case.
bool isHeader(std::string_view line, std::string_view header) {
  const std::size_t first = line.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return false;
  line = line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
  return equalsFolded(line, header);
}

bool isCRorLF(char c) { return c == kCR || c == kLF; }

// Collapses every run of three or more CR LF pairs to two (at most one empty line in a
// row), then removes line-end bytes from both ends. Nothing but empty lines goes: a TAB or
// other control byte ending the last value is part of that value, and one at the start of
// the file could be all that keeps a line such as "\t[Config]" from being a header.
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
  const auto last = std::find_if_not(out.rbegin(), out.rend(), isCRorLF);
  out.erase(last.base(), out.end());
  // A byte-order mark that the leading line ends would bring to the start of the file
  // would turn the line after it into a header: then they stay.
  const auto first = std::find_if_not(out.begin(), out.end(), isCRorLF);
  if (!std::string_view(out)
           .substr(static_cast<std::size_t>(first - out.begin()))
           .starts_with(kByteOrderMark))
    out.erase(out.begin(), first);
  return out;
}

std::string withoutTrailingLineEnds(std::string_view text) {
  while (!text.empty() && isCRorLF(text.back())) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

std::string iniLookup(std::string_view fileText, std::string_view section, std::string_view key) {
  const std::string header = '[' + asciiLower(section) + ']';
  const std::string keyPrefix = asciiLower(key) + "=";
  bool inSection = false;
  std::string value;
  findLine(fileText, 0, [&](const Line& at) {
    const std::string_view line = bytesOf(fileText, at);
    if (isSectionLine(line)) {
      inSection = isHeader(line, header);
    } else if (inSection && startsWithFolded(line, keyPrefix)) {
      value = line.substr(keyPrefix.size());
      return true;
    }
    return false;
  });
  return value;
}

std::string iniStore(std::string_view fileText, std::string_view section, std::string_view key,
                     std::string_view value) {
  const std::string header = '[' + asciiLower(section) + ']';
  const std::string keyPrefix = asciiLower(key) + "=";
  std::string keyLine = std::string(key) + "=";
  keyLine += value;

  const auto headerLine = findLine(fileText, 0, [&](const Line& at) {
    const std::string_view line = bytesOf(fileText, at);
    return isSectionLine(line) && isHeader(line, header);
  });
  if (!headerLine) {
    // A new section at the end, one empty line after the text before it; in a file that
    // holds nothing else, right after its byte-order mark.
    const std::string before = withoutTrailingLineEnds(fileText);
    std::string newSection(1, '[');  // appended piece by piece: GCC 12 warns falsely on
    newSection += section;            // "literal" + std::string at -O2 (-Wrestrict)
    newSection += "]\r\n";
    newSection += keyLine;
    if (before.empty() || before == kByteOrderMark) return before + newSection;
    return tidy(before + "\r\n\r\n" + newSection);
  }
  // The key's line is the first one in the section that starts with the key and "=";
  // the section ends at the next section line.
  bool sectionEnded = false;
  const auto old = findLine(fileText, headerLine->next, [&](const Line& at) {
    const std::string_view line = bytesOf(fileText, at);
    sectionEnded = isSectionLine(line);
    return sectionEnded || startsWithFolded(line, keyPrefix);
  });
  std::string edited(fileText);
  if (old && !sectionEnded) {
    edited.replace(old->start, old->end - old->start, keyLine);
  } else {
    // New first line of the section. A header on the file's last line, without a line
    // end, is given one first, so the key joins it instead of a twin section.
    const std::string lineEnd = headerLine->hasLineEnd() ? "" : std::string(kCRLF);
    edited.insert(headerLine->next, lineEnd + keyLine + std::string(kCRLF));
  }
  return tidy(edited);
}

}  // namespace tovanik
