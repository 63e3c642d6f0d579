// Standard output of the terminal window, written so that it never stops the message
// loop: a stalled reader, a closed pipe or a full disk costs log output, never service.
// Owns the queue of output not yet written and standard output's file flags.
//
// Output is queued as records (a log line, or on a terminal a whole screen) and written
// as standard output takes it, without waiting (the loop polls for room). A record is
// written whole before the next one starts, so a line is never cut or joined with the
// next, not even across a full disk. Bounds and failures:
//  - at most kOutputQueueLimit bytes wait; a line that does not fit is dropped and
//    counted, and once lines fit again the count is written as one line of its own,
//    "(N log entries lost)", where they would have been;
//  - a screen replaces a queued screen that is not being written yet (only the newest
//    screen matters), so screens are never lost;
//  - a write error (closed pipe, full disk, I/O error) is reported once on standard
//    error with its reason; writing is tried again every kOutputRetryMs, and a write
//    that works again ends the failure (a later one is reported again).
#pragma once

#include <poll.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qx::platform::linux_os {

inline constexpr std::size_t kOutputQueueLimit = std::size_t{1} << 20;  // bytes waiting at most
inline constexpr int kOutputRetryMs = 1000;  // between tries after a write error
inline constexpr int kOutputGatherMs = 10;   // a log line waits at most this long for others
inline constexpr int kOutputWritesPerGather = 32;  // line writes in that time before lines wait

// Makes standard output non-blocking; its flags are restored when the process exits.
void output_start();

// Queues `line` (which ends in "\n"), or counts it as lost when the queue is full.
// Lines queued while nothing waits are gathered and written by output_before_wait.
void output_line(std::string_view line);

// Called by the loop before it waits for events: writes the lines gathered in this
// turn with one write, unless kOutputWritesPerGather line writes were made in the last
// kOutputGatherMs; then the lines wait for the end of that period (the gather timer is
// one of the loop's descriptors) and go out with those of the turns after them. A
// quiet server writes each entry at once; a busy one writes at most a few thousand
// times a second instead of once a request. Replies leave at once: the terminal never
// waits for the log. Without a timer (none could be made) every turn writes.
void output_before_wait();

// Queues `screen`, in place of a queued screen that is not being written yet.
void output_screen(std::string screen);

// Appends the two poll entries of the output to `fds`: standard output (waiting for
// room) and the gather timer, each with descriptor -1 when there is nothing to wait for.
void output_add_poll_fds(std::vector<pollfd>& fds);

// How long the loop may wait for events: -1 (no limit), or the time to the next try
// after a write error.
int output_timeout_ms();

// Writes what is due and what standard output takes now; `fds` are the two entries
// output_add_poll_fds appended, with their poll results (0 after a timeout). Call once
// per turn of the loop.
void output_handle(const pollfd* fds);

// At the end of the run: writes what is left, waiting at most `max_wait_ms` in all.
void output_finish(int max_wait_ms);

}  // namespace qx::platform::linux_os
