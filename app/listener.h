// The network side of the server: the listening socket on port 3950, the socket events
// that arrive as one window message, and the terminal socket, the one socket that reads,
// replies and closes act on. Owns the terminal socket.
//
// The terminal socket holds the listener until the first accept, then the newest
// accepted connection (a connection replaced by a newer one stays open, unread). A close
// event closes the terminal socket, whichever socket raised it. A failed accept ends the
// socket layer for the rest of the run.
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

// Dispatches a socket-event message by its event code (the low 16 bits of lparam).
void on_socket_event(std::uintptr_t wparam, std::intptr_t lparam);

// Accepts a connection on `listener`, the socket the event names.
void on_accept(platform::Socket listener);

// Logs the disconnect and closes the terminal socket.
void on_close();

// Shuts the terminal socket down, closes it and ends the socket layer.
void listener_stop();

// The terminal socket.
platform::Socket terminal_socket();

}  // namespace qx::app
