#include "server/log_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/path_text.h"

namespace tovanik::logtext {
namespace {

constexpr std::string_view kMarkStart = "[tovanik ";
constexpr std::size_t kStampLength = 20;  // 2026-12-07T23:10:01Z

std::string fileNameSafe(std::string_view name) {
  std::string safe;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '-' || c == '_';
    safe += plain ? c : '_';
  }
  return safe.empty() ? std::string("root") : safe.substr(0, 64);
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back
// (H. Hinnant's algorithms): no time zone, no C library, the same on every system.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

std::string timeStamp(std::time_t when) {
  const std::int64_t seconds = static_cast<std::int64_t>(when);
  std::int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civilFromDays(days, year, month, day);
  char text[48];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                static_cast<long long>(year), month, day, static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

// "YYYY-MM-DDTHH:MM:SSZ", every field in its range.
std::optional<std::time_t> parseStamp(std::string_view stamp) {
  if (stamp.size() != kStampLength) return std::nullopt;
  constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
    if (kShape[i] == 'd' ? !digit : stamp[i] != kShape[i]) return std::nullopt;
  }
  const auto number = [&](std::size_t at, std::size_t length) {
    unsigned value = 0;
    for (std::size_t i = at; i < at + length; ++i) value = value * 10 + unsigned(stamp[i] - '0');
    return value;
  };
  const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2);
  const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return std::nullopt;
  return static_cast<std::time_t>(daysFromCivil(year, month, day) * 86400 + hour * 3600 +
                                   minute * 60 + second);
}

}  // namespace

std::string logFileName(std::string_view base, std::string_view folder) {
  // Stable across builds and machines, so a folder keeps its log name.
  return fileNameSafe(base) + "-" + shortPathHash(folder) + ".log";
}

std::string markLine(std::time_t when, std::string_view note) {
  return std::string(kMarkStart) + timeStamp(when) + "] " + std::string(note) + "\n";
}

std::optional<Mark> parseMark(std::string_view line) {
  if (line.substr(0, kMarkStart.size()) != kMarkStart ||
      line.size() < kMarkStart.size() + kStampLength + 1 ||
      line[kMarkStart.size() + kStampLength] != ']')
    return std::nullopt;
  const auto when = parseStamp(line.substr(kMarkStart.size(), kStampLength));
  if (!when) return std::nullopt;
  const std::size_t noteStart = kMarkStart.size() + kStampLength + 2;
  return Mark{*when, std::string(line.substr(std::min(noteStart, line.size())))};
}

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::size_t lineEnd = end;
    if (end < text.size() && lineEnd > start && text[lineEnd - 1] == '\r') --lineEnd;
    lines.emplace_back(text.substr(start, lineEnd - start));
    start = end + 1;
  }
  return lines;
}

std::size_t keptStart(std::string_view tail) {
  // Keep whole lines: drop the partial first one unless it is all there is.
  std::size_t start = tail.find('\n');
  start = (start == std::string_view::npos || start + 1 == tail.size()) ? 1 : start + 1;
  return std::min(start, tail.size());
}

std::optional<LastRun> lastRunIn(std::string_view tail, std::time_t modified) {
  const std::vector<std::string> lines = splitLines(tail);
  for (std::size_t i = lines.size(); i-- > 0;) {
    if (auto mark = parseMark(lines[i])) {
      LastRun run;
      run.note = mark->note;
      run.launched = mark->when;
      run.lastOutput = modified;
      run.lines.assign(lines.begin() + static_cast<long>(i) + 1, lines.end());
      return run;
    }
  }
  return std::nullopt;
}

std::vector<std::string> lastLines(std::string_view text, long count) {
  std::vector<std::string> lines = splitLines(text);
  if (count >= 0 && lines.size() > static_cast<std::size_t>(count))
    lines.erase(lines.begin(), lines.end() - count);
  return lines;
}

}  // namespace tovanik::logtext
