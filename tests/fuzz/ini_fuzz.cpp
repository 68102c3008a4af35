// Fuzz target for the INI text transforms: libFuzzer's entry point, also driven by
// standalone_driver.cpp where the compiler has no libFuzzer.
//
// Input: section, key, value and a second key, each ended by a 0xFF byte, then the file
// text. Checks, for any input:
// - iniLookup and iniStore agree with plain, obviously-correct (and slow) versions of the
//   line rules, working on a list of lines;
// - the writer's promise (ini_property.h) with the key, the second key in the same section
//   and the key in a second section.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fuzz/ini_property.h"

namespace {

struct RefLine {
  std::string bytes;
  std::string end;  // "\r\n", "\r", "\n" or "" on a last line without one
};

const std::string kByteOrderMark = "\xEF\xBB\xBF";

// A UTF-8 byte-order mark at the start belongs to no line.
bool hasByteOrderMark(const std::string& text) { return text.rfind(kByteOrderMark, 0) == 0; }

std::vector<RefLine> splitLines(const std::string& text) {
  std::vector<RefLine> lines;
  RefLine line;
  for (std::size_t i = hasByteOrderMark(text) ? kByteOrderMark.size() : 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      line.bytes += text[i];
      continue;
    }
    line.end = text.compare(i, 2, "\r\n") == 0 ? "\r\n" : std::string(1, text[i]);
    i += line.end.size() - 1;
    lines.push_back(line);
    line = {};
  }
  if (!line.bytes.empty()) lines.push_back(line);
  return lines;
}

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool isSection(const std::string& line) {
  for (const char c : line) {
    if (c != ' ' && c != '\t') return c == '[';
  }
  return false;
}

bool isHeader(std::string line, const std::string& section) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.erase(0, 1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  return lowerAscii(line) == '[' + lowerAscii(section) + ']';
}

bool isKeyLine(const std::string& line, const std::string& key) {
  return lowerAscii(line).rfind(lowerAscii(key) + "=", 0) == 0;
}

std::string referenceLookup(const std::string& text, const std::string& section,
                            const std::string& key) {
  bool inSection = false;
  for (const RefLine& line : splitLines(text)) {
    if (isSection(line.bytes)) {
      inSection = isHeader(line.bytes, section);
    } else if (inSection && isKeyLine(line.bytes, key)) {
      return line.bytes.substr(key.size() + 1);
    }
  }
  return "";
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::string referenceTidy(std::string text) {
  while (text.find("\r\n\r\n\r\n") != std::string::npos) {
    replaceAll(text, "\r\n\r\n\r\n", "\r\n\r\n");
  }
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  const std::size_t first = text.find_first_not_of("\r\n");
  if (first != std::string::npos && text.compare(first, 3, kByteOrderMark) != 0)
    text.erase(0, first);
  if (first == std::string::npos) text.clear();
  return text;
}

std::string referenceStore(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& value) {
  std::vector<RefLine> lines = splitLines(file);
  const RefLine keyLine{key + "=" + value, "\r\n"};
  std::size_t header = 0;
  while (header < lines.size() &&
         !(isSection(lines[header].bytes) && isHeader(lines[header].bytes, section))) {
    ++header;
  }
  if (header == lines.size()) {
    // After the last line that is not empty, one empty line and the new section.
    while (!lines.empty() && lines.back().bytes.empty()) lines.pop_back();
    if (!lines.empty()) {
      lines.back().end = "\r\n";
      lines.push_back({"", "\r\n"});
    }
    lines.push_back({"[" + section + "]", "\r\n"});
    lines.push_back(keyLine);
  } else {
    std::size_t at = header + 1;
    while (at < lines.size() && !isSection(lines[at].bytes) && !isKeyLine(lines[at].bytes, key)) {
      ++at;
    }
    if (at < lines.size() && !isSection(lines[at].bytes)) {
      lines[at].bytes = keyLine.bytes;
    } else {
      if (lines[header].end.empty()) lines[header].end = "\r\n";
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(header) + 1, keyLine);
    }
  }
  std::string text = hasByteOrderMark(file) ? kByteOrderMark : "";
  for (const RefLine& line : lines) text += line.bytes + line.end;
  return referenceTidy(text);
}

void fail(const char* what) {
  std::fprintf(stderr, "ini_fuzz: %s\n", what);
  std::abort();
}

// The next field up to a 0xFF byte, which is consumed; the rest when there is none.
std::string takeField(std::string_view& input) {
  const std::size_t end = std::min(input.find('\xFF'), input.size());
  std::string field(input.substr(0, end));
  input.remove_prefix(std::min(end + 1, input.size()));
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string section = takeField(input);
  const std::string key = takeField(input);
  const std::string value = takeField(input);
  const std::string otherKey = takeField(input);
  const std::string text(input);

  if (tovanik::iniLookup(text, section, key) != referenceLookup(text, section, key)) {
    fail("iniLookup differs from the line-by-line reading");
  }
  if (tovanik::iniStore(text, section, key, value) != referenceStore(text, section, key, value)) {
    fail("iniStore differs from the edit of the line list");
  }
  const std::vector<tovanik::test::IniProbe> others = {
      {section, otherKey}, {otherKey, key}, {otherKey, otherKey}};
  if (const char* broken = tovanik::test::iniStoreBreaks(text, section, key, value, others)) {
    fail(broken);
  }
  return 0;
}
