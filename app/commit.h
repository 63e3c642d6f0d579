// Bookings from request to reply. Without a journal a booking is logged and answered at
// once. With the journal (QX_BOOKINGS) its line is added to the journal's group and its
// reply held; the group is written and made durable once the loop has handled the
// messages that were waiting (the first held booking posts kFlushMessage to the main
// window, which comes after them), and only then is each booking logged and answered,
// in the order they came. Bookings that arrive while a group is written wait for the
// next: a busy site makes one flush for many bookings (group commit). Owns the held
// bookings.
//
// A booking the journal holds already (app/journal.h, Repeat) is answered as any other,
// after the flush that covers the line it repeats, and logged with kRepeatMark; it is not
// written again. A booking that cannot be stored is logged ("Booking of card C not
// stored (no reply): WHY") and not answered: the terminal keeps it and sends it again.
#pragma once

#include "app/connections.h"
#include "platform/window.h"

namespace qx::app {

inline constexpr unsigned kFlushMessage = platform::kWmApp + 1;
inline constexpr char kRepeatMark[] = " (repeat, not stored again)";

// Makes `window` the one kFlushMessage goes to.
void commit_start(platform::WindowHandle window);

// Takes the booking `request` that came on `c`.
void take_booking(Connection& c, const char* request);

// Writes the group of held bookings and answers them (kFlushMessage, and before the
// server stops).
void commit_flush();

}  // namespace qx::app
