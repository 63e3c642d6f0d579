// Bookings logged and answered, at once or after the journal's group is durable.
#include "app/commit.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/booking.h"
#include "app/event_log.h"
#include "app/journal.h"
#include "support/journal_line.h"
#include "support/text.h"

namespace qx::app {
namespace {

constexpr int kCardField = 7;

// A booking waiting for the journal's flush.
struct Held {
    std::size_t slot;     // its connection (connection_at)
    std::uint64_t id;
    std::string request;
    std::string prefix;   // its connection's log prefix when it came
    Repeat repeat;        // No: its line is in the group
};

platform::WindowHandle flush_window = nullptr;
bool flush_posted = false;
std::vector<Held> held;

// The time now as received_time_text. The local time is worked out once a second (the C
// library's localtime looks at the zone's file each time): within a second only the
// milliseconds change. An offset changes (summer time) at a whole second, so it is never
// missed; a new zone (TZ, the zone's file replaced) shows from the next second on.
std::string received_now() {
    static std::time_t second = -1;
    static std::string text;
    const auto now = std::chrono::system_clock::now();
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const int part = static_cast<int>(milliseconds % 1000);
    if (seconds != second) {
        second = seconds;
        text = journal::received_time_text(seconds, part);
    }
    const char digits[3] = {static_cast<char>('0' + part / 100), static_cast<char>('0' + part / 10 % 10),
                            static_cast<char>('0' + part % 10)};
    text.replace(text.find('.') + 1, 3, digits, 3);
    return text;
}

void log_line(const std::string& prefix, const char* request, bool repeat) {
    char line[kBookingLineSize];
    booking_line(request, line);
    if (prefix.empty() && !repeat) return log_add_line(line);  // one terminal's entry: the line alone
    std::string entry = prefix + line;
    if (repeat) entry.insert(entry.size() - 2, kRepeatMark);  // before its CR LF
    log_add_line(entry.c_str());
}

void log_not_stored(const std::string& prefix, const char* request, const std::string& why) {
    char card[text::kFieldBufferSize];
    text::copy_text(card, sizeof card, text::field_at(kCardField, request, ','));
    const std::string entry = prefix + "Booking of card " + card + " not stored (no reply): " + why;
    log_add_entry(entry.c_str(), static_cast<long>(entry.size()));
}

void answer(Connection& c, const char* request, bool now) {
    char reply[kBookingReplySize];
    booking_reply(request, reply);
    if (now) {
        send_reply(c, reply);
    } else {
        connection_fill(c, reply);
    }
    connection_count_booking(c);
}

void request_flush() {
    if (flush_posted) return;
    flush_posted = platform::post_message(flush_window, kFlushMessage, 0, 0);
    if (!flush_posted) commit_flush();  // the queue is full: no waiting then
}

}  // namespace

void commit_start(platform::WindowHandle window) { flush_window = window; }

void take_booking(Connection& c, const char* request) {
    const char* path = journal_path();
    if (path == nullptr) {
        log_line(c.prefix, request, false);
        return answer(c, request, true);
    }
    std::string why;
    if (!journal_open(path, &why)) return log_not_stored(log_prefix(c), request, why);
    const Repeat repeat = journal_repeat(request);
    if (repeat == Repeat::No) journal_add(request, received_now(), journal::Origin{c.peer_text, c.terminal});
    held.push_back({c.slot, c.id, request, log_prefix(c), repeat});
    connection_hold(c);
    request_flush();
}

void commit_flush() {
    flush_posted = false;
    if (held.empty()) return;
    std::string why;
    const bool stored = journal_write(&why);
    static std::vector<Held> done;  // kept from flush to flush, with its capacity
    done.swap(held);
    for (const Held& h : done) {
        Connection* c = connection_at(h.slot, h.id);  // null: closed since, nobody to answer
        if (stored || h.repeat == Repeat::Stored) {
            log_line(h.prefix, h.request.c_str(), h.repeat != Repeat::No);
            if (c != nullptr) answer(*c, h.request.c_str(), false);
        } else {
            log_not_stored(h.prefix, h.request.c_str(), why);
            if (c != nullptr) connection_fill(*c, nullptr);
        }
    }
    done.clear();
}

}  // namespace qx::app
