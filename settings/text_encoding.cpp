#include "settings/text_encoding.h"

#include "platform/why_not.h"

namespace tovanik {
namespace {

constexpr std::string_view kMarkLE = "\xFF\xFE";
constexpr std::string_view kMarkBE = "\xFE\xFF";
constexpr char32_t kHighFirst = 0xD800, kLowFirst = 0xDC00, kLowLast = 0xDFFF;
constexpr char32_t kLastCodePoint = 0x10FFFF;

unsigned unitAt(std::string_view bytes, std::size_t at, bool bigEndian) {
  const auto first = static_cast<unsigned char>(bytes[at]);
  const auto second = static_cast<unsigned char>(bytes[at + 1]);
  return bigEndian ? (first << 8 | second) : (second << 8 | first);
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendUnit(std::string& out, unsigned unit, bool bigEndian) {
  const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
  out += bigEndian ? high : low;
  out += bigEndian ? low : high;
}

// The code point starting at `at`, moving `at` past it; nullopt for anything but
// shortest-form UTF-8 of a code point that is no surrogate.
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead < 0x80         ? 1
                       : lead >> 5 == 0x6  ? 2
                       : lead >> 4 == 0xE  ? 3
                       : lead >> 3 == 0x1E ? 4
                                           : 0;
  if (length == 0 || at + length > text.size()) return std::nullopt;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = c << 6 | (next & 0x3F);
  }
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kLeast[length] || c > kLastCodePoint || (c >= kHighFirst && c <= kLowLast))
    return std::nullopt;
  at += length;
  return c;
}

}  // namespace

std::optional<DecodedText> decodeSettingsText(std::string_view bytes, std::string* whyNot) {
  const bool little = bytes.starts_with(kMarkLE), big = bytes.starts_with(kMarkBE);
  if (!little && !big) return DecodedText{TextEncoding::Bytes, std::string(bytes)};
  DecodedText decoded{big ? TextEncoding::Utf16BE : TextEncoding::Utf16LE, {}};
  if (bytes.size() % 2 != 0) {
    failed(whyNot,
           "not valid UTF-16 text (it starts with the UTF-16 byte-order mark, but its "
           "length is an odd number of bytes)");
    return std::nullopt;
  }
  decoded.text.reserve(bytes.size());
  for (std::size_t at = 2; at < bytes.size(); at += 2) {
    char32_t c = unitAt(bytes, at, big);
    if (c >= kHighFirst && c <= kLowLast) {
      const bool paired = c < kLowFirst && at + 2 < bytes.size() &&
                          unitAt(bytes, at + 2, big) >= kLowFirst &&
                          unitAt(bytes, at + 2, big) <= kLowLast;
      if (!paired) {
        failed(whyNot, "not valid UTF-16 text (a surrogate without its pair at byte " +
                           std::to_string(at) + ")");
        return std::nullopt;
      }
      c = 0x10000 + ((c - kHighFirst) << 10) + (unitAt(bytes, at + 2, big) - kLowFirst);
      at += 2;
    }
    appendUtf8(decoded.text, c);
  }
  return decoded;
}

std::optional<std::string> encodeSettingsText(TextEncoding encoding, std::string_view text,
                                              std::string* whyNot) {
  if (encoding == TextEncoding::Bytes) return std::string(text);
  const bool big = encoding == TextEncoding::Utf16BE;
  std::string bytes(big ? kMarkBE : kMarkLE);
  bytes.reserve(2 + text.size() * 2);
  for (std::size_t at = 0; at < text.size();) {
    const auto c = nextUtf8(text, at);
    if (!c) {
      failed(whyNot, "the new text is not UTF-8, which a UTF-16 file cannot hold");
      return std::nullopt;
    }
    if (*c < 0x10000) {
      appendUnit(bytes, static_cast<unsigned>(*c), big);
    } else {
      const char32_t above = *c - 0x10000;
      appendUnit(bytes, static_cast<unsigned>(kHighFirst + (above >> 10)), big);
      appendUnit(bytes, static_cast<unsigned>(kLowFirst + (above & 0x3FF)), big);
    }
  }
  return bytes;
}

}  // namespace tovanik
