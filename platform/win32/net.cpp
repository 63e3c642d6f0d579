// Sockets on Windows: Windows Sockets 2.2 with WSAAsyncSelect, which gives the event
// semantics of platform/net.h itself. No SO_REUSEADDR: on Windows it would let a second
// process take a port that a listener holds. Owns where the sockets' messages go (the
// window and message of the last async_select; accepted sockets inherit their
// listener's), so that closing a socket can drop its messages still queued.
#include "platform/net.h"

#include <winsock2.h>
#include <mstcpip.h>

#include <vector>

namespace qx::platform {
namespace {

constexpr WORD kVersion = MAKEWORD(2, 2);

HWND message_window = nullptr;  // where the sockets' messages go
UINT socket_message = 0;

SOCKET native(Socket s) { return static_cast<SOCKET>(s); }

// Takes the queued messages of closed socket `s` out of the queue; the others are posted
// again in their order.
void drop_queued_messages(SOCKET s) {
    if (message_window == nullptr) return;
    std::vector<MSG> others;
    MSG m;
    while (PeekMessageA(&m, message_window, socket_message, socket_message, PM_REMOVE)) {
        if (m.wParam != s) others.push_back(m);
    }
    for (const MSG& other : others) PostMessageA(other.hwnd, other.message, other.wParam, other.lParam);
}

}  // namespace

int net_startup() {
    WSADATA data;
    return WSAStartup(kVersion, &data);
}

int net_cleanup() { return WSACleanup(); }

Socket tcp_socket() { return static_cast<Socket>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }

int bind_address(Socket s, std::uint32_t address, std::uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    return bind(native(s), reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

int bind_any(Socket s, std::uint16_t port) { return bind_address(s, kAnyAddress, port); }

int async_select(Socket s, WindowHandle window, unsigned message, long mask) {
    if (window != nullptr) {
        message_window = reinterpret_cast<HWND>(window);
        socket_message = message;
    }
    return WSAAsyncSelect(native(s), reinterpret_cast<HWND>(window), message, mask);
}

int listen_socket(Socket s, int backlog) { return listen(native(s), backlog); }

Socket accept_socket(Socket s, Ipv4Endpoint* peer) {
    sockaddr_in address{};
    int length = sizeof address;
    const SOCKET accepted = accept(native(s), reinterpret_cast<sockaddr*>(&address), &length);
    if (accepted != INVALID_SOCKET && peer != nullptr) *peer = {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
    return static_cast<Socket>(accepted);
}

Socket accept_socket(Socket s) { return accept_socket(s, nullptr); }

int set_keep_alive(Socket s, int idle_seconds, int interval_seconds) {
    tcp_keepalive times{1, static_cast<ULONG>(idle_seconds) * 1000, static_cast<ULONG>(interval_seconds) * 1000};
    DWORD returned = 0;
    return WSAIoctl(native(s), SIO_KEEPALIVE_VALS, &times, sizeof times, nullptr, 0, &returned, nullptr, nullptr);
}

long raise_descriptor_limit(long needed) { return needed; }

int receive(Socket s, char* buffer, int length) { return recv(native(s), buffer, length, 0); }

int send_bytes(Socket s, const char* data, int length) { return send(native(s), data, length, 0); }

int shutdown_both(Socket s) { return shutdown(native(s), SD_BOTH); }

int close_socket(Socket s) {
    const int result = closesocket(native(s));
    if (result == 0) drop_queued_messages(native(s));
    return result;
}

std::uint16_t local_port(Socket s) {
    sockaddr_in address{};
    int length = sizeof address;
    if (getsockname(native(s), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

int last_socket_error() { return WSAGetLastError(); }

}  // namespace qx::platform
