#include "platform/com/utf8.h"

#include "platform/codepage/codepage.h"

namespace tarvik::com {

// The code-page layer already converts UTF-8 with the same rules (U+FFFD for anything invalid).
std::string to_utf8(std::u16string_view text) { return codepage::utf16_to_utf8(text); }

std::u16string from_utf8(std::string_view text) { return codepage::utf8_to_utf16(text); }

}  // namespace tarvik::com
