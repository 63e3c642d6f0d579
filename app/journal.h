// The booking journal: when the configuration variable QX_BOOKINGS names a file, every
// booking is appended to it as one journal line (support/journal_line.h) and made
// durable before the terminal is answered, so no acknowledged booking is ever lost.
// Owns the open journal file, the group of lines waiting to be written, and the memory
// of the bookings the file holds.
//
// The file stays open from one booking to the next. Which file the journal is: QX_BOOKINGS
// is read for every booking, and the open file is the journal only while that path still
// names it. Before each write the identity of the file the path names (device and inode;
// volume serial and file index on Windows) is compared with the open file's, so a journal
// moved aside or removed (rotated, say) is noticed at the next write, which goes to a new
// file at the path: one stat a write, which nothing mounted over a folder on the way can
// hide. On Windows, where a removed file keeps its name while it is open, the file is
// also closed after each write and opened again for the next, and the identity of what
// that opens tells the same. A journal is opened with permission kJournalPermission
// for a new file (before the umask; card numbers are personal data) and may be renamed or
// removed while open, on Windows too.
//
// Group commit: the lines of the bookings that arrive while others wait are written
// together, one write that is durable when it returns (Linux: pwritev2 with RWF_DSYNC;
// else write and flush), so on Linux a journaled booking costs two system calls for its
// group: the look at the path's identity and the write.
//
// Crash safety: the file is only ever appended to. A line that a crash cut short is the
// last line; when a journal is opened, such a line of the journal's own (it was never
// answered) is cut off, and text of another kind without a final line feed gets one
// before the next line, so every line before it stays whole. A group that cannot be
// written or made durable whole is cut off again.
//
// Repeats: a booking whose card, function key, date and time equal those of a booking in
// the journal is not written again. At open the journal learns its last
// kRememberedBookings lines (kept in a BookingMemory, 24 to 32 bytes each: 24 MB for a
// full memory of 1,000,000), and remembers every
// line it writes, so a restart does not forget. A booking older than that memory is
// written again.
//
// Decisions: the path is at most kMaxJournalPath bytes on every platform (a longer one
// fails as an unwritable file does).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/journal_line.h"

namespace qx::app {

inline constexpr std::size_t kMaxJournalPath = 255;
inline constexpr int kJournalPermission = 0660;
inline constexpr std::size_t kRememberedBookings = 1000000;

// The journal's path as configured now (QX_BOOKINGS), or null when there is no journal
// (unset or empty).
const char* journal_path();

// Makes `path` the open journal, unless it is already: closes another, opens the file
// (created when missing), mends its end and learns its bookings. False when it cannot,
// with the step that failed, the file and the system's reason in *why.
bool journal_open(const char* path, std::string* why);

// Closes the open journal (the group waiting is dropped).
void journal_close();

// Whether a booking like `request` is in the journal (or in the group waiting to be
// written): its card, function key, date and time equal one there.
enum class Repeat { No, Stored, Waiting };
Repeat journal_repeat(std::string_view request);

// Adds the journal line of `request`, received at `received` (received_time_text), from
// `origin`, to the group waiting to be written.
void journal_add(std::string_view request, std::string_view received, const journal::Origin& origin);

// Writes the group of lines waiting to the journal and makes it durable, first checking
// that QX_BOOKINGS still names the open file (when not, the group goes to the file it
// names now). True when stored (also when nothing waited); false, with the reason in
// *why, when nothing of the group stays in the file. Either way the group is done.
bool journal_write(std::string* why);

// The number of groups written since the start (for the status file).
unsigned long journal_writes();

}  // namespace qx::app
