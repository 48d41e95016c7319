// Date fields of the send forms: a date and time written the way the system's regional settings write
// them, converted to seconds since 1970-01-01 00:00:00. Both dates count as local time and are
// subtracted on the calendar: no time zone and no daylight-saving shift enters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::testprogram {

// A calendar date and time of day as a person reads it: month 1-12, day 1-31, hour 0-23.
struct LocalDateTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// How the regional settings write a date and a time.
struct DateTimeFormat {
  enum class Order { day_month_year, month_day_year, year_month_day };
  Order order = Order::day_month_year;
  char date_separator = '.';
  char time_separator = ':';
  bool twelve_hour = false;    // hours 1-12 followed by a blank and am_text / pm_text
  std::string am_text = "AM";  // UTF-8
  std::string pm_text = "PM";
};

// The format described by strftime-style patterns (the locale's D_FMT and T_FMT, "%d.%m.%Y" and
// "%H:%M:%S"; "%D", "%F", "%r", "%T", "%R" are understood). Parts it cannot make out keep the defaults.
DateTimeFormat date_time_format_from_patterns(std::string_view date_pattern, std::string_view time_pattern,
                                          std::string_view am_text, std::string_view pm_text);

// The format of the user's regional settings: LC_TIME of the environment (LC_ALL, LC_TIME, LANG).
DateTimeFormat system_date_time_format();

// The clock's present local date and time.
LocalDateTime current_local_date_time();

// The general date format: the short date with a four-digit year, a blank, the time with seconds
// ("05.12.2026 18:30:00", "12/05/2026 06:30:00 PM").
std::string format_general_date(const LocalDateTime& when, const DateTimeFormat& format);

// Reads a date written in `format`: day, month and year in the format's order, separated by the
// format's separator or by '.', '/' or '-', optionally followed by a time "h:mm" or "h:mm:ss" (with
// am/pm text in either format). Blanks around are ignored. Two-digit years 00-29 mean 2000-2029, 30-99
// mean 1930-1999. Nothing for text that is not such a date or names no real day or time.
std::optional<LocalDateTime> parse_date_time(std::string_view text, const DateTimeFormat& format);

// Seconds from 1970-01-01 00:00:00 to `when`, on the calendar (negative before 1970).
std::int64_t seconds_since_1970(const LocalDateTime& when);

// A date field's argument: 0 for a text that is empty after trimming blanks; the seconds since 1970 of
// the date; nothing (invalid) for text that is no date, a date before 1970-01-01 00:00:00 or one whose
// seconds exceed the signed 32-bit range.
std::optional<std::int32_t> date_field_seconds(std::string_view text, const DateTimeFormat& format);

}  // namespace tarvik::testprogram
