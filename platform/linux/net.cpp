// Sockets on Linux with the event semantics of WSAAsyncSelect, on top of the message
// loop's epoll. Per socket the table keeps the window, message and mask asked for, and
// which events are posted and not yet re-enabled, so nothing floods and nothing is lost:
//  - accept: posted when a connection is pending, re-enabled by accept_socket. The
//    listener is watched one report at a time (EPOLLONESHOT), re-armed by accept_socket,
//    and epoll looks again at that moment, as Windows does;
//  - read: posted when unread data is waiting, re-enabled by receive (even a failed one);
//  - close: posted once, when the peer has closed (or reset) and no unread data is left.
// Connections are watched edge-triggered: a report marks the socket readable, and it
// stays so until a receive from the system finds nothing more, so a report that comes
// while a read is posted is kept, not lost, and no system call is spent re-arming. What a
// readable connection holds is read when it may be posted (read-ahead, into one buffer
// of the layer, kept per socket only for what it read), and handed out by receive: so the
// layer knows for sure whether data or the end came, and a request costs three calls:
// epoll_wait, recv, send. The table is indexed by descriptor: nothing grows per event.
// Errors are translated once here into the Windows Sockets codes of platform/net.h.
#include "platform/net.h"
#include "platform/faults.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/event_loop.h"

