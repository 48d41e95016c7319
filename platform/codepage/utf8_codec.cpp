#include "platform/codepage/utf8_codec.h"

#include "platform/codepage/code_points.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/windows_casing.h"

namespace tarvik::codepage {

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = detail::next_code_point(text, pos);
    detail::append_utf8(out, c == detail::kInvalidCodePoint ? detail::kReplacementChar : c);
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = detail::next_code_point(text, pos);
    detail::append_utf16(out, c == detail::kInvalidCodePoint ? detail::kReplacementChar : c);
  }
  return out;
}

namespace detail {

std::string utf8_to_ansi(std::u16string_view text) {
  return utf16_to_utf8(text);
}

std::string utf8_upper(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t start = pos;
    const char32_t c = next_code_point(bytes, pos);
    const std::string_view original = bytes.substr(start, pos - start);
    if (c == kInvalidCodePoint) {
      out += original;
      continue;
    }
    std::string upper;
    append_utf8(upper, c <= 0xFFFF ? windows_upper(static_cast<char16_t>(c)) : c);
    out += upper.size() == original.size() ? std::string_view(upper) : original;
  }
  return out;
}

}  // namespace detail
}  // namespace tarvik::codepage
