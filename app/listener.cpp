// Listener start and stop, and the accept and close events.
#include "app/listener.h"

#include <cstring>

#include "app/event_log.h"
#include "app/requests.h"

namespace qx::app {
namespace {

constexpr int kBacklog = 1;

platform::Socket terminal = platform::kInvalidSocket;  // listener, then newest connection

void add_fixed_entry(const char* text) { log_add_entry(text, static_cast<long>(std::strlen(text))); }

// Reports a failed start step and closes the window, which ends the run.
bool fail_start(platform::WindowHandle window, const char* text, const char* caption, bool error_icon) {
    platform::message_box(window, text, caption, error_icon);
    platform::send_message(window, platform::kWmDestroy, 0, 0);
    return false;
}

}  // namespace

bool listener_start(platform::WindowHandle window) {
    if (platform::net_startup() != 0) {
        return fail_start(window, "Winsock initialization failed", "Critical Error", true);
    }
    terminal = platform::tcp_socket();
    if (terminal == platform::kInvalidSocket) {
        return fail_start(window, "Socket creation failed", "Critical Error", true);
    }
    if (platform::bind_any(terminal, kTerminalPort) == platform::kSocketError) {
        return fail_start(window, "Unable to bind socket", "Error", false);
    }
    if (platform::async_select(terminal, window, kSocketEventMessage, kSocketEventMask) != 0) {
        return fail_start(window, "WSAAsyncSelect failed", "Critical Error", true);
    }
    if (platform::listen_socket(terminal, kBacklog) == platform::kSocketError) {
        return fail_start(window, "Unable to listen!", "Error", false);
    }
    return true;
}

void on_socket_event(std::uintptr_t wparam, std::intptr_t lparam) {
    switch (static_cast<long>(lparam & 0xFFFF)) {
        case platform::kFdAccept: on_accept(static_cast<platform::Socket>(wparam)); break;
        case platform::kFdClose: on_close(); break;
        case platform::kFdRead: on_read(); break;
        default: break;
    }
}

void on_accept(platform::Socket listener) {
    terminal = platform::accept_socket(listener);
    if (terminal == platform::kInvalidSocket) {
        platform::net_cleanup();
        return;
    }
    add_fixed_entry("Nexolt connected!");
}

void on_close() {
    add_fixed_entry("Nexolt closed connection!");
    platform::close_socket(terminal);
}

void listener_stop() {
    platform::shutdown_both(terminal);
    platform::close_socket(terminal);
    platform::net_cleanup();
}

platform::Socket terminal_socket() { return terminal; }

}  // namespace qx::app
