// Sockets, as the server uses them: a TCP listener on a local IPv4 address whose
// accept, read and close events arrive as one window message, with the semantics of
// Windows Sockets' WSAAsyncSelect: an event is posted once and posted again only after
// the matching call (recv for reads, accept for accepts), a close is posted once, and
// accepted sockets inherit the listener's window, message and mask. Owns the process's
// socket table. Results follow Windows Sockets: 0 or a count for success, kSocketError
// (-1) or kInvalidSocket for failure, the reason in last_socket_error().
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace qx::platform {

using Socket = std::uintptr_t;
inline constexpr Socket kInvalidSocket = ~Socket{0};
inline constexpr int kSocketError = -1;

// Event bits of a socket-event message (LOWORD of lparam; HIWORD is the error code).
inline constexpr long kFdRead = 0x01;
inline constexpr long kFdAccept = 0x08;
inline constexpr long kFdClose = 0x20;

// Error codes, with their Windows Sockets values.
inline constexpr int kErrTooManySockets = 10024;
inline constexpr int kErrWouldBlock = 10035;
inline constexpr int kErrNotSocket = 10038;
inline constexpr int kErrAddressInUse = 10048;
inline constexpr int kErrAddressNotAvailable = 10049;
inline constexpr int kErrConnectionAborted = 10053;
inline constexpr int kErrConnectionReset = 10054;
inline constexpr int kErrNoBuffers = 10055;
inline constexpr int kErrNotInitialised = 10093;

// Starts the socket layer, asking for version 2.2. Returns 0 on success.
int net_startup();

// Ends the socket layer: every socket is closed, no socket message is posted any more,
// and socket messages still queued are dropped. Returns 0 on success.
int net_cleanup();

// A TCP socket for IPv4, or kInvalidSocket.
Socket tcp_socket();

// An IPv4 address (in host byte order: 10.1.2.7 is 0x0A010207) and a port.
struct Ipv4Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

inline constexpr std::uint32_t kAnyAddress = 0;  // bind: every local IPv4 address

// Binds `s` to the local IPv4 `address` (kAnyAddress: every one) and `port`. 0, or
// kSocketError (port taken: kErrAddressInUse; an address this host does not have:
// kErrAddressNotAvailable). On Linux the listener may rebind a port left in TIME_WAIT.
int bind_address(Socket s, std::uint32_t address, std::uint16_t port);

// bind_address on every local IPv4 address.
int bind_any(Socket s, std::uint16_t port);

// Asks for the events of `mask` on `s` as message `message` to `window`; 0 turns them
// off. Makes the socket non-blocking. Conditions that already hold are posted at once.
int async_select(Socket s, WindowHandle window, unsigned message, long mask);

int listen_socket(Socket s, int backlog);

// Accepts a pending connection on `s`: the new socket, or kInvalidSocket (none pending:
// kErrWouldBlock; out of descriptors: kErrTooManySockets). Re-enables the accept event
// of `s`. On Linux a connection that cannot be accepted for want of descriptors is taken
// and closed at once (with a descriptor kept in reserve for it), so that it does not stay
// pending and raise the accept event again and again.
Socket accept_socket(Socket s);

// accept_socket, also giving the address and port of the connection's peer in *peer.
Socket accept_socket(Socket s, Ipv4Endpoint* peer);

// Turns TCP keep-alive on for connection `s`: after `idle_seconds` of silence the system
// probes every `interval_seconds` and ends a connection whose peer is gone (the close
// event then comes). 0, or kSocketError.
int set_keep_alive(Socket s, int idle_seconds, int interval_seconds);

// Raises the process's soft limit of open descriptors (sockets and files) towards
// `needed`, never past the hard limit. Returns the limit in force afterwards; on Windows,
// which has no such limit, `needed`.
long raise_descriptor_limit(long needed);

// Receives up to `length` bytes: the count, 0 at the end of the stream, or kSocketError.
// Re-enables the read event, also when it fails. Bytes that came after the read event
// was raised may be given to the same receive, as far as `length` allows: on Windows all
// that have arrived, on Linux those the event loop has seen arrive.
int receive(Socket s, char* buffer, int length);

// Sends `length` bytes as far as the socket takes them without waiting: the count sent,
// or kSocketError. Never raises a signal.
int send_bytes(Socket s, const char* data, int length);

// Shuts both directions of `s` down.
int shutdown_both(Socket s);

// Closes `s`: no further message is posted for it, and its messages still queued are
// dropped (the others keep their order), so a socket accepted later that reuses the
// handle never gets an event of the closed one.
int close_socket(Socket s);

// The local port `s` is bound to (after bind_any with port 0, the one the system chose),
// or 0 on failure.
std::uint16_t local_port(Socket s);

// The error code of the last failed call.
int last_socket_error();

}  // namespace qx::platform
