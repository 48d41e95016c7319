#include "platform/codepage/code_points.h"

namespace tarvik::codepage::detail {

namespace {
bool is_high_surrogate(char32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool is_low_surrogate(char32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}
}  // namespace

char32_t next_code_point(std::u16string_view text, std::size_t& pos) {
  const char32_t unit = text[pos++];
  if (is_low_surrogate(unit)) return kInvalidCodePoint;
  if (!is_high_surrogate(unit)) return unit;
  if (pos == text.size() || !is_low_surrogate(text[pos])) return kInvalidCodePoint;
  const char32_t low = text[pos++];
  return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

char32_t next_code_point(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  // Number of continuation bytes and the range the first of them must fall in; the narrower first
  // ranges exclude overlong forms, encoded surrogates and values above U+10FFFF.
  int count = 0;
  unsigned char low = 0x80, high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 1, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 2, value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 3, value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return kInvalidCodePoint;
  }
  for (int i = 0; i < count; ++i) {
    if (pos == text.size()) return kInvalidCodePoint;
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < low || byte > high) return kInvalidCodePoint;
    value = (value << 6) | (byte & 0x3F);
    ++pos;
    low = 0x80, high = 0xBF;
  }
  return value;
}

void append_utf8(std::string& out, char32_t c) {
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

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

}  // namespace tarvik::codepage::detail
