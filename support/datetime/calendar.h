// Calendar arithmetic on packed dates: YYMMDD (or YYYYMMDD) in a signed 32-bit integer,
// 0 for no date, 999999 and 99999999 for the latest possible date. Two-digit years 26 to
// 99 are 1926 to 1999 and 00 to 25 are 2000 to 2025. Pure functions; no state.
//
// Out of domain: a date whose month is not 1 to 12 (month 0 or 13 to 99, negative dates,
// dates of more than eight digits read as the formulas dictate) never reaches the month
// tables. For such a date day_of_year, and the part codes "dj", "nm" and "ww", give 0;
// add_days returns it unchanged. A day beyond its month's length counts on into the
// following months.
#pragma once

#include <cstdint>

namespace qx::datetime {

// The latest possible date, in both forms, and the day number both map to.
inline constexpr std::int32_t kOpenEndDate = 999999;
inline constexpr std::int32_t kOpenEndDateLong = 99999999;
inline constexpr std::int32_t kOpenEndDayNumber = 3652134;

// 1 when `year` is a leap year, else 0: divisible by 4 and not by 100, or by 400. Applied
// to the number as given, so a two-digit 00 is a leap year as 2000 is.
int is_leap_year(std::int32_t year);

// Day of the year (1 to 366) of `date`, with the year taken as date / 10000, so both
// the six- and eight-digit forms work. 0 for a month outside 1 to 12.
int day_of_year(std::int32_t date);

// Days since 31 December 1900 (1 January 2000 is 36160). 0 gives 0; 999999 and 99999999
// give kOpenEndDayNumber. Eight-digit dates are reduced to six digits and the century
// window applies (a date in 2026 counts as 1926).
std::int32_t day_number(std::int32_t date);

// The four-digit year of a two-digit one by the century window; a year above 999 is
// returned as it is.
std::int32_t four_digit_year(std::int32_t year);

// `date` moved by `days` days. 0 days returns the date unchanged, valid or not. The year
// wraps between 99 and 00, so an eight-digit date keeps its four-digit year and crosses
// centuries normally. Any day count (INT_MIN to INT_MAX) is computed in constant time.
// An eight-digit date moved past year 214748, where the packed value would no longer
// fit 32 bits, gives kOpenEndDateLong.
std::int32_t add_days(std::int32_t date, std::int32_t days);

// One component of `date` by part code: "dd" day, "mm" month, "jj" two-digit year, "ww"
// week number, "jjl" four-digit year, "dj" day of the year, "dw" weekday (1 Monday to 7
// Sunday), "nm" days in the month, "nj" days in the year. Codes are whole texts and
// case-sensitive; any other code (or null) gives -1. Values outside the 16-bit range
// (only possible for dates of more than eight digits) are clamped to it.
std::int16_t date_part(std::int32_t date, const char* code);

}  // namespace qx::datetime
