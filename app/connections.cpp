// The table of open connections, their order of silence and their replies.
//
// Connections live in slots that are reused; a socket finds its slot through a hash
// map. The order of silence is a list through the slots, the most recently heard at its
// back, so the one silent longest is at its front and hearing from one moves it in
// constant time: with thousands of terminals nothing is searched.
#include "app/connections.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "app/site_config.h"

namespace qx::app {
namespace {

constexpr std::size_t kNone = ~std::size_t{0};

struct Slot {
    std::unique_ptr<Connection> connection;  // null: free
    std::size_t earlier = kNone;             // the next less recently heard
    std::size_t later = kNone;               // the next more recently heard
};

std::vector<Slot> slots;
std::vector<std::size_t> free_slots;
std::unordered_map<platform::Socket, std::size_t> by_socket;
std::size_t quietest = kNone;   // front of the order of silence
std::size_t loudest = kNone;    // its back
std::uint64_t next_id = 1;
std::uint64_t hearing = 0;      // the count behind Connection::heard

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void unlink(std::size_t slot) {
    Slot& s = slots[slot];
    (s.earlier == kNone ? quietest : slots[s.earlier].later) = s.later;
    (s.later == kNone ? loudest : slots[s.later].earlier) = s.earlier;
    s.earlier = s.later = kNone;
}

void link_last(std::size_t slot) {
    slots[slot].earlier = loudest;
    (loudest == kNone ? quietest : slots[loudest].later) = slot;
    loudest = slot;
}

std::size_t take_slot() {
    if (free_slots.empty()) {
        slots.emplace_back();
        return slots.size() - 1;
    }
    const std::size_t slot = free_slots.back();
    free_slots.pop_back();
    return slot;
}

void send_now(const Connection& c, const std::string& text) {
    platform::send_bytes(c.socket, text.data(), static_cast<int>(text.size()));
}

}  // namespace

Connection& connection_add(platform::Socket socket, const platform::Ipv4Endpoint& peer) {
    const std::size_t slot = take_slot();
    slots[slot].connection = std::make_unique<Connection>();
    Connection& c = *slots[slot].connection;
    c.socket = socket;
    c.id = next_id++;
    c.slot = slot;
    c.peer = peer;
    c.peer_text = peer_text(peer);
    connection_set_terminal(c, kUnknownTerminal);
    c.connected_ms = now_ms();
    by_socket[socket] = slot;
    link_last(slot);
    c.heard = ++hearing;
    return c;
}

Connection* connection_of(platform::Socket socket) {
    const auto it = by_socket.find(socket);
    return it == by_socket.end() ? nullptr : slots[it->second].connection.get();
}

Connection* connection_at(std::size_t slot, std::uint64_t id) {
    if (slot >= slots.size() || !slots[slot].connection || slots[slot].connection->id != id) return nullptr;
    return slots[slot].connection.get();
}

const Connection* connection_in(std::size_t slot) { return slot < slots.size() ? slots[slot].connection.get() : nullptr; }

std::size_t connection_slots() { return slots.size(); }

std::size_t connection_count() { return by_socket.size(); }

Connection* connection_silent_longest() { return quietest == kNone ? nullptr : slots[quietest].connection.get(); }

void connection_heard(Connection& c) {
    c.heard = ++hearing;
    c.last_request_ms = now_ms();
    if (loudest == c.slot) return;
    unlink(c.slot);
    link_last(c.slot);
}

void connection_count_booking(Connection& c) {
    const long today = local_day();
    if (c.bookings_day != today) {
        c.bookings_day = today;
        c.bookings_today = 0;
    }
    ++c.bookings_today;
}

long local_day() {
    // Worked out again at the next local midnight only: the C library's local time is
    // not a call for every booking.
    static std::int64_t next_midnight_ms = 0;
    static long day = 0;
    const std::int64_t now = now_ms();
    if (now < next_midnight_ms) return day;
    const std::time_t seconds = static_cast<std::time_t>(now / 1000);
    std::tm local = *std::localtime(&seconds);
    day = (local.tm_year + 1900L) * 1000 + local.tm_yday;
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_mday += 1;
    local.tm_isdst = -1;
    next_midnight_ms = static_cast<std::int64_t>(std::mktime(&local)) * 1000;
    return day;
}

void connection_close(Connection& c, bool shut_down) {
    const platform::Socket socket = c.socket;
    const std::size_t slot = c.slot;
    if (shut_down) platform::shutdown_both(socket);
    platform::close_socket(socket);
    by_socket.erase(socket);
    unlink(slot);
    slots[slot].connection.reset();
    free_slots.push_back(slot);
}

void connection_close_all() {
    while (Connection* c = connection_silent_longest()) connection_close(*c, true);
}

void connection_set_terminal(Connection& c, long terminal) {
    c.terminal = terminal;
    if (site().terminals == 1) return;  // the demo's entries have no prefix
    c.prefix = terminal != kUnknownTerminal ? "[T" + std::to_string(terminal) + "] "
                                            : "[" + address_text(c.peer.address) + "] ";
}

const char* log_prefix(const Connection& c) { return c.prefix.c_str(); }

std::string address_text(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF, (address >> 8) & 0xFF,
                  address & 0xFF);
    return text;
}

std::string peer_text(const platform::Ipv4Endpoint& peer) {
    return address_text(peer.address) + ":" + std::to_string(peer.port);
}

void send_reply(Connection& c, const char* text) {
    if (c.pending.empty()) {
        platform::send_bytes(c.socket, text, static_cast<int>(std::strlen(text)));
    } else {
        c.pending.push_back({text, false, true});
    }
}

void connection_hold(Connection& c) { c.pending.push_back({std::string(), true, true}); }

void connection_fill(Connection& c, const char* reply) {
    if (c.pending.size() == 1) {  // the common case: nothing waits behind it
        c.pending.clear();
        if (reply != nullptr) platform::send_bytes(c.socket, reply, static_cast<int>(std::strlen(reply)));
        return;
    }
    for (PendingReply& p : c.pending) {
        if (!p.held) continue;
        p.held = false;
        p.send = reply != nullptr;
        if (reply != nullptr) p.text = reply;
        break;
    }
    while (!c.pending.empty() && !c.pending.front().held) {
        if (c.pending.front().send) send_now(c, c.pending.front().text);
        c.pending.pop_front();
    }
}

}  // namespace qx::app
