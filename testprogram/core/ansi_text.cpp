#include "testprogram/core/ansi_text.h"

#include "platform/codepage/codepage.h"

namespace tarvik::testprogram {

std::string utf8_to_ansi(std::string_view utf8) {
  return codepage::to_ansi(codepage::utf8_to_utf16(utf8));
}

std::string ansi_to_utf8(std::string_view ansi) {
  return codepage::utf16_to_utf8(codepage::from_ansi(ansi));
}

std::string ansi_char_to_utf8(std::uint8_t code) {
  const char byte = static_cast<char>(code);
  return ansi_to_utf8(std::string_view(&byte, 1));
}

std::u16string utf8_to_utf16(std::string_view utf8) {
  return codepage::utf8_to_utf16(utf8);
}

std::string utf16_to_utf8(std::u16string_view utf16) {
  return codepage::utf16_to_utf8(utf16);
}

}  // namespace tarvik::testprogram
