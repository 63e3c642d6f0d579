// Date and time texts for display: a minute count as hours and minutes, and a packed
// date as a numeric day-month-year text. No state of its own; date_text reads the
// environment variable QX_ENGDATE at every call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::datetime {

// Writes the minute count `count` into `buffer` (size bytes, always terminated) with a
// format that takes two integers, hours (|count| / 60, not limited to 23) first and
// minutes second, such as "%02d:%02d"; returns `buffer`.
//
// A negative count turns every "+" of the written text into "-", so a format with a
// "+" flag shows the sign and one without shows none. Zeros before the last two
// characters in front of the last colon become blanks, up to the first character that
// is not a zero, blank or sign: 75 with "%03d:%02d" gives " 01:15", 0 with "%04d:%02d"
// "  00:00"; a format without a colon at position 1 or later is left as written.
//
// The format is checked before use (see support/safe_format.h): up to two conversions,
// no %n, no "*"; a refused format gives the empty text.
char* minutes_text(std::int32_t count, const char* format, char* buffer, std::size_t size);

// Writes `date` as text into `buffer` (size bytes, always terminated) by text code and
// returns `buffer`: "dmj" gives "%02d-%02d-%02d" of day, month and two-digit year
// ("14-10-10"), "dmjl" "%02d-%02d-%04d" with the four-digit year ("14-10-2010"). When
// QX_ENGDATE is present in the environment, whatever its value, month comes first.
// A date of 0 or less and any other code (codes are case-sensitive) give the empty text.
// The components are printed as date_part yields them, unvalidated: 999999 gives
// "99-99-1999". The name codes read the weekday and month names from the catalogue
// "dta/gen.msg" of the language in force (messages 117-123 Monday to Sunday, 104-115
// January to December): "dd" the first 2 characters of the weekday, "mm" the first 3 of
// the month, "ddl" and "mml" the whole name with its trailing blanks cut to one. When the
// catalogue cannot deliver, its failure text is cut or trimmed the same way.
char* date_text(std::int32_t date, const char* code, char* buffer, std::size_t size);

}  // namespace qx::datetime
