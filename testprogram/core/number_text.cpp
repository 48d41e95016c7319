#include "testprogram/core/number_text.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace tarvik::testprogram {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// strtod in the "C" locale, whatever locale the program runs in. `text` holds only sign, digits, '.'
// and an exponent, in the form the callers checked.
double parse_c_number(const std::string& text) {
  static locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  return strtod_l(text.c_str(), nullptr, c_locale);
}

// Reads a number from `chars` (no blanks to skip) into `out` as sign, digits, '.', digits, exponent.
// Returns how many characters belong to the number, 0 if there are no digits at all.
std::size_t scan_number(std::string_view chars, std::string& out) {
  std::size_t i = 0;
  out.clear();
  if (i < chars.size() && (chars[i] == '+' || chars[i] == '-')) out.push_back(chars[i++]);
  std::size_t digits = 0;
  while (i < chars.size() && is_digit(chars[i])) out.push_back(chars[i++]), ++digits;
  if (i < chars.size() && chars[i] == '.') {
    out.push_back(chars[i++]);
    while (i < chars.size() && is_digit(chars[i])) out.push_back(chars[i++]), ++digits;
  }
  if (digits == 0) {
    out.clear();
    return 0;
  }
  if (i < chars.size() && (chars[i] == 'E' || chars[i] == 'e')) {
    std::size_t j = i + 1;
    if (j < chars.size() && (chars[j] == '+' || chars[j] == '-')) ++j;
    if (j < chars.size() && is_digit(chars[j])) {
      out.append(chars.substr(i, j - i));
      i = j;
      while (i < chars.size() && is_digit(chars[i])) out.push_back(chars[i++]);
    }
  }
  return i;
}

}  // namespace

double value_of_text(std::string_view text) {
  // Blanks, tabs and line feeds do not count anywhere, so drop them first.
  std::string squeezed;
  squeezed.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') squeezed.push_back(c);
  }
  std::string number;
  if (scan_number(squeezed, number) == 0) return 0.0;
  return parse_c_number(number);
}

std::optional<double> whole_text_number(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  std::string number;
  std::size_t used = scan_number(text, number);
  if (used == 0 || used != text.size()) return std::nullopt;
  return parse_c_number(number);
}

double round_half_even(double value) {
  if (!std::isfinite(value)) return value;
  double below = std::floor(value);
  double diff = value - below;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(below, 2.0) != 0.0)) below += 1.0;
  return below == 0.0 ? 0.0 : below;  // no negative zero
}

std::optional<std::int32_t> round_to_int32(double value) {
  double r = round_half_even(value);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;  // also refuses NaN
  return static_cast<std::int32_t>(r);
}

std::optional<std::int16_t> round_to_int16(double value) {
  double r = round_half_even(value);
  if (!(r >= -32768.0 && r <= 32767.0)) return std::nullopt;
  return static_cast<std::int16_t>(r);
}

std::optional<std::int32_t> number_field_value(std::string_view text) {
  return round_to_int32(value_of_text(text));
}

std::optional<std::int32_t> whole_text_to_int32(std::string_view text) {
  std::optional<double> n = whole_text_number(text);
  if (!n) return std::nullopt;
  return round_to_int32(*n);
}

std::optional<std::int32_t> choice_code(std::string_view text) {
  if (std::optional<double> whole = whole_text_number(text)) return round_to_int32(*whole);
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return whole_text_to_int32(text.substr(0, colon));
}

bool key_filter_accepts(char32_t typed) {
  return (typed >= U'0' && typed <= U'9') || typed == U'-' || typed == 8;
}

std::string format_number(double value) {
  if (value == 0.0) return "0";
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

}  // namespace tarvik::testprogram
