// The checks of qxtool that read a booking journal (support/journal_line.h): `bookings`
// lists a journal's bookings, as text, as its JSON lines or as a CSV file, and reports
// the lines that are not journal lines. No state.
#pragma once

#include <iosfwd>

#include "tools/qxtool/arguments.h"

namespace qx::tool {

// bookings FILE [--json | --csv OUT]: the bookings of journal FILE, one per line to
// `out` (received, card, fkey, date, time, request: escaped, separated by TAB); with
// --json its lines as they are; with --csv OUT a CSV file OUT (RFC 4180, a header row
// first) and nothing to `out`. Problems go to `err` with their line numbers. An
// incomplete last line (a write that a crash cut short: never answered) is reported as
// such and is no error. Returns 1 for a journal that cannot be read, a CSV file that
// cannot be written or any other line that is not a journal line, else 0. Throws
// UsageError for arguments it does not take.
int run_bookings(const Args& a, std::ostream& out, std::ostream& err);

}  // namespace qx::tool
