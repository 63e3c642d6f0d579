// Calendar arithmetic on packed dates, by integer division on the packed value.
#include "support/datetime/calendar.h"

#include <cstring>

namespace qx::datetime {
namespace {

constexpr std::int32_t kYearFactor = 10000;   // YY in YYMMDD
constexpr std::int32_t kMonthFactor = 100;    // MM in YYMMDD
constexpr std::int32_t kShortForm = 1000000;  // an eight-digit date reduced to six digits
constexpr std::int32_t kWindowStart = 260101; // 1 January 1926, first date of the window
constexpr std::int32_t kDaysPer100Years = 36525;   // two-digit calendar, 00 to 99
constexpr std::int32_t kDaysPer400Years = 146097;  // Gregorian cycle of four-digit years
constexpr std::int32_t kMaxPackedYear = 214748;    // largest year whose YYYYMMDD fits 32 bits

constexpr int kDaysInMonth[2][13] = {
    {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};
constexpr int kDaysBeforeMonth[2][13] = {
    {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

bool month_in_domain(std::int32_t month) { return month >= 1 && month <= 12; }

std::int32_t year_of(std::int32_t date) { return date / kYearFactor; }
std::int32_t month_of(std::int32_t date) { return (date % kYearFactor) / kMonthFactor; }
std::int32_t day_of(std::int32_t date) { return date % kMonthFactor; }

int days_in_year(std::int32_t year) { return 365 + is_leap_year(year); }

// Next and previous year; only 99 and 00 wrap into each other.
std::int32_t next_year(std::int32_t year) { return year == 99 ? 0 : year + 1; }
std::int32_t previous_year(std::int32_t year) { return year == 0 ? 99 : year - 1; }

// In the two-digit calendar every 100 years take exactly kDaysPer100Years days and come
// back to the same year, so a day of the year can be taken modulo that.
long long wrap_century(long long day) {
    long long r = (day - 1) % kDaysPer100Years;
    return (r < 0 ? r + kDaysPer100Years : r) + 1;
}

// Carries a day beyond the end of its year into the following years. Long runs are
// skipped by whole cycles, so at most a few hundred years are stepped one by one.
// Returns false when a four-digit year runs past kMaxPackedYear.
bool carry_forward(std::int32_t* year, long long* day) {
    if (*year <= 99) *day = wrap_century(*day);
    if (*year > 99 && *day > kDaysPer400Years) {
        const long long cycles = (*day - 1) / kDaysPer400Years;
        if (*year + cycles * 400 > kMaxPackedYear) return false;
        *year += static_cast<std::int32_t>(cycles * 400);
        *day -= cycles * kDaysPer400Years;
    }
    while (*day > days_in_year(*year)) {
        *day -= days_in_year(*year);
        *year = next_year(*year);
        if (*year > kMaxPackedYear) return false;
    }
    return true;
}

// Carries a day before the start of its year into the previous years. A four-digit year
// steps down by whole cycles while it stays above 99; below that the two-digit calendar
// wraps, and the day is then carried forward within it.
bool carry_backward(std::int32_t* year, long long* day) {
    if (*year > 99) {
        long long cycles = -*day / kDaysPer400Years;
        const long long cycles_above_99 = (*year - 100) / 400;
        if (cycles > cycles_above_99) cycles = cycles_above_99;
        *year -= static_cast<std::int32_t>(cycles * 400);
        *day += cycles * kDaysPer400Years;
    }
    while (*day < 1 && *year > 99) {
        *year = previous_year(*year);
        *day += days_in_year(*year);
    }
    return carry_forward(year, day);
}

std::int32_t pack(std::int32_t year, long long day) {
    const int leap = is_leap_year(year);
    std::int32_t month = 12;
    while (kDaysBeforeMonth[leap][month] >= day) --month;
    return year * kYearFactor + month * kMonthFactor +
           static_cast<std::int32_t>(day - kDaysBeforeMonth[leap][month]);
}

std::int16_t clamp16(std::int32_t value) {
    if (value > INT16_MAX) return INT16_MAX;
    if (value < INT16_MIN) return INT16_MIN;
    return static_cast<std::int16_t>(value);
}

int weekday(std::int32_t date) { return static_cast<int>(day_number(date) % 7) + 1; }

// ISO-style week number of a six-digit date whose month is in the domain.
int week_number(std::int32_t date) {
    const std::int32_t year = year_of(date);
    const int first_weekday = weekday(year * kYearFactor + 101);
    int week = (day_of_year(date) + first_weekday - 2) / 7;
    if (first_weekday < 5) ++week;
    if (week == 0) {
        // The first days belong to the last week of the previous year.
        return week_number(previous_year(year) * kYearFactor + 1231);
    }
    if (week == 53 && weekday((year * kYearFactor + 10101) % kShortForm) < 5) week = 1;
    return week;
}

std::int32_t part_value(std::int32_t date, const char* code) {
    const std::int32_t reduced = date % kShortForm;
    const std::int32_t year = year_of(reduced);
    const std::int32_t month = month_of(reduced);
    const int leap = is_leap_year(year);
    if (std::strcmp(code, "dd") == 0) return day_of(reduced);
    if (std::strcmp(code, "mm") == 0) return month;
    if (std::strcmp(code, "jj") == 0) return year;
    if (std::strcmp(code, "jjl") == 0) return four_digit_year(year_of(date));
    if (std::strcmp(code, "dj") == 0) return day_of_year(reduced);
    if (std::strcmp(code, "dw") == 0) return weekday(reduced);
    if (std::strcmp(code, "nj") == 0) return days_in_year(year);
    if (std::strcmp(code, "nm") == 0) return month_in_domain(month) ? kDaysInMonth[leap][month] : 0;
    if (std::strcmp(code, "ww") == 0) return month_in_domain(month) ? week_number(reduced) : 0;
    return -1;
}

}  // namespace

int is_leap_year(std::int32_t year) {
    return ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 1 : 0;
}

int day_of_year(std::int32_t date) {
    const std::int32_t month = month_of(date);
    if (!month_in_domain(month)) return 0;
    return kDaysBeforeMonth[is_leap_year(year_of(date))][month] + day_of(date);
}

std::int32_t day_number(std::int32_t date) {
    if (date == 0) return 0;
    if (date == kOpenEndDate || date == kOpenEndDateLong) return kOpenEndDayNumber;
    std::int32_t e = date % kShortForm;
    if (e < kWindowStart) e += kShortForm;
    return (year_of(e) * kDaysPer100Years - kDaysPer100Years) / 100 + day_of_year(e % kShortForm);
}

std::int32_t four_digit_year(std::int32_t year) {
    if (year > 999) return year;
    return year >= 26 ? year + 1900 : year + 2000;
}

std::int32_t add_days(std::int32_t date, std::int32_t days) {
    if (days == 0 || !month_in_domain(month_of(date))) return date;
    std::int32_t year = year_of(date);
    long long day = kDaysBeforeMonth[is_leap_year(year)][month_of(date)] +
                    static_cast<long long>(day_of(date)) + days;
    const bool fits = day < 1 ? carry_backward(&year, &day) : carry_forward(&year, &day);
    if (!fits) return kOpenEndDateLong;
    return pack(year, day);
}

std::int16_t date_part(std::int32_t date, const char* code) {
    if (code == nullptr) return -1;
    return clamp16(part_value(date, code));
}

}  // namespace qx::datetime
