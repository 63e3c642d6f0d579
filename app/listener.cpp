// Listener start and stop, and the accept and close events.
#include "app/listener.h"

#include <cstdio>
#include <cstring>

#include "app/event_log.h"
#include "app/requests.h"

namespace qx::app {
namespace {

constexpr int kBacklog = 1;

platform::Socket terminal = platform::kInvalidSocket;  // listener, then newest connection
bool connected = false;                               // terminal is an open connection

void add_fixed_entry(const char* text) { log_add_entry(text, static_cast<long>(std::strlen(text))); }

// True when `s` is the open terminal connection, so that its events may act.
bool is_terminal(platform::Socket s) { return connected && s == terminal; }

void close_terminal() {
    platform::shutdown_both(terminal);
    platform::close_socket(terminal);
    connected = false;
}

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
    const auto named = static_cast<platform::Socket>(wparam);
    switch (static_cast<long>(lparam & 0xFFFF)) {
        case platform::kFdAccept: on_accept(named); break;
        case platform::kFdClose:
            if (is_terminal(named)) on_close();
            break;
        case platform::kFdRead:
            if (is_terminal(named)) on_read();
            break;
        default: break;
    }
}

void on_accept(platform::Socket listener) {
    const platform::Socket accepted = platform::accept_socket(listener);
    if (accepted == platform::kInvalidSocket) {
        const int error = platform::last_socket_error();
        // A connection that went away while it waited leaves nothing to accept.
        if (error == platform::kErrWouldBlock) return;
        char entry[64];
        std::snprintf(entry, sizeof entry, "Accept failed! Error code: %d", error);
        add_fixed_entry(entry);
        return;
    }
    if (connected) close_terminal();
    terminal = accepted;
    connected = true;
    add_fixed_entry("Nexolt connected!");
}

void on_close() {
    add_fixed_entry("Nexolt closed connection!");
    platform::close_socket(terminal);
    connected = false;
}

void listener_stop() {
    if (connected) close_terminal();
    platform::net_cleanup();
}

platform::Socket terminal_socket() { return terminal; }

}  // namespace qx::app
