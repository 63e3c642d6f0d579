// Listener start and stop, and the accept and close events.
#include "app/listener.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/connections.h"
#include "app/event_log.h"
#include "app/requests.h"
#include "app/site_config.h"
#include "app/status.h"

namespace qx::app {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kRefusalMemory = 1024;  // addresses whose refusal was logged lately

struct Refusal {
    std::uint32_t address = 0;
    Clock::time_point logged;  // when its refusal was last logged
    bool used = false;
};

platform::Socket listener = platform::kInvalidSocket;
std::array<Refusal, kRefusalMemory> refusals;

void add_fixed_entry(const char* text) { log_add_entry(text, static_cast<long>(std::strlen(text))); }

// `text` as an entry of `c`, behind its prefix.
void add_connection_entry(const Connection& c, const char* text) {
    const char* prefix = log_prefix(c);
    if (*prefix == '\0') return add_fixed_entry(text);
    add_fixed_entry((std::string(prefix) + text).c_str());
}

// Reports a failed start step and closes the window, which ends the run.
bool fail_start(platform::WindowHandle window, const char* text, const char* caption, bool error_icon) {
    platform::message_box(window, text, caption, error_icon);
    platform::send_message(window, platform::kWmDestroy, 0, 0);
    return false;
}

// True when a refusal of `address` is to be logged now: not logged in the last minute,
// and there is room to remember it.
bool refusal_to_log(std::uint32_t address) {
    const Clock::time_point now = Clock::now();
    const auto stale = [&](const Refusal& r) { return !r.used || now - r.logged >= std::chrono::seconds(kRefusalLogSeconds); };
    const auto known = std::find_if(refusals.begin(), refusals.end(),
                                    [&](const Refusal& r) { return r.used && r.address == address; });
    auto place = known != refusals.end() ? known : std::find_if(refusals.begin(), refusals.end(), stale);
    if (place == refusals.end() || !stale(*place)) return false;
    *place = {address, now, true};
    return true;
}

void refuse(platform::Socket accepted, const platform::Ipv4Endpoint& peer) {
    platform::close_socket(accepted);
    if (!refusal_to_log(peer.address)) return;
    const std::string entry = "[" + address_text(peer.address) + "] Refused: not a terminal host (QX_TERMINAL_HOSTS)";
    add_fixed_entry(entry.c_str());
}

// Makes room for one more connection: closes the one silent longest.
void make_room() {
    Connection* quietest = connection_silent_longest();
    if (site().terminals > 1) {
        add_connection_entry(*quietest, ("Closed: silent longest, to make room (QX_TERMINALS=" +
                                         std::to_string(site().terminals) + ")")
                                            .c_str());
    }
    connection_close(*quietest, true);
}

void on_close(Connection& c) {
    add_connection_entry(c, "Nexolt closed connection!");
    connection_close(c, false);
    status_connections_changed();
}

}  // namespace

bool listener_start(platform::WindowHandle window) {
    if (platform::net_startup() != 0) {
        return fail_start(window, "Winsock initialization failed", "Critical Error", true);
    }
    listener = platform::tcp_socket();
    if (listener == platform::kInvalidSocket) {
        return fail_start(window, "Socket creation failed", "Critical Error", true);
    }
    if (platform::bind_address(listener, site().listen_address, kTerminalPort) == platform::kSocketError) {
        return fail_start(window, "Unable to bind socket", "Error", false);
    }
    if (platform::async_select(listener, window, kSocketEventMessage, kSocketEventMask) != 0) {
        return fail_start(window, "WSAAsyncSelect failed", "Critical Error", true);
    }
    // One terminal: the backlog of one the demo always had; a site: room for all at once.
    const int backlog = static_cast<int>(std::min<long>(site().terminals, kMaxBacklog));
    if (platform::listen_socket(listener, backlog) == platform::kSocketError) {
        return fail_start(window, "Unable to listen!", "Error", false);
    }
    return true;
}

void on_socket_event(std::uintptr_t wparam, std::intptr_t lparam) {
    const auto named = static_cast<platform::Socket>(wparam);
    const long event = static_cast<long>(lparam & 0xFFFF);
    if (event == platform::kFdAccept) return on_accept(named);
    Connection* c = connection_of(named);
    if (c == nullptr) return;  // a socket closed since: its late events act on nothing
    if (event == platform::kFdClose) on_close(*c);
    if (event == platform::kFdRead) on_read(*c);
}

void on_accept(platform::Socket listening) {
    platform::Ipv4Endpoint peer;
    const platform::Socket accepted = platform::accept_socket(listening, &peer);
    if (accepted == platform::kInvalidSocket) {
        const int error = platform::last_socket_error();
        // A connection that went away while it waited leaves nothing to accept.
        if (error == platform::kErrWouldBlock) return;
        char entry[64];
        std::snprintf(entry, sizeof entry, "Accept failed! Error code: %d", error);
        add_fixed_entry(entry);
        return;
    }
    if (!host_allowed(site(), peer.address)) return refuse(accepted, peer);
    if (connection_count() >= static_cast<std::size_t>(site().terminals)) make_room();
    Connection& c = connection_add(accepted, peer);
    if (site().terminals > 1) {
        platform::set_keep_alive(accepted, kKeepAliveIdleSeconds, kKeepAliveIntervalSeconds);
    }
    add_connection_entry(c, "Nexolt connected!");
    status_connections_changed();
}

void listener_stop() {
    connection_close_all();
    platform::net_cleanup();
}

}  // namespace qx::app
