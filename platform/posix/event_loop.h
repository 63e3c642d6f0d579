// Shared between the POSIX window and socket modules: the one message queue of the
// process, and the hooks by which the socket module takes part in the loop's poll.
#pragma once

#include <poll.h>

#include <cstdint>
#include <vector>

#include "platform/window.h"

namespace qx::platform::posix {

// Queues a message for `window`. Socket messages are marked so that ending the socket
// layer can drop them.
void post_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam,
                  bool from_socket);

// Drops every queued socket message.
void drop_socket_messages();

// Drops the queued socket messages that name `socket`.
void drop_socket_messages_of(std::uintptr_t socket);

// Appends the descriptors the socket module waits on to `fds`.
void net_add_poll_fds(std::vector<pollfd>& fds);

// Turns the poll results of those descriptors into socket messages.
void net_handle_poll(const pollfd* fds, std::size_t count);

// The Windows Sockets code (platform/net.h) that reports the system's error `error`.
int socket_error_code(int error);

}  // namespace qx::platform::posix
