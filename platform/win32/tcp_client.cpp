// TCP client connections on Windows: Windows Sockets with select for the time limits.
#include "platform/tcp_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

namespace qx::platform {
namespace {

// Starts Windows Sockets once for the client side of the process.
bool started() {
    static const bool ok = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}

// Waits until `s` is readable (or writable); true when it became so in time.
bool wait_for(SOCKET s, bool write, int timeout_ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, timeout_ms < 0 ? nullptr : &limit) > 0;
}

SOCKET connect_one(const addrinfo* a, int timeout_ms) {
    const SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) return s;
    u_long non_blocking = 1;
    ioctlsocket(s, FIONBIO, &non_blocking);
    const int result = connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen));
    int error = 0;
    int length = sizeof error;
    if (result != 0 && (WSAGetLastError() != WSAEWOULDBLOCK || !wait_for(s, true, timeout_ms) ||
                        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
                        error != 0)) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return s;
}

}  // namespace

ClientSocket client_connect(const char* host, std::uint16_t port, int timeout_ms) {
    if (!started()) return kNoClient;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host, service.c_str(), &hints, &found) != 0) return kNoClient;
    SOCKET s = INVALID_SOCKET;
    for (const addrinfo* a = found; a != nullptr && s == INVALID_SOCKET; a = a->ai_next) s = connect_one(a, timeout_ms);
    freeaddrinfo(found);
    return s == INVALID_SOCKET ? kNoClient : static_cast<ClientSocket>(s);
}

bool client_send_all(ClientSocket c, const char* data, std::size_t length) {
    while (length > 0) {
        const int chunk = length > 65536 ? 65536 : static_cast<int>(length);
        const int n = send(static_cast<SOCKET>(c), data, chunk, 0);
        if (n <= 0) return false;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

long client_receive(ClientSocket c, char* buffer, std::size_t size, int timeout_ms) {
    if (!wait_for(static_cast<SOCKET>(c), false, timeout_ms)) return kReceiveTimeout;
    const int chunk = size > 65536 ? 65536 : static_cast<int>(size);
    const int n = recv(static_cast<SOCKET>(c), buffer, chunk, 0);
    return n < 0 ? kReceiveError : n;
}

void client_close(ClientSocket c, bool reset) {
    if (c == kNoClient) return;
    if (reset) {
        const linger abort_on_close{1, 0};
        setsockopt(static_cast<SOCKET>(c), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_on_close),
                   sizeof abort_on_close);
    }
    closesocket(static_cast<SOCKET>(c));
}

}  // namespace qx::platform
