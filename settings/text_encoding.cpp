#include "settings/text_encoding.h"

#include "platform/text_rules.h"
#include "platform/why_not.h"

namespace tovanik {
namespace {

constexpr std::string_view kMarkLE = "\xFF\xFE";
constexpr std::string_view kMarkBE = "\xFE\xFF";
constexpr char32_t kHighFirst = kHighSurrogateFirst, kLowFirst = 0xDC00, kLowLast = kLowSurrogateLast;

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
