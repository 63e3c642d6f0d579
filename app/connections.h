// The open terminal connections: one object per connection, handed to the request and
// booking code, which read and answer on that connection only. Owns the table of
// connections (at most as many as the site serves at once) and their order of silence.
//
// A reply is sent at once unless an earlier reply of the same connection is held (a
// booking waiting for the journal's flush): then it waits behind that one, so a
// terminal always gets its replies in the order of its requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "platform/net.h"

namespace qx::app {

inline constexpr long kUnknownTerminal = -1;

// A reply waiting its turn: held (its text not known yet) or filled in.
struct PendingReply {
    std::string text;
    bool held = true;   // waiting for the journal's flush
    bool send = true;   // false: the held booking was not stored, nothing is sent
};

struct Connection {
    platform::Socket socket = platform::kInvalidSocket;
    std::uint64_t id = 0;                 // unique in the run: held replies find it by this
    std::size_t slot = 0;                 // its place in the table
    platform::Ipv4Endpoint peer;          // the terminal's address and port
    std::string peer_text;                // the same as text (peer_text())
    long terminal = kUnknownTerminal;     // its number, once it sent snd_termnr (connection_set_terminal)
    std::string prefix;                   // its log entries' prefix (log_prefix)
    std::int64_t connected_ms = 0;        // wall clock, milliseconds since 1970
    std::int64_t last_request_ms = 0;     // 0: no request yet
    long bookings_today = 0;              // bookings answered on `bookings_day`
    long bookings_day = 0;                // the local_day() of those bookings
    std::deque<PendingReply> pending;     // replies not sent yet, in order: from the first held one on
    std::uint64_t heard = 0;              // when it was last heard from (an ever-growing count)
};

// Adds the connection `socket` from `peer` (the caller has made room). Returns it.
Connection& connection_add(platform::Socket socket, const platform::Ipv4Endpoint& peer);

// The open connection `socket`, or null.
Connection* connection_of(platform::Socket socket);

// The connection in `slot` if it is still the one with `id`, else null (it was closed).
Connection* connection_at(std::size_t slot, std::uint64_t id);

// The connection in `slot`, or null; slots run from 0 to connection_slots() - 1.
const Connection* connection_in(std::size_t slot);
std::size_t connection_slots();

// How many connections are open.
std::size_t connection_count();

// The connection that has been silent longest (null when none is open).
Connection* connection_silent_longest();

// Notes that `c` was heard from now (a request came).
void connection_heard(Connection& c);

// Counts a booking answered on `c` today.
void connection_count_booking(Connection& c);

// Today, in local time, as a number that changes at midnight (year * 1000 + day of year).
long local_day();

// Closes `c` (shut down first when `shut_down`) and forgets it; `c` is gone afterwards.
void connection_close(Connection& c, bool shut_down);

// Closes every connection, shut down first.
void connection_close_all();

// Gives `c` the terminal number `terminal`.
void connection_set_terminal(Connection& c, long terminal);

// The log entries' prefix for `c` in a site of several terminals: "[T12] " once its
// number is known, "[10.1.2.7] " before; "" when one terminal is served at a time. Valid
// while `c` is open and its number unchanged.
const char* log_prefix(const Connection& c);

// "10.1.2.7": an IPv4 address (host order) as text.
std::string address_text(std::uint32_t address);

// "10.1.2.7:51234", the peer as the journal and the status file name it.
std::string peer_text(const platform::Ipv4Endpoint& peer);

// Sends `text` on `c`, or keeps it behind the replies `c` holds (see above). A short or
// failed send is not repeated.
void send_reply(Connection& c, const char* text);

// Holds the place of a reply of `c` that is not known yet: replies after it wait.
void connection_hold(Connection& c);

// Fills the oldest held place of `c` with `reply` (null: no reply), then sends what is
// ready from the front, up to the next held place.
void connection_fill(Connection& c, const char* reply);

}  // namespace qx::app
