// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/utc_time.h"

namespace talphex {
namespace {

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(std::int64_t year, int month) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The number of `count` decimal digits at `text[start]`, or -1.
int Digits(std::string_view text, std::size_t start, std::size_t count) {
  int value = 0;
  for (std::size_t i = start; i < start + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::int64_t UtcSeconds(std::int64_t year, int month, int day, int hour, int minute, int second) {
  // Days from civil: the year starts on 1 March, so that the leap day comes last.
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const std::int64_t days = era * 146097 + day_of_era - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::optional<std::int64_t> ParseUtcDateTime(std::string_view text, char separator) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != separator ||
      text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const int year = Digits(text, 0, 4);
  const int month = Digits(text, 5, 2);
  const int day = Digits(text, 8, 2);
  const int hour = Digits(text, 11, 2);
  const int minute = Digits(text, 14, 2);
  const int second = Digits(text, 17, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  return UtcSeconds(year, month, day, hour, minute, second);
}

}  // namespace talphex
