// The public conversions: each picks the codec of the code page's kind.
#include "platform/codepage/code_points.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/codepage_table.h"
#include "platform/codepage/iconv_double_byte_codec.h"
#include "platform/codepage/single_byte_codec.h"
#include "platform/codepage/utf8_codec.h"

namespace tarvik::codepage {

namespace {

// For a code page this system cannot convert, only ASCII is taken to be known.
std::string ascii_to_ansi(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) out += unit < 0x80 ? static_cast<char>(unit) : '?';
  return out;
}

std::u16string ascii_from_ansi(std::string_view bytes) {
  std::u16string out;
  for (char byte : bytes) out += static_cast<unsigned char>(byte) < 0x80 ? char16_t(byte) : u'\uFFFD';
  return out;
}

std::string ascii_upper(std::string_view bytes) {
  std::string out(bytes);
  for (char& byte : out)
    if (byte >= 'a' && byte <= 'z') byte = static_cast<char>(byte - ('a' - 'A'));
  return out;
}

}  // namespace

std::string to_ansi(std::u16string_view text, Unmappable mode, CodePage cp) {
  const detail::CodePageData* data = detail::codepage_data(cp);
  if (data == nullptr) return ascii_to_ansi(text);
  switch (data->entry->encoding) {
    case detail::Encoding::single_byte:
      return detail::single_byte_to_ansi(*data->single_byte, text, mode);
    case detail::Encoding::double_byte:
      return detail::double_byte_to_ansi(*data->double_byte, text, mode);
    case detail::Encoding::iconv_double_byte:
      return detail::iconv_double_byte_to_ansi(data->entry->iconv_name, text, mode);
    case detail::Encoding::utf8:
      return detail::utf8_to_ansi(text);
  }
  return {};
}

std::u16string from_ansi(std::string_view bytes, CodePage cp) {
  const detail::CodePageData* data = detail::codepage_data(cp);
  if (data == nullptr) return ascii_from_ansi(bytes);
  switch (data->entry->encoding) {
    case detail::Encoding::single_byte:
      return detail::single_byte_from_ansi(*data->single_byte, bytes);
    case detail::Encoding::double_byte:
      return detail::double_byte_from_ansi(*data->double_byte, bytes);
    case detail::Encoding::iconv_double_byte:
      return detail::iconv_double_byte_from_ansi(data->entry->iconv_name, bytes);
    case detail::Encoding::utf8:
      return utf8_to_utf16(bytes);
  }
  return {};
}

std::string ansi_upper(std::string_view bytes, CodePage cp) {
  const detail::CodePageData* data = detail::codepage_data(cp);
  if (data == nullptr) return ascii_upper(bytes);
  switch (data->entry->encoding) {
    case detail::Encoding::single_byte:
      return detail::single_byte_upper(*data->single_byte, bytes);
    case detail::Encoding::double_byte:
      return detail::double_byte_upper(*data->double_byte, bytes);
    case detail::Encoding::iconv_double_byte:
      return detail::iconv_double_byte_upper(data->entry->iconv_name, bytes);
    case detail::Encoding::utf8:
      return detail::utf8_upper(bytes);
  }
  return {};
}

}  // namespace tarvik::codepage
