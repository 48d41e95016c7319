// The edge between the core's text (UTF-8) and the 8-bit text of the files it writes and reads (the
// thread's ANSI code page, platform/codepage). Characters the code page lacks are written as the
// code page's best fit or '?', as the system's conversion does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik::testprogram {

std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);
// The character whose code in the ANSI code page is `code` ("A" for 65), as UTF-8.
std::string AnsiCharToUtf8(std::uint8_t code);

// UTF-8 <-> UTF-16 for the widgets' text (invalid UTF-8 becomes U+FFFD).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace tarvik::testprogram
