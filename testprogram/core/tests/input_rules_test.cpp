#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "testprogram/core/number_text.h"

namespace tarvik::testprogram {
namespace {

struct NumberRow {
  const char* text;
  double value;                      // value-of-text, before rounding
  std::optional<std::int32_t> sent;  // the number field's argument; nothing = input error
};

TEST(NumberField, ValueOfTextRoundingAndRange) {
  const NumberRow rows[] = {
      {"", 0, 0},
      {"-", 0, 0},
      {"abc", 0, 0},
      {"7", 7, 7},
      {"  -12  ", -12, -12},
      {"1 2\t3\n4", 1234, 1234},  // blanks, tabs and line feeds count nowhere
      {"- 5", -5, -5},
      {"12abc", 12, 12},
      {"1.5", 1.5, 2},
      {"2.5", 2.5, 2},  // half to even
      {"-2.5", -2.5, -2},
      {".5", 0.5, 0},
      {"1.2.3", 1.2, 1},
      {"1,5", 1, 1},  // no locale: ',' ends the number
      {"1e3", 1000, 1000},
      {"1e", 1, 1},     // an exponent without digits is not read
      {"\r\n5", 0, 0},  // a carriage return is a character like any other
      {"2147483647", 2147483647.0, 2147483647},
      {"2147483648", 2147483648.0, std::nullopt},
      {"-2147483648", -2147483648.0, -2147483647 - 1},
      {"-2147483648.5", -2147483648.5, -2147483647 - 1},  // rounds to the even neighbour, in range
      {"2147483647.5", 2147483647.5, std::nullopt},       // rounds up, out of range
      {"1e400", HUGE_VAL, std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(value_of_text(row.text), row.value) << '"' << row.text << '"';
    EXPECT_EQ(number_field_value(row.text), row.sent) << '"' << row.text << '"';
  }
}

TEST(ChoiceField, CodeInFrontOfTheColon) {
  const std::pair<const char*, std::optional<std::int32_t>> rows[] = {
      {"7", 7},
      {"7: words", 7},
      {" 7 : words", 7},
      {"1:  NC program", 1},
      {"100: Set date and time on MMC/PLC", 100},
      {"128: Reset request identifier", 128},
      {"words", std::nullopt},  // letters without a colon
      {"", std::nullopt},
      {": words", std::nullopt},
      {"x7: words", std::nullopt},
      {"99999999999: too big", std::nullopt},
  };
  for (const auto& [text, code] : rows) EXPECT_EQ(choice_code(text), code) << '"' << text << '"';
}

TEST(whole_text_number, WholeTextOrNothing) {
  // VarMode and settings values: the whole text must be the number.
  const std::pair<const char*, std::optional<std::int32_t>> rows[] = {
      {"0", 0},
      {" 3010 ", 3010},
      {"3010.5", 3010},
      {"1e3", 1000},
      {"", std::nullopt},
      {"10k", std::nullopt},
      {"abc", std::nullopt},
      {"1 0", std::nullopt},
      {"-", std::nullopt},
      {"1e", std::nullopt},
  };
  for (const auto& [text, value] : rows) EXPECT_EQ(whole_text_to_int32(text), value) << '"' << text << '"';
  EXPECT_EQ(round_to_int16(32767.4), 32767);
  EXPECT_EQ(round_to_int16(32767.5), std::nullopt);
}

TEST(KeyFilter, DigitsMinusAndBackspaceOnly) {
  for (char32_t c : {U'0', U'5', U'9', U'-', char32_t{8}}) EXPECT_TRUE(key_filter_accepts(c)) << int(c);
  for (char32_t c : {U'+', U'.', U',', U'e', U' ', U'a', U'\r', U'\x0663' /* Arabic-Indic three */})
    EXPECT_FALSE(key_filter_accepts(c)) << int(c);
}

TEST(format_number, DecimalWithoutNoise) {
  EXPECT_EQ(format_number(-2.5), "-2.5");
  EXPECT_EQ(format_number(-0.0), "0");
  EXPECT_EQ(format_number(2147483648.0), "2147483648");
  EXPECT_EQ(format_number(1e20), "1E+20");
}

}  // namespace
}  // namespace tarvik::testprogram
