// Calendar arithmetic on any 32-bit date and day count without harm, and eight-digit dates
// of any four-digit year moved by any number of days, against the C++ calendar.
#include <chrono>

#include "support/datetime/calendar.h"
#include "support/datetime/date_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace chr = std::chrono;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::int32_t raw[2] = {0, 0};
    std::memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
    const std::int32_t any_date = raw[0], days = raw[1];

    // Any date, any code: no harm, bounded texts.
    for (const char* code : {"dd", "mm", "jj", "ww", "jjl", "dj", "dw", "nm", "nj", "x"}) {
        qx::datetime::date_part(any_date, code);
    }
    (void)qx::datetime::day_number(any_date);
    (void)qx::datetime::add_days(any_date, days);
    char text[64];
    for (const char* code : {"dmj", "dmjl", "wd", "md", "?"}) qx::datetime::date_text(any_date, code, text, sizeof text);
    qx::datetime::minutes_text(days, "%02d:%02d", text, sizeof text);

    // An eight-digit date of any four-digit year (the unit tests go through every date of
    // the century window), moved by a day count that keeps it in four-digit years.
    const auto pick = static_cast<std::uint32_t>(any_date);
    const chr::year_month year_month{chr::year{static_cast<int>(1000 + pick % 9000)}, chr::month{(pick / 9000) % 12 + 1}};
    const chr::year_month_day_last last{year_month.year(), chr::month_day_last{year_month.month()}};
    const chr::year_month_day from{year_month / chr::day{(pick / 108000) % static_cast<unsigned>(last.day()) + 1}};
    const chr::year_month_day to{chr::sys_days{from} + chr::days{days % 2000000}};
    const auto packed = [](chr::year_month_day d) {
        return static_cast<int>(d.year()) * 10000 + static_cast<int>(static_cast<unsigned>(d.month())) * 100 +
               static_cast<int>(static_cast<unsigned>(d.day()));
    };
    if (to.year() >= chr::year{1000} && to.year() <= chr::year{9999} && days % 2000000 != 0) {
        qx::fuzz::check(qx::datetime::add_days(packed(from), days % 2000000) == packed(to));
    }
    return 0;
}
