// The edge between the core's text (UTF-8) and the 8-bit text of the files it writes and reads (the
// thread's ANSI code page, platform/codepage). Characters the code page lacks are written as the
// code page's best fit or '?', as the system's conversion does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik::testprogram {

std::string utf8_to_ansi(std::string_view utf8);
std::string ansi_to_utf8(std::string_view ansi);
// The character whose code in the ANSI code page is `code` ("A" for 65), as UTF-8.
std::string ansi_char_to_utf8(std::uint8_t code);

// UTF-8 <-> UTF-16 for the widgets' text (invalid UTF-8 becomes U+FFFD).
std::u16string utf8_to_utf16(std::string_view utf8);
std::string utf16_to_utf8(std::u16string_view utf16);

}  // namespace tarvik::testprogram
