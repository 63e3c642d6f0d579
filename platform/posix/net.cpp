// Sockets on POSIX with the event semantics of WSAAsyncSelect, on top of the message
// loop's poll. Per socket the table keeps the window, message and mask asked for, and
// which events are posted and not yet re-enabled; a socket is polled only for events
// that may be posted, so nothing floods and nothing is lost:
//  - accept: posted when a connection is pending, re-enabled by accept_socket;
//  - read: posted when unread data is waiting, re-enabled by receive (even a failed one);
//    while a read is posted the socket is not polled at all;
//  - close: posted once, when the peer has closed (or reset) and no unread data is left.
// What a readable connection holds is read when poll reports it (read-ahead), and handed
// out by receive: so the layer knows for sure whether data or the end came, with no
// further system call (poll alone can report "readable" for an end that is just
// arriving), and a request costs three calls: poll, recv, send.
// Errors are translated once here into the Windows Sockets codes of platform/net.h.
#include "platform/net.h"
#include "platform/faults.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "platform/posix/event_loop.h"

namespace qx::platform {
namespace {

struct SocketState {
    bool listening = false;        // listen_socket was called
    WindowHandle window = nullptr;  // where its messages go
    unsigned message = 0;          // the message number, 0: not selected
    long mask = 0;                 // events asked for
    bool read_posted = false;      // FD_READ posted, not re-enabled by receive yet
    bool accept_posted = false;    // FD_ACCEPT posted, not re-enabled by accept yet
    bool close_posted = false;     // FD_CLOSE posted (only ever once per selection)
    std::unique_ptr<char[]> ahead;  // bytes read ahead (kReadAhead), made at the first read
    std::size_t ahead_count = 0;     // bytes in it
    std::size_t taken = 0;           // of them, those already taken by receive
};

constexpr std::size_t kReadAhead = 64 * 1024;  // bytes one read-ahead takes at most

bool started = false;                   // between net_startup and net_cleanup
int spare_fd = -1;                      // held in reserve to take and drop a connection
                                        // that cannot be accepted for want of descriptors
std::map<int, SocketState> sockets;     // by descriptor: the sockets this layer holds
thread_local int last_error = 0;        // reason of the last failure

int fail(int code) {
    last_error = code;
    return kSocketError;
}


// The state of socket `s` when this layer holds it and is started, else null with the
// error set.
SocketState* find(Socket s) {
    if (!started) {
        last_error = kErrNotInitialised;
        return nullptr;
    }
    auto it = s <= static_cast<Socket>(INT32_MAX) ? sockets.find(static_cast<int>(s)) : sockets.end();
    if (it == sockets.end()) {
        last_error = kErrNotSocket;
        return nullptr;
    }
    return &it->second;
}

void post(int fd, const SocketState& state, long event, int error) {
    const auto lparam = static_cast<std::intptr_t>((static_cast<unsigned long>(error) << 16) |
                                                   static_cast<unsigned long>(event));
    posix::post_message(state.window, state.message, static_cast<std::uintptr_t>(fd), lparam, true);
}

// What to poll `state` for; 0 when no event of it may be posted now.
short wanted_events(const SocketState& state) {
    if (state.message == 0) return 0;
    if (state.listening) return (state.mask & kFdAccept) != 0 && !state.accept_posted ? POLLIN : 0;
    if (state.read_posted || state.close_posted) return 0;
    if ((state.mask & (kFdRead | kFdClose)) == 0) return 0;
    return POLLIN | POLLRDHUP;
}

void post_close(int fd, SocketState& state, int error) {
    if ((state.mask & kFdClose) == 0) return;
    state.close_posted = true;
    post(fd, state, kFdClose, error != 0 ? posix::socket_error_code(error) : 0);
}

void handle_connection(int fd, SocketState& state, short revents) {
    if ((revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) == 0) return;
    if (!state.ahead) state.ahead = std::make_unique<char[]>(kReadAhead);
    ssize_t n;
    do {
        n = ::recv(fd, state.ahead.get(), kReadAhead, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    state.ahead_count = n > 0 ? static_cast<std::size_t>(n) : 0;
    state.taken = 0;
    if (n > 0) {
        if ((state.mask & kFdRead) != 0) {
            state.read_posted = true;
            post(fd, state, kFdRead, 0);
        }
    } else if (n == 0) {
        post_close(fd, state, 0);
    } else if (errno != EAGAIN) {
        post_close(fd, state, errno);  // reset, or another failure of the connection
    }
}

}  // namespace

namespace posix {

int socket_error_code(int error) {
    switch (error) {
        case EAGAIN: return kErrWouldBlock;
        case ECONNRESET:
        case EPIPE: return kErrConnectionReset;
        case ECONNABORTED: return kErrConnectionAborted;
        case EADDRINUSE: return kErrAddressInUse;
        case EMFILE:
        case ENFILE: return kErrTooManySockets;
        case ENOBUFS:
        case ENOMEM: return kErrNoBuffers;
        case EACCES: return 10013;
        case EINVAL: return 10022;
        default: return kErrNotSocket;
    }
}

void net_add_poll_fds(std::vector<pollfd>& fds) {
    if (!started) return;
    for (const auto& [fd, state] : sockets) {
        const short events = wanted_events(state);
        if (events != 0) fds.push_back({fd, events, 0});
    }
}

void net_handle_poll(const pollfd* fds, std::size_t count) {
    for (std::size_t i = 0; i < count && started; ++i) {
        if (fds[i].revents == 0) continue;
        auto it = sockets.find(fds[i].fd);
        if (it == sockets.end()) continue;
        SocketState& state = it->second;
        if (state.listening) {
            state.accept_posted = true;
            post(fds[i].fd, state, kFdAccept, 0);
        } else {
            handle_connection(fds[i].fd, state, fds[i].revents);
        }
    }
}

}  // namespace posix

int net_startup() {
    started = true;
    if (spare_fd < 0) spare_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    return 0;
}

int net_cleanup() {
    if (!started) return fail(kErrNotInitialised);
    for (const auto& entry : sockets) ::close(entry.first);
    sockets.clear();
    if (spare_fd >= 0) ::close(spare_fd);
    spare_fd = -1;
    started = false;
    posix::drop_socket_messages();
    return 0;
}

Socket tcp_socket() {
    if (!started) return fail(kErrNotInitialised), kInvalidSocket;
    if (fault_now(Fault::NewSocket)) return fail(kErrTooManySockets), kInvalidSocket;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return fail(posix::socket_error_code(errno)), kInvalidSocket;
    sockets[fd] = SocketState{};
    return static_cast<Socket>(fd);
}

int bind_any(Socket s, std::uint16_t port) {
    if (find(s) == nullptr) return kSocketError;
    if (fault_now(Fault::Bind)) return fail(kErrAddressInUse);
    const int fd = static_cast<int>(s);
    const int on = 1;
    // Lets a restarted server bind while old connections linger in TIME_WAIT; on Linux it
    // never lets a second listener take a port in use.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return fail(posix::socket_error_code(errno));
    }
    return 0;
}

int async_select(Socket s, WindowHandle window, unsigned message, long mask) {
    SocketState* state = find(s);
    if (state == nullptr) return kSocketError;
    const int fd = static_cast<int>(s);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    state->window = window;
    state->message = mask != 0 ? message : 0;
    state->mask = mask;
    state->read_posted = state->accept_posted = state->close_posted = false;
    return 0;
}

int listen_socket(Socket s, int backlog) {
    SocketState* state = find(s);
    if (state == nullptr) return kSocketError;
    if (fault_now(Fault::Listen)) return fail(kErrNoBuffers);
    if (::listen(static_cast<int>(s), backlog) != 0) return fail(posix::socket_error_code(errno));
    state->listening = true;
    return 0;
}

// Takes the connection pending on `listener` and closes it at once, with the descriptor
// held in reserve: the connection is refused instead of waiting for a descriptor while
// its accept event fires again and again.
void drop_pending_connection(int listener) {
    if (spare_fd < 0) return;
    ::close(spare_fd);
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) ::close(fd);
    spare_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

Socket accept_socket(Socket s) {
    SocketState* listener = find(s);
    if (listener == nullptr) return kInvalidSocket;
    listener->accept_posted = false;
    if (fault_now(Fault::Accept)) {
        drop_pending_connection(static_cast<int>(s));
        return fail(kErrTooManySockets), kInvalidSocket;
    }
    int fd;
    do {
        fd = ::accept4(static_cast<int>(s), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        if (error == EMFILE || error == ENFILE) drop_pending_connection(static_cast<int>(s));
        // Errors of connections that died while pending count as "nothing pending".
        const bool real = error == EBADF || error == ENOTSOCK || error == EINVAL || error == EMFILE ||
                          error == ENFILE || error == ENOBUFS || error == ENOMEM;
        return fail(real ? posix::socket_error_code(error) : kErrWouldBlock), kInvalidSocket;
    }
    SocketState accepted;
    accepted.window = listener->window;
    accepted.message = listener->message;
    accepted.mask = listener->mask;
    sockets[fd] = std::move(accepted);
    return static_cast<Socket>(fd);
}

int receive(Socket s, char* buffer, int length) {
    SocketState* state = find(s);
    if (state == nullptr) return kSocketError;
    state->read_posted = false;
    if (fault_now(Fault::Recv)) return fail(kErrConnectionReset);
    if (state->taken < state->ahead_count) {
        const std::size_t count =
            std::min(state->ahead_count - state->taken, static_cast<std::size_t>(length > 0 ? length : 0));
        std::memcpy(buffer, state->ahead.get() + state->taken, count);
        state->taken += count;
        // More read ahead than taken: the read event comes again at once, as it would
        // for bytes still waiting in the socket.
        if (state->taken < state->ahead_count && (state->mask & kFdRead) != 0) {
            state->read_posted = true;
            post(static_cast<int>(s), *state, kFdRead, 0);
        }
        return static_cast<int>(count);
    }
    ssize_t n;
    do {
        n = ::recv(static_cast<int>(s), buffer, static_cast<std::size_t>(length), 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? fail(posix::socket_error_code(errno)) : static_cast<int>(n);
}

int send_bytes(Socket s, const char* data, int length) {
    if (find(s) == nullptr) return kSocketError;
    if (fault_now(Fault::Send)) return fail(kErrConnectionReset);
    ssize_t n;
    do {
        n = ::send(static_cast<int>(s), data, static_cast<std::size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? fail(posix::socket_error_code(errno)) : static_cast<int>(n);
}

int shutdown_both(Socket s) {
    if (find(s) == nullptr) return kSocketError;
    return ::shutdown(static_cast<int>(s), SHUT_RDWR) == 0 ? 0 : fail(posix::socket_error_code(errno));
}

int close_socket(Socket s) {
    if (find(s) == nullptr) return kSocketError;
    sockets.erase(static_cast<int>(s));
    ::close(static_cast<int>(s));
    // The next accept may get the same descriptor number: no queued event of this
    // socket may then be taken for one of the new connection.
    posix::drop_socket_messages_of(s);
    return 0;
}

std::uint16_t local_port(Socket s) {
    if (find(s) == nullptr) return 0;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

int last_socket_error() { return last_error; }

}  // namespace qx::platform
