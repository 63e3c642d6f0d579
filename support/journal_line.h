// The booking journal's line format: one booking as one JSON object on one line (JSON
// Lines), written by the server before it answers a booking and read back by qxtool.
// No state of its own.
//
//   {"received":"2026-12-07T12:18:32.125+01:00","card":"12345","fkey":"F1",
//    "date":"240115","time":"0875","request":"regi,1,2,F1,240115,0875,12345",
//    "peer":"10.1.2.7:51234","terminal":12}
//
// (one line in the file, keys in this order). "received" is the server's local time with
// milliseconds and its offset from UTC; card, fkey, date and time are request fields 7,
// 4, 5 and 6, whole, as received (a missing field is ""); "request" is the whole request;
// "peer" is the terminal's address and port, "terminal" its number (null when it has not
// reported one). Lines written before those two keys existed are read all the same.
//
// Any bytes are kept, and every JSON reader reads them back exactly: a field whose bytes
// are valid UTF-8 is a JSON string (`"` and `\` escaped, control bytes 0x00-0x1F and
// 0x7F written \u00XX, everything else as it is); a field that is not valid UTF-8 is
// written instead under its name with "_base64" added ("card_base64"), its bytes in
// base64 (RFC 4648, with padding). Such a line never holds \u0080 to \u00ff.
//
// Lines of the older form, which wrote each byte that is not part of valid UTF-8 as
// \u0080-\u00ff, are read by the same rule they were written with: \u0000 to \u00ff
// stand for one byte each.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace qx::journal {

// Request field `n` (from 1; fields are separated by commas), whole; "" when missing.
std::string_view request_field(std::string_view request, int n);

// `seconds` (and `milliseconds`, 0-999) as local time in ISO 8601 with the offset from
// UTC: "2026-12-07T12:18:32.125+01:00" (the offset of UTC itself is "+00:00").
std::string received_time_text(std::time_t seconds, int milliseconds);

// Where a booking came from: the "peer" and "terminal" keys.
struct Origin {
    std::string_view peer;  // "10.1.2.7:51234"
    long terminal = -1;     // the terminal's number; -1: not reported (null)
};

// The journal line of `request` received at `received` (a received_time_text), with its
// line feed; with `origin`, its "peer" and "terminal" keys too.
std::string journal_line(std::string_view request, std::string_view received, const Origin* origin = nullptr);

// One booking as read back from its journal line.
struct Booking {
    std::string received;  // as written
    std::string card;      // request field 7
    std::string fkey;      // request field 4
    std::string date;      // request field 5
    std::string time;      // request field 6
    std::string request;   // the whole request
    std::string peer;      // "" when the line has none
    std::string terminal;  // the number's digits; "" when null or the line has none
};

// Reads `line` (without its line feed) into `booking`. False, with the reason in
// `problem`, when it is not a journal line: not one JSON object of strings, a key of the
// six missing or given twice (plainly or as base64), a string escape, UTF-8 or base64
// that is not valid, a request with a NUL, or fields that are not those of its request.
// "terminal" is a number or null, every other value a string. Other keys are passed over.
bool read_journal_line(std::string_view line, Booking* booking, std::string* problem);

}  // namespace qx::journal
