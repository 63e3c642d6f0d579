// The terminal's requests: one receive is one request (the terminal sends no length
// and no terminator), classified by its first bytes, logged, and answered with a fixed
// JSON text sent without terminator, each on the connection it came on. Owns the
// 1024-byte receive buffer.
//
// A terminal-number request ("snd_termnr,12") gives its connection that number: the
// digits right after the comma (up to nine; none leave the number as it was). In a site
// of several terminals each log entry of a connection starts with its prefix
// (log_prefix: "[T12] ", or "[10.1.2.7] " before the number is known).
#pragma once

#include <cstddef>

#include "app/connections.h"

namespace qx::app {

inline constexpr int kReceiveSize = 1024;  // bytes taken by one receive

enum class RequestKind { KeepAlive, Booking, AbsenceReasons, TerminalNumber, Other };

// The kind of the request text `text` (NUL-terminated): exactly "get_alive," is a
// keep-alive; a text beginning "regi" a booking, "get_grund" an absence-reason request,
// "snd_termnr," a terminal-number request; anything else is Other.
RequestKind classify_request(const char* text);

// The fixed replies, as sent.
inline constexpr char kKeepAliveReply[] = "{\"success\":true,\"error\":\"send alive\"}";
inline constexpr char kAbsenceReasonsReply[] =
    "{\"success\":true,\"error\":\"ZA download OK\", \"hideTermBut\":\"0\", \"hideBuchBut\":\"0\", "
    "\"hideAfwhBut\":\"0\", \"type\":\"get_grund\",\"ucats\":[{\"grund\":\"09 business trip\"}]}";
inline constexpr char kTerminalNumberReply[] = "{\"success\":true,\"error\":\"got termnr\"}";

// The terminal number a terminal-number request reports, or kUnknownTerminal.
long reported_terminal(const char* text);

// Handles a read event of `c`: receives up to kReceiveSize bytes from it and logs and
// answers them. A failed or empty receive logs an empty entry.
void on_read(Connection& c);

}  // namespace qx::app
