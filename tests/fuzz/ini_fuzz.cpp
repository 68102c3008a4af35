// Fuzz target for the INI text transforms: libFuzzer's entry point, also driven by
// standalone_driver.cpp where the compiler has no libFuzzer.
//
// Input: section, key, value and a second key, each ended by a 0xFF byte, then the file
// text. Checks, for any input:
// - iniLookup and iniStore agree with plain, obviously-correct (and slow) versions of the
//   line rules, working on a list of lines;
// - the writer's promise (ini_property.h) with the key, the second key in the same section
//   and the key in a second section;
// - the file text behind a UTF-16 byte-order mark (either order) is refused exactly when a
//   plain reference finds it invalid UTF-16, and otherwise comes back byte for byte; the
//   key stored in it reads back through UTF-16.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "settings/text_encoding.h"
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

// Whether `units` (after the mark) are valid UTF-16: whole units, each surrogate in a
// high-low pair.
bool referenceValidUtf16(const std::string& units, bool bigEndian) {
  if (units.size() % 2 != 0) return false;
  std::vector<unsigned> u;
  for (std::size_t i = 0; i < units.size(); i += 2) {
    const auto a = static_cast<unsigned char>(units[i]),
               b = static_cast<unsigned char>(units[i + 1]);
    u.push_back(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  for (std::size_t i = 0; i < u.size(); ++i) {
    if (u[i] >= 0xDC00 && u[i] <= 0xDFFF) return false;
    if (u[i] >= 0xD800 && u[i] <= 0xDBFF) {
      if (i + 1 == u.size() || u[i + 1] < 0xDC00 || u[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
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
  for (const bool bigEndian : {false, true}) {
    const std::string file = (bigEndian ? "\xFE\xFF" : "\xFF\xFE") + text;
    const auto decoded = tovanik::decodeSettingsText(file, nullptr);
    if (decoded.has_value() != referenceValidUtf16(text, bigEndian)) {
      fail("UTF-16 refused or taken against the reference");
    }
    if (!decoded) continue;
    if (tovanik::encodeSettingsText(decoded->encoding, decoded->text, nullptr) != file) {
      fail("a UTF-16 file does not come back byte for byte");
    }
    if (tovanik::iniEntryProblem(section, key, value)) continue;
    const std::string stored = tovanik::iniStore(decoded->text, section, key, value) + "\r\n";
    const auto written = tovanik::encodeSettingsText(decoded->encoding, stored, nullptr);
    if (!written) continue;  // a value that is no UTF-8: refused for a UTF-16 file
    const auto reread = tovanik::decodeSettingsText(*written, nullptr);
    if (!reread || tovanik::iniLookup(reread->text, section, key) != value) {
      fail("a value stored in a UTF-16 file does not read back");
    }
  }
  return 0;
}
