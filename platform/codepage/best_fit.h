// Best fit for the code pages converted through iconv (936, 949, 950; the others have Windows' own
// best-fit tables): a similar character of a code page for one it lacks, from iconv's transliteration
// in the C.UTF-8 locale (letters lose their diacritics: "ā" -> "a", "Ł" -> "L"; full-width forms become ASCII).
// Internal to platform/codepage; callable from any thread.
#pragma once

#include <string>

namespace tarvik::codepage::detail {

// The bytes iconv's transliteration offers for `c` in the code page whose iconv converter is
// `iconv_name`; empty when it offers nothing. Transliteration may offer several characters ("DŽ" for
// "Ǆ") or '?', which are no best fit: callers accept the offer only when it is one character of the
// code page other than '?'.
std::string transliterate(const char* iconv_name, char32_t c);

}  // namespace tarvik::codepage::detail
