// A plain TCP client connection with time limits, for the tools that play the terminal.
// No state of its own beyond the connections the caller holds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::platform {

using ClientSocket = std::intptr_t;
inline constexpr ClientSocket kNoClient = -1;

// Results of client_receive besides a byte count.
inline constexpr long kReceiveClosed = 0;    // the peer ended the stream
inline constexpr long kReceiveError = -1;    // the connection failed
inline constexpr long kReceiveTimeout = -2;  // nothing arrived in time

// Connects to `host` (a name or an IPv4 address) on `port` within `timeout_ms`;
// kNoClient on failure. The connection sends small writes at once (no Nagle delay).
ClientSocket client_connect(const char* host, std::uint16_t port, int timeout_ms);

// Sends all `length` bytes; false if the connection failed.
bool client_send_all(ClientSocket c, const char* data, std::size_t length);

// Waits up to `timeout_ms` for data and reads up to `size` bytes: the count, or one of
// the kReceive results.
long client_receive(ClientSocket c, char* buffer, std::size_t size, int timeout_ms);

// Closes `c`; with `reset`, aborts the connection (the peer sees a reset).
void client_close(ClientSocket c, bool reset = false);

}  // namespace qx::platform
