#include "platform/profile/profile_text.h"

namespace tarvik::profile::detail {

namespace {
constexpr std::size_t kMarkBytes = 2;
}

TextEncoding detect_encoding(std::string_view bytes) {
  if (bytes.size() >= kMarkBytes && bytes[0] == '\xFF' && bytes[1] == '\xFE') return TextEncoding::utf16le;
  if (bytes.size() >= kMarkBytes && bytes[0] == '\xFE' && bytes[1] == '\xFF') return TextEncoding::utf16be;
  return TextEncoding::ansi;
}

Utf16Text decode_utf16(std::string_view bytes, TextEncoding encoding) {
  bytes.remove_prefix(kMarkBytes);
  const bool little = encoding == TextEncoding::utf16le;
  Utf16Text out;
  out.text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
    out.text += static_cast<char16_t>(little ? (first | second << 8) : (first << 8 | second));
  }
  // The one odd byte, assigned as a character: from a string_view, GCC 12 warns (-Wrestrict) here.
  if (bytes.size() % 2 != 0) out.odd_tail.assign(1, bytes.back());
  return out;
}

std::string encode_utf16(const Utf16Text& text, TextEncoding encoding) {
  const bool little = encoding == TextEncoding::utf16le;
  std::string out(little ? "\xFF\xFE" : "\xFE\xFF");
  out.reserve(kMarkBytes + text.text.size() * 2 + text.odd_tail.size());
  for (char16_t unit : text.text) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    out += little ? low : high;
    out += little ? high : low;
  }
  out += text.odd_tail;
  return out;
}

}  // namespace tarvik::profile::detail
