// libFuzzer target for the INI text transforms. Built by run_fuzz.sh, not by CMake.
//
// Checks, for any file text, section, key and value:
// - iniLookup and iniStore agree with plain, obviously-correct (and slow) versions of the same
//   rules: line by line for the lookup, repeated search-and-replace for the tidying;
// - a stored value reads back, and storing it again changes nothing, whenever the inputs
//   stay within what the line grammar can express (see roundTrips below).

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/ini.h"

namespace {

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string referenceLookup(const std::string& text, const std::string& section,
                            const std::string& key) {
  std::vector<std::string> lines;
  std::string line;
  bool pending = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines.push_back(line);
      line.clear();
      pending = false;
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += text[i];
      pending = true;
    }
  }
  if (pending) lines.push_back(line);

  const std::string header = "[" + lowerAscii(section) + "]";
  const std::string keyEq = lowerAscii(key) + "=";
  bool inSection = false;
  for (const std::string& stored : lines) {
    const std::string lower = lowerAscii(stored);
    if (lower.find('[') != std::string::npos) inSection = false;
    if (lower == header) inSection = true;
    if (lower.find('[') != std::string::npos || !inSection) continue;
    if (lower.find(keyEq) == 0) return stored.substr(keyEq.size());
  }
  return "";
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::string referenceStore(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& value) {
  std::string text = "\r\n" + file + "[]";
  const std::string lower = lowerAscii(text);
  const std::string marker = "\r\n[" + lowerAscii(section) + "]\r";
  const std::size_t at = lower.find(marker);
  text.erase(text.size() - 2);
  if (at == std::string::npos) {
    text += "\r\n\r\n[" + section + "]\r\n" + key + "=" + value;
  } else {
    const std::size_t headerEnd = at + marker.size();
    const std::size_t next = lower.find('[', headerEnd);
    const std::size_t keyAt = lower.find("\n" + lowerAscii(key) + "=", at);
    if (keyAt == std::string::npos || keyAt > next) {
      const bool lf = headerEnd < text.size() && text[headerEnd] == '\n';
      text.insert(std::min(headerEnd + (lf ? 1 : 0), text.size()), key + "=" + value + "\r\n");
    } else {
      std::size_t end = text.find('\r', keyAt + 1);
      if (end == std::string::npos) end = text.size();
      text.replace(keyAt + 1, end - keyAt - 1, key + "=" + value);
    }
  }
  text.erase(0, 1);
  while (text.find("\r\n\r\n\r\n") != std::string::npos) {
    replaceAll(text, "\r\n\r\n\r\n", "\r\n\r\n");
  }
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 13) text.pop_back();
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 13) text.erase(0, 1);
  return text;
}

// Every line break becomes CR LF, the only break the writer understands.
std::string withCrLfBreaks(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

bool hasAnyOf(const std::string& text, const char* bytes) {
  return text.find_first_of(bytes) != std::string::npos;
}

// What the grammar can express: names and value on one line; no "[" in the key line (it
// would make that line a section line; a "[" in the key also lets its marker match a header);
// no control byte ending the value (the tidying trims it when the line is the last one).
bool roundTrips(const std::string& section, const std::string& key, const std::string& value) {
  return !hasAnyOf(section, "\r\n") && !hasAnyOf(key, "\r\n[") && !hasAnyOf(value, "\r\n[") &&
         (value.empty() || static_cast<unsigned char>(value.back()) > 13);
}

// Tidying trims control bytes from the start of the file. When they are not ended by a line
// break, trimming them can turn a line such as "\t[Config]", which the writer did not take
// for a header, into a header on the first line that the reader then opens first.
bool startsCleanly(const std::string& text) {
  std::size_t controls = 0;
  while (controls < text.size() && static_cast<unsigned char>(text[controls]) <= 13) ++controls;
  return controls == 0 || controls == text.size() ||
         (controls >= 2 && text.compare(controls - 2, 2, "\r\n") == 0);
}

void fail(const char* what) {
  std::fprintf(stderr, "ini_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(16);
  const std::string key = input.ConsumeRandomLengthString(16);
  const std::string value = input.ConsumeRandomLengthString(32);
  const std::string text = input.ConsumeRemainingBytesAsString();

  if (tovanik::iniLookup(text, section, key) != referenceLookup(text, section, key)) {
    fail("iniLookup differs from the line-by-line reading");
  }
  if (tovanik::iniStore(text, section, key, value) != referenceStore(text, section, key, value)) {
    fail("iniStore differs from the literal edit");
  }
  if (!roundTrips(section, key, value)) return 0;

  const std::string file = withCrLfBreaks(text);
  if (!startsCleanly(file)) return 0;
  const std::string once = tovanik::iniStore(file, section, key, value) + "\r\n";
  if (tovanik::iniLookup(once, section, key) != value) fail("stored value does not read back");
  // A header left without a line break at the end of the file gets a twin section on the
  // first write, and the second write then fills the original; from there on nothing moves.
  const std::string twice = tovanik::iniStore(once, section, key, value) + "\r\n";
  if (tovanik::iniStore(twice, section, key, value) + "\r\n" != twice) {
    fail("storing the same value again changed the text");
  }
  return 0;
}
