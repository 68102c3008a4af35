#pragma once
// How a settings file's bytes hold its text. A file that starts with the UTF-16 byte-order
// mark (little- or big-endian, as Notepad saves "Unicode") is UTF-16: its text is handled
// as UTF-8 and written back as UTF-16 behind the same mark. Every other file is bytes, as
// they are (UTF-8, with or without its mark, or any 8-bit text).

#include <optional>
#include <string>
#include <string_view>

namespace tovanik {

enum class TextEncoding { Bytes, Utf16LE, Utf16BE };

struct DecodedText {
  TextEncoding encoding = TextEncoding::Bytes;
  std::string text;  // UTF-8 for a UTF-16 file, without its mark
};

// The file's text; nullopt, with the reason, when it is UTF-16 that does not decode (an
// odd number of bytes, a surrogate without its pair).
std::optional<DecodedText> decodeSettingsText(std::string_view bytes, std::string* whyNot);

// The bytes that hold `text` in `encoding`, the mark first; nullopt, with the reason, when
// `text` is not UTF-8 and the file is UTF-16.
std::optional<std::string> encodeSettingsText(TextEncoding encoding, std::string_view text,
                                              std::string* whyNot);

}  // namespace tovanik
