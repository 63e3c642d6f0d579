// The network side of the server: the listening socket on port 3950, the socket events
// that arrive as one window message, and the terminal socket, the one socket that reads,
// replies and closes act on. Owns the terminal socket.
//
// One terminal at a time, and the newest connection wins: the terminal socket holds the
// listener until the first accept, then the newest accepted connection. A connection
// replaced by a newer one is shut down and closed at once (left open it would never be
// read again, and every overlap would leak a socket). Read and close events act only
// when they name the open terminal connection; events of a closed or replaced socket,
// still queued or late, are ignored, so they can never read or close the live one. A
// failed accept is logged ("Accept failed! Error code: N") and the listener goes on.
#pragma once

#include <cstdint>

#include "platform/net.h"
#include "platform/window.h"

namespace qx::app {

inline constexpr std::uint16_t kTerminalPort = 3950;
inline constexpr unsigned kSocketEventMessage = 0x68;
inline constexpr long kSocketEventMask = platform::kFdRead | platform::kFdAccept | platform::kFdClose;

// Starts the socket layer and the listener for `window`. On failure shows the message
// box of the failed step, sends kWmDestroy to `window` and returns false.
bool listener_start(platform::WindowHandle window);

// Dispatches a socket-event message by its event code (the low 16 bits of lparam) and
// the socket it names (wparam).
void on_socket_event(std::uintptr_t wparam, std::intptr_t lparam);

// Accepts a connection on `listener`, the socket the event names; the new connection
// becomes the terminal socket and an older one is closed.
void on_accept(platform::Socket listener);

// Logs the disconnect and closes the terminal connection.
void on_close();

// Shuts the terminal connection down, closes it and ends the socket layer.
void listener_stop();

// The terminal socket.
platform::Socket terminal_socket();

}  // namespace qx::app
