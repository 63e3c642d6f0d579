// The message loop of the Linux window system: the one message queue of the process, the
// timers of set_timer, SIGINT and SIGTERM, and the epoll instance the loop waits on. It
// implements the queue, timer and quit calls of platform/window.h (post_message,
// set_timer, kill_timer, post_quit); window.cpp takes the messages and hands them to the
// window procedures. Standard output (console_output.h) and the sockets (net.cpp) take
// part in each wait through the hooks below. Owns the queue, the timers, the epoll
// descriptor, the signal handlers and mask, and the window the signals close.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace qx::platform::linux_os {

// A message as the loop hands it out.
struct Message {
    WindowHandle window;    // where it goes (null for the quit message)
    unsigned message;       // its number (no meaning for the quit message)
    std::uintptr_t wparam;
    std::intptr_t lparam;
    bool quit;              // the quit message of post_quit
    int exit_code;          // the quit message's code
};

// Queues a message for `window`. Socket messages are marked so that ending the socket
// layer can drop them.
void post_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam,
                  bool from_socket);

// Drops every queued socket message.
void drop_socket_messages();

// Drops the queued socket messages that name `socket`.
void drop_socket_messages_of(std::uintptr_t socket);

// Makes SIGINT and SIGTERM post kWmClose to `window` (the handlers are installed at the
// first call; SIGPIPE is ignored from then on). The signals are let in only while the
// loop waits.
void close_on_signal(WindowHandle window);

// Takes the first message of the queue. When the queue is empty, or its first message
// came from outside the application, the loop first looks for events (waiting for one
// only when the queue is empty), writes standard output as it takes it and posts the
// timers that are due; it waits until there is a message.
Message next_message();

// The epoll instance the loop waits on, made at the first call; -1 when it cannot be made
// (errno then says why).
// The socket module registers its descriptors with it, each with its descriptor number as
// the event's data (data.u64 below kLoopOwnData).
int loop_epoll();

// Event data at or above this value belongs to the loop itself (standard output, timers).
inline constexpr std::uint64_t kLoopOwnData = std::uint64_t{1} << 32;

// The socket module's part in the loop (net.cpp): an epoll report (`events`, EPOLLIN ...)
// of socket descriptor `fd`.
void net_handle_event(int fd, std::uint32_t events);

// Posts the events the socket module can tell without waiting (a connection with data
// known to be waiting, re-enabled by a receive). The loop calls it before and after it
// waits, and does not wait when it posted something.
void net_post_ready();

// The Windows Sockets code (platform/net.h) that reports the system's error `error`
// (net.cpp).
int socket_error_code(int error);

}  // namespace qx::platform::linux_os
