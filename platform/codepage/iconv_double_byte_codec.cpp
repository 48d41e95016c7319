#include "platform/codepage/iconv_double_byte_codec.h"

#include "platform/codepage/best_fit.h"
#include "platform/codepage/code_points.h"
#include "platform/codepage/iconv_cache.h"
#include "platform/codepage/windows_casing.h"

namespace tarvik::codepage::detail {

namespace {

constexpr std::size_t kMaxCharBytes = 2;

std::string utf32_bytes(char32_t c) {
  return {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
          static_cast<char>((c >> 16) & 0xFF), static_cast<char>(c >> 24)};
}

// The one character `bytes` stand for, or kInvalidCodePoint (invalid, incomplete or more than one).
char32_t decode_one(const char* iconv_name, std::string_view bytes) {
  const iconv_t cd = thread_converter("UTF-32LE", iconv_name);
  std::string out;
  if (cd == nullptr || !convert_append(cd, bytes, out) || out.size() != 4) return kInvalidCodePoint;
  char32_t c = 0;
  for (int i = 3; i >= 0; --i) c = (c << 8) | static_cast<unsigned char>(out[i]);
  return c;
}

// The code page's bytes for `c`: exact ones only, or also the one-way mappings iconv makes (which
// are best fits, like 932's yen sign -> backslash). Empty when there are none.
std::string encode_one(const char* iconv_name, char32_t c, bool exact) {
  const iconv_t cd = thread_converter(iconv_name, "UTF-32LE");
  const std::string utf32 = utf32_bytes(c);
  std::string_view in(utf32);
  std::string out;
  if (cd == nullptr || !convert_append(cd, in, out) || out.empty()) return {};
  if (exact && decode_one(iconv_name, out) != c) return {};
  return out;
}

}  // namespace

bool iconv_double_byte_available(const char* iconv_name) {
  return thread_converter("UTF-16LE", iconv_name) != nullptr &&
         thread_converter(iconv_name, "UTF-32LE") != nullptr;
}

std::string iconv_double_byte_to_ansi(const char* iconv_name, std::u16string_view text, Unmappable mode) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = next_code_point(text, pos);
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (c == kInvalidCodePoint) {
      out += '?';
      continue;
    }
    std::string bytes = encode_one(iconv_name, c, mode == Unmappable::default_char);
    if (bytes.empty() && mode == Unmappable::best_fit && c <= 0xFFFF) {
      bytes = transliterate(iconv_name, c);
      const char32_t offered = decode_one(iconv_name, bytes);
      if (offered == kInvalidCodePoint || offered == U'?') bytes.clear();
    }
    out += bytes.empty() ? std::string("?") : bytes;
  }
  return out;
}

std::u16string iconv_double_byte_from_ansi(const char* iconv_name, std::string_view bytes) {
  const iconv_t cd = thread_converter("UTF-16LE", iconv_name);
  std::string utf16;
  utf16.reserve(bytes.size() * 2);
  while (cd != nullptr && !convert_append(cd, bytes, utf16) && !bytes.empty()) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    utf16 += "\xFD\xFF";  // U+FFFD for the refused byte
    bytes.remove_prefix(1);
  }
  std::u16string out;
  out.reserve(utf16.size() / 2);
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2)
    out += static_cast<char16_t>(static_cast<unsigned char>(utf16[i]) |
                                 static_cast<unsigned char>(utf16[i + 1]) << 8);
  return out;
}

std::string iconv_double_byte_upper(const char* iconv_name, std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const auto first = static_cast<unsigned char>(bytes[pos]);
    if (first < 0x80) {
      out += static_cast<char>(windows_upper(first));
      ++pos;
      continue;
    }
    // The shortest run of bytes that forms one character; a byte that starts none is kept as it is.
    std::size_t length = 1;
    char32_t c = kInvalidCodePoint;
    for (; length <= kMaxCharBytes && pos + length <= bytes.size(); ++length) {
      c = decode_one(iconv_name, bytes.substr(pos, length));
      if (c != kInvalidCodePoint) break;
    }
    if (c == kInvalidCodePoint) {
      out += bytes[pos++];
      continue;
    }
    const std::string original(bytes.substr(pos, length));
    const char32_t upper = c <= 0xFFFF ? windows_upper(static_cast<char16_t>(c)) : c;
    const std::string upper_bytes = upper == c ? std::string() : encode_one(iconv_name, upper, true);
    out += upper_bytes.size() == length ? upper_bytes : original;
    pos += length;
  }
  return out;
}

}  // namespace tarvik::codepage::detail
