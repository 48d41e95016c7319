#include "testprogram/core/date_text.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <ctime>
#include <limits>

namespace tarvik::testprogram {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

bool is_leap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && is_leap(y)) ? 29 : days[m - 1];
}

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Reads up to `max_digits` digits; false if there are none.
bool read_number(std::string_view& s, int& value, int& digits, int max_digits = 4) {
  value = 0;
  digits = 0;
  while (!s.empty() && is_digit(s.front()) && digits < max_digits) {
    value = value * 10 + (s.front() - '0');
    s.remove_prefix(1);
    ++digits;
  }
  return digits > 0 && (s.empty() || !is_digit(s.front()));
}

bool read_date_separator(std::string_view& s, char own) {
  if (s.empty()) return false;
  char c = s.front();
  if (c == own || c == '.' || c == '/' || c == '-') {
    s.remove_prefix(1);
    return true;
  }
  return false;
}

bool starts_with_ignoring_case(std::string_view s, std::string_view prefix) {
  if (prefix.empty() || s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

std::string two_digits(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

}  // namespace

DateTimeFormat date_time_format_from_patterns(std::string_view date_pattern, std::string_view time_pattern,
                                          std::string_view am_text, std::string_view pm_text) {
  DateTimeFormat format;
  std::string date(date_pattern);
  if (date == "%D") date = "%m/%d/%y";
  if (date == "%F") date = "%Y-%m-%d";
  std::string fields;  // 'd', 'm', 'y' in pattern order
  bool separator_found = false;
  for (std::size_t i = 0; i < date.size(); ++i) {
    if (date[i] == '%' && i + 1 < date.size()) {
      char f = date[++i];
      if (f == 'E' || f == 'O' || f == '-') {  // modifiers: the conversion letter follows
        if (i + 1 >= date.size()) break;
        f = date[++i];
      }
      if (f == 'd' || f == 'e') fields += 'd';
      if (f == 'm') fields += 'm';
      if (f == 'Y' || f == 'y') fields += 'y';
    } else if (!fields.empty() && !separator_found && !is_blank(date[i])) {
      format.date_separator = date[i];
      separator_found = true;
    }
  }
  if (fields == "mdy") format.order = DateTimeFormat::Order::month_day_year;
  if (fields == "ymd") format.order = DateTimeFormat::Order::year_month_day;
  if (fields == "dmy") format.order = DateTimeFormat::Order::day_month_year;

  std::string time(time_pattern);
  if (time == "%r") time = "%I:%M:%S %p";
  bool twelve = time.find("%I") != std::string::npos || time.find("%l") != std::string::npos;
  format.twelve_hour = twelve && !am_text.empty() && !pm_text.empty();
  if (format.twelve_hour) {
    format.am_text = std::string(am_text);
    format.pm_text = std::string(pm_text);
  }
  return format;
}

DateTimeFormat system_date_time_format() {
  locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  DateTimeFormat format = date_time_format_from_patterns(nl_langinfo_l(D_FMT, loc), nl_langinfo_l(T_FMT, loc),
                                                     nl_langinfo_l(AM_STR, loc), nl_langinfo_l(PM_STR, loc));
  freelocale(loc);
  return format;
}

LocalDateTime current_local_date_time() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string format_general_date(const LocalDateTime& when, const DateTimeFormat& format) {
  const std::string sep(1, format.date_separator);
  const std::string d = two_digits(when.day), m = two_digits(when.month), y = std::to_string(when.year);
  std::string out;
  switch (format.order) {
    case DateTimeFormat::Order::day_month_year:
      out = d + sep + m + sep + y;
      break;
    case DateTimeFormat::Order::month_day_year:
      out = m + sep + d + sep + y;
      break;
    case DateTimeFormat::Order::year_month_day:
      out = y + sep + m + sep + d;
      break;
  }
  int hour = when.hour;
  if (format.twelve_hour) hour = (hour % 12 == 0) ? 12 : hour % 12;
  const std::string ts(1, format.time_separator);
  out += " " + two_digits(hour) + ts + two_digits(when.minute) + ts + two_digits(when.second);
  if (format.twelve_hour) out += " " + (when.hour < 12 ? format.am_text : format.pm_text);
  return out;
}

std::optional<LocalDateTime> parse_date_time(std::string_view text, const DateTimeFormat& format) {
  std::string_view s = trim(text);
  int parts[3];
  int digits[3];
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && !read_date_separator(s, format.date_separator)) return std::nullopt;
    if (!read_number(s, parts[i], digits[i])) return std::nullopt;
  }
  LocalDateTime when;
  int year_digits = 0;
  switch (format.order) {
    case DateTimeFormat::Order::day_month_year:
      when.day = parts[0], when.month = parts[1], when.year = parts[2], year_digits = digits[2];
      break;
    case DateTimeFormat::Order::month_day_year:
      when.month = parts[0], when.day = parts[1], when.year = parts[2], year_digits = digits[2];
      break;
    case DateTimeFormat::Order::year_month_day:
      when.year = parts[0], when.month = parts[1], when.day = parts[2], year_digits = digits[0];
      break;
  }
  if (year_digits <= 2) when.year += (when.year < 30) ? 2000 : 1900;
  if (when.month < 1 || when.month > 12 || when.day < 1 || when.day > days_in_month(when.year, when.month))
    return std::nullopt;

  if (!s.empty() && s.front() == format.date_separator && format.date_separator == '.') s.remove_prefix(1);
  s = trim(s);
  if (s.empty()) return when;

  int d = 0;
  const auto time_sep = [&](std::string_view& r) {
    if (!r.empty() && (r.front() == ':' || r.front() == format.time_separator)) {
      r.remove_prefix(1);
      return true;
    }
    return false;
  };
  if (!read_number(s, when.hour, d, 2) || !time_sep(s) || !read_number(s, when.minute, d, 2) || d != 2)
    return std::nullopt;
  if (time_sep(s) && (!read_number(s, when.second, d, 2) || d != 2)) return std::nullopt;
  s = trim(s);
  if (!s.empty()) {
    bool pm;
    if (starts_with_ignoring_case(s, format.am_text) && s.size() == format.am_text.size())
      pm = false;
    else if (starts_with_ignoring_case(s, format.pm_text) && s.size() == format.pm_text.size())
      pm = true;
    else if (starts_with_ignoring_case(s, "AM") && s.size() == 2)
      pm = false;
    else if (starts_with_ignoring_case(s, "PM") && s.size() == 2)
      pm = true;
    else
      return std::nullopt;
    if (when.hour < 1 || when.hour > 12) return std::nullopt;
    when.hour = (when.hour % 12) + (pm ? 12 : 0);
  }
  if (when.hour > 23 || when.minute > 59 || when.second > 59) return std::nullopt;
  return when;
}

std::int64_t seconds_since_1970(const LocalDateTime& when) {
  return days_from_civil(when.year, static_cast<unsigned>(when.month), static_cast<unsigned>(when.day)) *
             86400 +
         when.hour * 3600 + when.minute * 60 + when.second;
}

std::optional<std::int32_t> date_field_seconds(std::string_view text, const DateTimeFormat& format) {
  if (trim(text).empty()) return 0;
  std::optional<LocalDateTime> when = parse_date_time(text, format);
  if (!when) return std::nullopt;
  std::int64_t seconds = seconds_since_1970(*when);
  if (seconds < 0 || seconds > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(seconds);
}

}  // namespace tarvik::testprogram
