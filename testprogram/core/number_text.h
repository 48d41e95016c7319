// Numbers typed into the test program's fields and read from its settings: the conversions the forms
// and the settings loader apply, as pure functions. Independent of the locale: the decimal separator is
// always '.', digits are ASCII.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::testprogram {

// The value-of-text rule of number fields: the number the text begins with. Blanks, tabs and line
// feeds are skipped wherever they stand; then an optional sign, digits, an optional '.' with digits and
// an optional exponent ('E' or 'e', optional sign, digits) are read up to the first character that does
// not fit. A text that does not begin with a number gives 0. Huge exponents give +-infinity.
double value_of_text(std::string_view text);

// The whole text as one number, blanks and tabs at either end allowed: "12", " -3.5 ", "1e3", "5.".
// Nothing for the empty text, for text after the number ("10k") and for anything else.
std::optional<double> whole_text_number(std::string_view text);

// Rounds to the nearest whole number, a half to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double round_half_even(double value);

// The value rounded half to even, if it lies within the signed 32-bit (16-bit) range.
std::optional<std::int32_t> round_to_int32(double value);
std::optional<std::int16_t> round_to_int16(double value);

// A number field's argument: the value-of-text rule, rounded; nothing (an input error) outside the
// signed 32-bit range. "" and "-" give 0.
std::optional<std::int32_t> number_field_value(std::string_view text);

// A choice field's code: the whole text if it is a number ("7"), else the number in front of the first
// ':' ("7: words"), rounded; nothing (an input error) for words without a colon, for a part in front of
// the colon that is no number, and outside the signed 32-bit range.
std::optional<std::int32_t> choice_code(std::string_view text);

// The whole text converted to a signed 32-bit integer, rounded; nothing for the empty text, for text
// that is no number and outside the range. Used for VarMode and for settings values.
std::optional<std::int32_t> whole_text_to_int32(std::string_view text);

// Whether the key filter of the marked number fields lets a typed character through: the digits,
// '-' and Backspace (code 8). Every other character is dropped with a beep by the form.
bool key_filter_accepts(char32_t typed);

// A number as the call record and the log write it: decimal, up to 15 significant digits, no
// trailing zeros, "-0" written "0", very large or small magnitudes with an exponent ("1E+20").
std::string format_number(double value);

}  // namespace tarvik::testprogram
