// The booking journal: when the configuration variable QX_BOOKINGS names a file, every
// booking is appended to it as one journal line (support/journal_line.h) and made
// durable before the terminal is answered, so no acknowledged booking is ever lost.
// A booking that cannot be stored is logged as such and not answered: the terminal
// keeps it and sends it again, and the next booking tries the journal again. Unset or
// empty, there is no journal. No state of its own: the file is opened for each booking
// (so a journal moved aside is started afresh at the next booking).
//
// Crash safety: the file is only ever appended to, one line per write call. A line
// that a crash cut short is the last line; before the next booking is appended, such a
// line of the journal's own (it was never answered) is cut off, and text of another
// kind without a final line feed is ended with one, so every line before it stays
// whole. A line that cannot be written or flushed whole is cut off again.
//
// Decisions: the path is at most kMaxJournalPath bytes on every platform (a longer one
// fails as an unwritable file does); a new file gets permission kJournalPermission
// before the umask (card numbers are personal data).
#pragma once

#include <string>
#include <string_view>

namespace qx::app {

inline constexpr std::size_t kMaxJournalPath = 255;
inline constexpr int kJournalPermission = 0660;

enum class JournalResult { Off, Stored, NotStored };

// Appends the journal line of `request`, received at `received` (received_time_text),
// to the file `path` and makes it durable. When not stored, `why` names the step that
// failed, the file and the system's reason.
JournalResult append_to_journal(const char* path, std::string_view request, std::string_view received,
                                std::string* why);

// For a booking request just received: stores it in the journal named by QX_BOOKINGS
// (now, local time). True when it is stored or there is no journal; false when it is
// not stored, after logging "Booking of card C not stored (no reply): WHY".
bool journal_booking(const char* request);

}  // namespace qx::app