namespace qx::platform {
namespace {

struct SocketState {
    bool in_use = false;            // this layer holds the descriptor
    bool listening = false;         // listen_socket was called
    bool connection = false;        // accepted by accept_socket
    bool watched = false;           // registered with the loop's epoll
    WindowHandle window = nullptr;  // where its messages go
    unsigned message = 0;           // the message number, 0: not selected
    long mask = 0;                  // events asked for
    bool read_posted = false;       // FD_READ posted, not re-enabled by receive yet
    bool accept_posted = false;     // FD_ACCEPT posted, not re-enabled by accept yet
    bool close_posted = false;      // FD_CLOSE posted (only ever once per selection)
    bool readable = false;          // connection: data or the end may be waiting
    bool ended = false;             // connection: a report said the peer closed or failed
    std::string ahead;              // bytes read ahead and not all taken yet
    std::size_t taken = 0;          // of them, those already taken by receive
};

constexpr std::size_t kReadAhead = 64 * 1024;  // bytes one read-ahead takes at most
constexpr std::size_t kKeptAhead = 4096;       // read-ahead room a socket keeps once taken
constexpr std::uint32_t kConnectionEvents = EPOLLIN | EPOLLRDHUP | EPOLLET;
constexpr std::uint32_t kListenerEvents = EPOLLIN | EPOLLONESHOT;

bool started = false;                   // between net_startup and net_cleanup
int spare_fd = -1;                      // held in reserve to take and drop a connection
                                        // that cannot be accepted for want of descriptors
std::vector<SocketState> sockets;       // by descriptor: the sockets this layer holds
std::vector<int> ready_list;            // connections that may have something to post
char scratch[kReadAhead];               // what one recv of a read-ahead takes
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
    if (s >= sockets.size() || !sockets[s].in_use) {
        last_error = kErrNotSocket;
        return nullptr;
    }
    return &sockets[s];
}

SocketState& add_socket(int fd) {
    const auto index = static_cast<std::size_t>(fd);
    if (index >= sockets.size()) sockets.resize(std::max(index + 1, sockets.size() * 2));
    sockets[index] = SocketState{};
    sockets[index].in_use = true;
    return sockets[index];
}

void post(int fd, const SocketState& state, long event, int error) {
    const auto lparam = static_cast<std::intptr_t>((static_cast<unsigned long>(error) << 16) |
                                                   static_cast<unsigned long>(event));
    linux_os::post_message(state.window, state.message, static_cast<std::uintptr_t>(fd), lparam, true);
}

// Registers `fd` with the loop's epoll for `events`, or changes its registration.
void watch(int fd, SocketState& state, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = static_cast<std::uint64_t>(fd);
    ::epoll_ctl(linux_os::loop_epoll(), state.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event);
    state.watched = true;
}

// True when an accept event of listener `state` may be posted now.
bool may_accept(const SocketState& state) {
    return state.message != 0 && (state.mask & kFdAccept) != 0 && !state.accept_posted;
}

// Arms the listener for one accept report, when one may be posted.
void arm_listener(int fd, SocketState& state) {
    if (may_accept(state)) watch(fd, state, kListenerEvents);
}

// True when a read or close event of connection `state` may be posted now.
bool may_post(const SocketState& state) {
    return state.message != 0 && !state.read_posted && !state.close_posted && (state.mask & (kFdRead | kFdClose)) != 0;
}

// Marks connection `fd` as worth a look by net_post_ready.
void mark_ready(int fd, SocketState& state) {
    state.readable = true;
    if (may_post(state)) ready_list.push_back(fd);
}

// Appends to the read-ahead of connection `fd` what came after it (the end, or a failure,
// stays for the next read-ahead to post).
void top_up(int fd, SocketState& state) {
    ssize_t n;
    do {
        n = ::recv(fd, scratch, kReadAhead, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        state.ahead.erase(0, state.taken);
        state.taken = 0;
        state.ahead.append(scratch, static_cast<std::size_t>(n));
    }
    // Still readable after a full buffer, at the end, or after a failure (both to post).
    state.readable = n > 0 ? static_cast<std::size_t>(n) == kReadAhead || state.ended : n == 0 || errno != EAGAIN;
}

// Gives back the read-ahead room of a socket that took a large read, once it is all taken.
void release_ahead(SocketState& state) {
    state.taken = 0;
    if (state.ahead.capacity() > kKeptAhead) {
        std::string().swap(state.ahead);
    } else {
        state.ahead.clear();
    }
}

// Posts a read event and holds further ones back until the next receive.
void post_read(int fd, SocketState& state) {
    state.read_posted = true;
    post(fd, state, kFdRead, 0);
}

void post_close(int fd, SocketState& state, int error) {
    if ((state.mask & kFdClose) == 0) return;
    state.close_posted = true;
    post(fd, state, kFdClose, error != 0 ? linux_os::socket_error_code(error) : 0);
}

// Reads ahead what connection `fd` holds and posts what it found: data, the end, or
// nothing (then it is no longer readable).
void read_ahead(int fd, SocketState& state) {
    ssize_t n;
    do {
        n = ::recv(fd, scratch, kReadAhead, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    // Less than asked and no end reported: nothing is left, and what comes later is
    // reported anew (edge-triggered).
    state.readable = n > 0 && (static_cast<std::size_t>(n) == kReadAhead || state.ended);
    if (n > 0) {
        state.ahead.erase(0, state.taken);  // bytes not yet taken stay, before the new ones
        state.taken = 0;
        state.ahead.append(scratch, static_cast<std::size_t>(n));
        if ((state.mask & kFdRead) != 0) {
            post_read(fd, state);
        }
    } else if (n == 0) {
        post_close(fd, state, 0);
    } else if (errno != EAGAIN) {
        post_close(fd, state, errno);  // reset, or another failure of the connection
    }
}

}  // namespace

namespace linux_os {

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

void net_handle_event(int fd, std::uint32_t events) {
    if (!started || static_cast<std::size_t>(fd) >= sockets.size() || !sockets[static_cast<std::size_t>(fd)].in_use) return;
    SocketState& state = sockets[static_cast<std::size_t>(fd)];
    if (state.listening) {
        // A report armed before a selection without FD_ACCEPT posts nothing.
        if (!may_accept(state)) return;
        state.accept_posted = true;
        post(fd, state, kFdAccept, 0);
        return;
    }
    if ((events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0) state.ended = true;
    mark_ready(fd, state);
}

void net_post_ready() {
    // Each connection at most once per call: one that reads a full buffer goes on at the
    // next call, after the messages posted now.
    static std::vector<int> now;
    now.swap(ready_list);
    for (const int fd : now) {
        if (!started || static_cast<std::size_t>(fd) >= sockets.size()) break;
        SocketState& state = sockets[static_cast<std::size_t>(fd)];
        if (state.in_use && state.connection && state.readable && may_post(state)) read_ahead(fd, state);
    }
    now.clear();
}

}  // namespace linux_os

int net_startup() {
    if (linux_os::loop_epoll() < 0) return fail(10091);  // WSASYSNOTREADY: no loop to serve
    started = true;
    if (spare_fd < 0) spare_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    return 0;
}

int net_cleanup() {
    if (!started) return fail(kErrNotInitialised);
    for (std::size_t fd = 0; fd < sockets.size(); ++fd) {
        if (sockets[fd].in_use) ::close(static_cast<int>(fd));  // which ends its epoll registration too
    }
    sockets.clear();
    ready_list.clear();
    if (spare_fd >= 0) ::close(spare_fd);
    spare_fd = -1;
    started = false;
    linux_os::drop_socket_messages();
    return 0;
}

Socket tcp_socket() {
    if (!started) return fail(kErrNotInitialised), kInvalidSocket;
    if (fault_now(Fault::NewSocket)) return fail(kErrTooManySockets), kInvalidSocket;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return fail(linux_os::socket_error_code(errno)), kInvalidSocket;
    add_socket(fd);
    return static_cast<Socket>(fd);
}

int bind_address(Socket s, std::uint32_t address, std::uint16_t port) {
    if (find(s) == nullptr) return kSocketError;
    if (fault_now(Fault::Bind)) return fail(kErrAddressInUse);
    const int fd = static_cast<int>(s);
    const int on = 1;
    // Lets a restarted server bind while old connections linger in TIME_WAIT; on Linux it
    // never lets a second listener take a port in use.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail(errno == EADDRNOTAVAIL ? kErrAddressNotAvailable : linux_os::socket_error_code(errno));
    }
    return 0;
}

int bind_any(Socket s, std::uint16_t port) { return bind_address(s, kAnyAddress, port); }

int async_select(Socket s, WindowHandle window, unsigned message, long mask) {
    SocketState* state = find(s);
    if (state == nullptr) return kSocketError;
    const int fd = static_cast<int>(s);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    state->window = window;
    state->message = mask != 0 ? message : 0;
    state->mask = mask;
    state->read_posted = state->accept_posted = state->close_posted = false;
    // What already holds is posted at once: epoll looks at a listener when it is armed,
    // and a connection is looked at by the next net_post_ready.
    if (state->listening) arm_listener(fd, *state);
    if (state->connection && state->message != 0 && !state->watched) watch(fd, *state, kConnectionEvents);
    if (state->connection) {
        // Bytes read ahead and not taken are data waiting, posted at once.
        const bool waiting = state->taken < state->ahead.size() && (mask & kFdRead) != 0;
        if (waiting && may_post(*state)) {
            post_read(fd, *state);
        } else {
            mark_ready(fd, *state);
        }
    }
    return 0;
}

int listen_socket(Socket s, int backlog) {
    SocketState* state = find(s);
    if (state == nullptr) return kSocketError;
    if (fault_now(Fault::Listen)) return fail(kErrNoBuffers);
    if (::listen(static_cast<int>(s), backlog) != 0) return fail(linux_os::socket_error_code(errno));
    state->listening = true;
    arm_listener(static_cast<int>(s), *state);
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

// accept4 on `listener`: the new descriptor, or -1 with the error set.
int accept_connection(int listener, Ipv4Endpoint* peer) {
    if (fault_now(Fault::Accept)) {
        drop_pending_connection(listener);
        return fail(kErrTooManySockets);
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    int fd;
    do {
        fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        if (error == EMFILE || error == ENFILE) drop_pending_connection(listener);
        // Errors of connections that died while pending count as "nothing pending".
        const bool real = error == EBADF || error == ENOTSOCK || error == EINVAL || error == EMFILE ||
                          error == ENFILE || error == ENOBUFS || error == ENOMEM;
        return fail(real ? linux_os::socket_error_code(error) : kErrWouldBlock);
    }
    if (peer != nullptr) *peer = {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
    return fd;
}

Socket accept_socket(Socket s, Ipv4Endpoint* peer) {
    SocketState* listener = find(s);
    if (listener == nullptr) return kInvalidSocket;
    listener->accept_posted = false;
    const int fd = accept_connection(static_cast<int>(s), peer);
    // Re-enabled: armed again, and epoll looks at once for a further pending connection.
    if (listener->listening) arm_listener(static_cast<int>(s), *listener);
    if (fd < 0) return kInvalidSocket;
    const SocketState inherited = *listener;  // (the table may grow below)
    SocketState& accepted = add_socket(fd);
    accepted.connection = true;
    accepted.window = inherited.window;
    accepted.message = inherited.message;
    accepted.mask = inherited.mask;
    // Edge-triggered: a connection whose data came with it is reported at once all the same.
    if (accepted.message != 0) watch(fd, accepted, kConnectionEvents);
    return static_cast<Socket>(fd);
}

Socket accept_socket(Socket s) { return accept_socket(s, nullptr); }

int set_keep_alive(Socket s, int idle_seconds, int interval_seconds) {
    if (find(s) == nullptr) return kSocketError;
    const int fd = static_cast<int>(s);
    const int on = 1;
    const bool ok = ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
                    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle_seconds, sizeof idle_seconds) == 0 &&
                    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval_seconds, sizeof interval_seconds) == 0;
    return ok ? 0 : fail(linux_os::socket_error_code(errno));
}

long raise_descriptor_limit(long needed) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < static_cast<rlim_t>(needed)) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? static_cast<rlim_t>(needed)
                                                          : std::min(limit.rlim_max, static_cast<rlim_t>(needed));
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? needed : static_cast<long>(limit.rlim_cur);
}

int receive(Socket s, char* buffer, int length) {
    SocketState* state = find(s);
    if (state == nullptr) return kSocketError;
    state->read_posted = false;
    if (fault_now(Fault::Recv)) return fail(kErrConnectionReset);
    if (state->taken < state->ahead.size()) {
        // Bytes that came after the read-ahead go to the same receive, as on Windows.
        if (state->ahead.size() - state->taken < static_cast<std::size_t>(length) && state->readable) {
            top_up(static_cast<int>(s), *state);
        }
        const std::size_t count =
            std::min(state->ahead.size() - state->taken, static_cast<std::size_t>(length > 0 ? length : 0));
        std::memcpy(buffer, state->ahead.data() + state->taken, count);
        state->taken += count;
        // More read ahead than taken: the read event comes again at once, as it would
        // for bytes still waiting in the socket.
        if (state->taken < state->ahead.size() && (state->mask & kFdRead) != 0) {
            post_read(static_cast<int>(s), *state);
        } else if (state->taken == state->ahead.size()) {
            release_ahead(*state);
            if (state->readable) mark_ready(static_cast<int>(s), *state);
        }
        return static_cast<int>(count);
    }
    if (state->readable) mark_ready(static_cast<int>(s), *state);
    ssize_t n;
    do {
        n = ::recv(static_cast<int>(s), buffer, static_cast<std::size_t>(length), 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? fail(linux_os::socket_error_code(errno)) : static_cast<int>(n);
}

int send_bytes(Socket s, const char* data, int length) {
    if (find(s) == nullptr) return kSocketError;
    if (fault_now(Fault::Send)) return fail(kErrConnectionReset);
    ssize_t n;
    do {
        n = ::send(static_cast<int>(s), data, static_cast<std::size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? fail(linux_os::socket_error_code(errno)) : static_cast<int>(n);
}

int shutdown_both(Socket s) {
    if (find(s) == nullptr) return kSocketError;
    return ::shutdown(static_cast<int>(s), SHUT_RDWR) == 0 ? 0 : fail(linux_os::socket_error_code(errno));
}

int close_socket(Socket s) {
    SocketState* state = find(s);
    if (state == nullptr) return kSocketError;
    *state = SocketState{};
    ::close(static_cast<int>(s));  // which ends its epoll registration too
    // The next accept may get the same descriptor number: no queued event of this
    // socket may then be taken for one of the new connection.
    linux_os::drop_socket_messages_of(s);
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
