// Code page 65001 (UTF-8) as an ANSI code page. Internal to platform/codepage; pure functions.
#pragma once

#include <string>
#include <string_view>

namespace tarvik::codepage::detail {

// Unpaired surrogates become U+FFFD, as Windows converts them to UTF-8 (it has no default character
// there), with or without best fit.
std::string utf8_to_ansi(std::u16string_view text);
// Upper-cases each character whose Windows upper case has as many bytes; keeps ill-formed bytes.
std::string utf8_upper(std::string_view bytes);

}  // namespace tarvik::codepage::detail
