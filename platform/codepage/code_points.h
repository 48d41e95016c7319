// Walking UTF-8 and UTF-16 text one code point at a time, and appending code points to either.
// Internal to platform/codepage. Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvik::codepage::detail {

// Returned for an unpaired surrogate or an ill-formed UTF-8 sequence.
inline constexpr char32_t kInvalidCodePoint = 0xFFFFFFFF;
inline constexpr char32_t kReplacementChar = 0xFFFD;

// The code point of UTF-16 `text` at `pos`; advances `pos` past it (by one unit for an unpaired
// surrogate, which gives kInvalidCodePoint). `pos` must be < text.size().
char32_t next_code_point(std::u16string_view text, std::size_t& pos);

// The code point of UTF-8 `text` at `pos`; advances `pos` past it. An ill-formed sequence gives
// kInvalidCodePoint and advances past its longest well-formed prefix (at least one byte), so that each
// maximal ill-formed subpart counts once, as the Unicode standard recommends for U+FFFD substitution.
char32_t next_code_point(std::string_view text, std::size_t& pos);

// `c` must be a scalar value (no surrogate, at most U+10FFFF).
void append_utf8(std::string& out, char32_t c);
void append_utf16(std::u16string& out, char32_t c);

}  // namespace tarvik::codepage::detail
