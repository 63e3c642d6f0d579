// Calendar arithmetic on any 32-bit date and day count without harm, and eight-digit dates
// of any four-digit year moved by any number of days, against an independent Gregorian
// reference.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "support/datetime/calendar.h"
#include "support/datetime/date_text.h"

namespace {

using qx::datetime::add_days;
using qx::datetime::date_part;
using qx::datetime::day_number;

// Days since 1 January 1970 of a proleptic Gregorian date (the well-known civil algorithm).
std::int64_t days_from_civil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t* y, std::int64_t* m, std::int64_t* d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp + (mp < 10 ? 3 : -9);
    *y = yoe + era * 400 + (*m <= 2);
}

bool leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::int64_t month_days(std::int64_t y, std::int64_t m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::int32_t raw[2] = {0, 0};
    std::memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
    const std::int32_t any_date = raw[0];
    const std::int32_t days = raw[1];

    // Any date, any code: no harm, bounded texts.
    for (const char* code : {"dd", "mm", "jj", "ww", "jjl", "dj", "dw", "nm", "nj", "x"}) date_part(any_date, code);
    (void)day_number(any_date);
    (void)add_days(any_date, days);
    char text[64];
    for (const char* code : {"dmj", "dmjl", "wd", "md", "?"}) qx::datetime::date_text(any_date, code, text, sizeof text);
    qx::datetime::minutes_text(days, "%02d:%02d", text, sizeof text);

    // An eight-digit date built from the input (the unit tests go through every date of
    // the century window; here any four-digit year).
    const std::uint32_t pick = static_cast<std::uint32_t>(any_date);
    const std::int64_t year = 1000 + pick % 9000, m = (pick / 9000) % 12 + 1;
    const std::int64_t d = (pick / 108000) % month_days(year, m) + 1;
    // An eight-digit date moved by a day count that keeps it in four-digit years.
    const std::int64_t long_date = year * 10000 + m * 100 + d;
    const std::int64_t moved = days_from_civil(year, m, d) + days % 2000000;
    std::int64_t ny, nm, nd;
    civil_from_days(moved, &ny, &nm, &nd);
    if (ny >= 1000 && ny <= 9999 && days % 2000000 != 0) {
        check(add_days(static_cast<std::int32_t>(long_date), days % 2000000) == ny * 10000 + nm * 100 + nd);
    }
    return 0;
}
