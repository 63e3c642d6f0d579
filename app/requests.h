// The terminal's requests: one receive is one request (the terminal sends no length
// and no terminator), classified by its first bytes, logged, and answered with a fixed
// JSON text sent without terminator. Owns the 1024-byte receive buffer.
#pragma once

#include <cstddef>

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

// Handles a read event: receives up to kReceiveSize bytes from the terminal socket and
// logs and answers them. A failed or empty receive logs an empty entry.
void on_read();

// Sends `text` on the terminal socket, its length in bytes, no terminator; a short or
// failed send is not repeated.
void send_reply(const char* text);

}  // namespace qx::app
