#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "testprogram/core/date_text.h"

namespace tarvik::testprogram {
namespace {

DateTimeFormat german() {
  return date_time_format_from_patterns("%d.%m.%Y", "%H:%M:%S", "", "");
}
DateTimeFormat american() {
  return date_time_format_from_patterns("%m/%d/%Y", "%r", "AM", "PM");
}

struct DateRow {
  const char* text;
  std::optional<std::int32_t> seconds;  // nothing = invalid
};

TEST(DateField, GermanRegionalFormat) {
  const DateRow rows[] = {
      {"", 0},
      {"01.01.1970 00:00:00", 0},
      {"31.12.1969 23:59:59", std::nullopt},  // before 1970
      {"05.12.2026 18:30:00", 1796495400},
      {" 5.12.2026 18:30 ", 1796495400},
      {"05.12.2026", 1796428800},
      {"5/12/2026 18:30:00", 1796495400},  // other separators are read too
      {"29.02.2024", 1709164800},
      {"29.02.2023", std::nullopt},
      {"29.02.2000", 951782400},  // divisible by 400: a leap year after all
      {"19.01.2038 03:14:07", 2147483647},
      {"19.01.2038 03:14:08", std::nullopt},  // beyond 32 bits
      {"01.01.70", 0},                        // two-digit years 30-99 are 19xx
      {"05.12.26 18:30:00", 1796495400},      // 00-29 are 20xx
      {"24.12.2026 24:00:00", std::nullopt},
      {"18:30", std::nullopt},  // a time alone is no date after 1970
      {"05.12.2026 18:30:00 x", std::nullopt},
      {"2026-12-05", std::nullopt},  // year first is not the German order
  };
  for (const auto& row : rows) EXPECT_EQ(date_field_seconds(row.text, german()), row.seconds) << row.text;
}

TEST(DateField, TwelveHourRegionalFormat) {
  const DateRow rows[] = {
      {"12/05/2026 06:30:00 PM", 1796495400},   {"12/05/2026 12:00:00 AM", 1796428800},
      {"12/05/2026 18:30:00", 1796495400},                                   // 24-hour text is still read
      {"12/05/2026 13:30:00 PM", std::nullopt}, {"05/12/2026", 1778544000},  // month first: 12 May 2026
  };
  for (const auto& row : rows) EXPECT_EQ(date_field_seconds(row.text, american()), row.seconds) << row.text;
}

TEST(DateField, GeneralDateReadsBack) {
  const LocalDateTime when{2026, 12, 5, 18, 30, 0};
  const DateTimeFormat iso = date_time_format_from_patterns("%F", "%T", "", "");
  EXPECT_EQ(format_general_date(when, german()), "05.12.2026 18:30:00");
  EXPECT_EQ(format_general_date(when, american()), "12/05/2026 06:30:00 PM");
  EXPECT_EQ(format_general_date(when, iso), "2026-12-05 18:30:00");
  EXPECT_EQ(format_general_date({2026, 1, 2, 0, 5, 9}, american()), "01/02/2026 12:05:09 AM");
  for (const DateTimeFormat& format : {german(), american(), iso}) {
    EXPECT_EQ(parse_date_time(format_general_date(when, format), format), when);
    EXPECT_EQ(date_field_seconds(format_general_date(when, format), format), 1796495400);
  }
}

TEST(DateField, FormatFromLocalePatterns) {
  using Order = DateTimeFormat::Order;
  const DateTimeFormat us_short = date_time_format_from_patterns("%D", "%H:%M:%S", "AM", "PM");
  EXPECT_EQ(std::make_pair(us_short.order, us_short.date_separator),
            std::make_pair(Order::month_day_year, '/'));
  EXPECT_FALSE(us_short.twelve_hour);
  const DateTimeFormat iso = date_time_format_from_patterns("%Y-%m-%d", "%T", "", "");
  EXPECT_EQ(std::make_pair(iso.order, iso.date_separator), std::make_pair(Order::year_month_day, '-'));
  // A 12-hour pattern without am/pm texts cannot be read back, so it counts as 24-hour.
  EXPECT_FALSE(date_time_format_from_patterns("%d/%m/%Y", "%I:%M:%S %p", "", "").twelve_hour);
}

}  // namespace
}  // namespace tarvik::testprogram
