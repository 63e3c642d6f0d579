// The network side of the server: the listening socket on port 3950, the socket events
// that arrive as one window message, and the connections accepted from it (each an
// object of app/connections.h, which reads, replies and closes act on). Owns the
// listening socket and the memory of refused addresses.
//
// At most site().terminals connections are open at once. When one more arrives, the one
// that has been silent longest is shut down and closed, so a terminal that reconnects
// after a network break is never locked out by its own dead connection. With one
// terminal (the default) that is the newest connection taking over, silently; with
// several, the closing is logged and accepted connections get TCP
// keep-alive. Read and close events act only on the connection they name; events of a
// closed socket, still queued or late, are ignored, so they never read or close another.
// A failed accept is logged ("Accept failed! Error code: N") and the listener goes on.
//
// A connection from an address outside QX_TERMINAL_HOSTS is closed at once, before
// anything is read, and logged at most once a minute per address (the memory of
// refused addresses is bounded: a flood of addresses beyond it is not logged).
#pragma once

#include <cstdint>

#include "platform/net.h"
#include "platform/window.h"

namespace qx::app {

inline constexpr std::uint16_t kTerminalPort = 3950;
inline constexpr unsigned kSocketEventMessage = 0x68;
inline constexpr long kSocketEventMask = platform::kFdRead | platform::kFdAccept | platform::kFdClose;
inline constexpr int kKeepAliveIdleSeconds = 60;      // silence before the first probe
inline constexpr int kKeepAliveIntervalSeconds = 10;  // between probes
inline constexpr long kRefusalLogSeconds = 60;        // an address's refusals logged once in this
inline constexpr int kMaxBacklog = 4096;              // the listen backlog of a large site

// Starts the socket layer and the listener for `window`, on QX_LISTEN's address. On
// failure shows the message box of the failed step, sends kWmDestroy to `window` and
// returns false.
bool listener_start(platform::WindowHandle window);

// Dispatches a socket-event message by its event code (the low 16 bits of lparam) and
// the socket it names (wparam).
void on_socket_event(std::uintptr_t wparam, std::intptr_t lparam);

// Accepts a connection on `listener`, the socket the event names.
void on_accept(platform::Socket listener);

// Shuts every connection down, closes it and ends the socket layer.
void listener_stop();

}  // namespace qx::app
