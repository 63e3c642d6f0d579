// TCP client connections on Linux: non-blocking connect and poll for the time limits.
#include "platform/tcp_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace qx::platform {
namespace {

// Waits for `events` on `fd`; true when they came before the time limit.
bool wait_for(int fd, short events, int timeout_ms) {
    pollfd p{fd, events, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

int connect_one(const addrinfo* a, int timeout_ms) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) return -1;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (errno != EINPROGRESS || !wait_for(fd, POLLOUT, timeout_ms) ||
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            ::close(fd);
            return -1;
        }
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

}  // namespace

ClientSocket client_connect(const char* host, std::uint16_t port, int timeout_ms) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host, service.c_str(), &hints, &found) != 0) return kNoClient;
    int fd = -1;
    for (const addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) fd = connect_one(a, timeout_ms);
    ::freeaddrinfo(found);
    return fd < 0 ? kNoClient : fd;
}

bool client_send_all(ClientSocket c, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::send(static_cast<int>(c), data, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EAGAIN && wait_for(static_cast<int>(c), POLLOUT, -1)) continue;
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

long client_receive(ClientSocket c, char* buffer, std::size_t size, int timeout_ms) {
    if (!wait_for(static_cast<int>(c), POLLIN, timeout_ms)) return kReceiveTimeout;
    ssize_t n;
    do {
        n = ::recv(static_cast<int>(c), buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? kReceiveError : static_cast<long>(n);
}

void client_close(ClientSocket c, bool reset) {
    if (c == kNoClient) return;
    if (reset) {
        const linger abort_on_close{1, 0};
        ::setsockopt(static_cast<int>(c), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
    }
    ::close(static_cast<int>(c));
}

}  // namespace qx::platform
