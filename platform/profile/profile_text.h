// The text encodings a profile file may have: 8-bit text in the ANSI code page (no byte order mark), or
// UTF-16 after a byte order mark (FF FE little-endian, FE FF big-endian), as the Windows
// private-profile functions read and keep them. Internal to platform/profile; pure functions.
#pragma once

#include <string>
#include <string_view>

namespace tarvik::profile::detail {

enum class TextEncoding { ansi, utf16le, utf16be };

// Which encoding the file content `bytes` has, by its byte order mark.
TextEncoding detect_encoding(std::string_view bytes);

// UTF-16 file content without its byte order mark. An odd last byte (a damaged file) is no UTF-16 unit;
// it is kept apart so that writing the file back loses nothing.
struct Utf16Text {
  std::u16string text;
  std::string odd_tail;
};

// `bytes` is the whole file content, byte order mark included; `encoding` is one of the UTF-16 ones.
Utf16Text decode_utf16(std::string_view bytes, TextEncoding encoding);
// The whole file content: byte order mark, the text, the odd tail.
std::string encode_utf16(const Utf16Text& text, TextEncoding encoding);

}  // namespace tarvik::profile::detail
