// Badge bookings ("regi" requests): a readable log line naming card, time, date and
// function key, and a greeting reply with the card and a fixed balance. Fields are
// comma-separated: 4 function key, 5 packed date, 6 time as HHMM, 7 card. Nothing is
// validated; a missing field is the empty text. No state of its own.
//
// Card and function key are held whole (up to the 298 characters a field can have),
// and the line and reply buffers hold the longest of them, so nothing is cut.
//
// The reply is JSON whatever the card holds: in it `"` and `\` are escaped, and control
// bytes (0x00-0x1F, DEL) are written \uXXXX, so the terminal's parser can read it; a
// card of digits goes as received, as do all other bytes.
#pragma once

#include <cstddef>

namespace qx::app {

inline constexpr std::size_t kBookingLineSize = 1024;   // holds the longest log line
inline constexpr std::size_t kBookingReplySize = 2048;  // holds the longest reply, escaped

// Writes the log line "Card: %s at %s on %s (Fkey: %s)\r\n" of `request` into `line`
// (kBookingLineSize bytes) and returns it. The date follows QX_ENGDATE (date_text).
char* booking_line(const char* request, char* line);

// Writes the booking reply of `request` into `reply` (kBookingReplySize bytes).
char* booking_reply(const char* request, char* reply);

// Adds the booking line of `request` to the event log.
void log_booking(const char* request);

}  // namespace qx::app
