// Double-byte code pages without compiled-in tables (936, 949, 950): conversion through the calling
// thread's iconv converters, best fit from iconv's transliteration. A byte below 0x80 that starts a character is ASCII in all of them; bytes below 0x80 may
// also be the second byte of a character, so these are always walked character by character.
// Internal to platform/codepage; callable from any thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/codepage/codepage.h"

namespace tarvik::codepage::detail {

// Whether iconv can convert `iconv_name` in both directions.
bool iconv_double_byte_available(const char* iconv_name);

std::string iconv_double_byte_to_ansi(const char* iconv_name, std::u16string_view text, Unmappable mode);
// Bytes that do not form a character each become U+FFFD.
std::u16string iconv_double_byte_from_ansi(const char* iconv_name, std::string_view bytes);
// Upper-cases each character whose Windows upper case the code page holds with as many bytes; keeps
// every other byte as it is.
std::string iconv_double_byte_upper(const char* iconv_name, std::string_view bytes);

}  // namespace tarvik::codepage::detail
