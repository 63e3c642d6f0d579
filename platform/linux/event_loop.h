// Shared between the Linux window and socket modules: the one message queue of the
// process, the loop's epoll instance, and the hooks by which the socket module takes part
// in the loop's wait.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace qx::platform::linux_os {

// Queues a message for `window`. Socket messages are marked so that ending the socket
// layer can drop them.
void post_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam,
                  bool from_socket);

// Drops every queued socket message.
void drop_socket_messages();

// Drops the queued socket messages that name `socket`.
void drop_socket_messages_of(std::uintptr_t socket);

// The epoll instance the loop waits on, made at the first call; -1 when it cannot be made.
// The socket module registers its descriptors with it, each with its descriptor number as
// the event's data (data.u64 below kLoopOwnData).
int loop_epoll();

// Event data at or above this value belongs to the loop itself (standard output, timers).
inline constexpr std::uint64_t kLoopOwnData = std::uint64_t{1} << 32;

// An epoll report (`events`, EPOLLIN ...) of socket descriptor `fd`.
void net_handle_event(int fd, std::uint32_t events);

// Posts the events the socket module can tell without waiting (a connection with data
// known to be waiting, re-enabled by a receive). The loop calls it before and after it
// waits, and does not wait when it posted something.
void net_post_ready();

// The Windows Sockets code (platform/net.h) that reports the system's error `error`.
int socket_error_code(int error);

}  // namespace qx::platform::linux_os
