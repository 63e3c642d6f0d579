// The event log and its trimming.
#include "app/event_log.h"

#include <cstring>

namespace qx::app {
namespace {

constexpr int kTrimLineFeeds = kLogEntries + 1;

char event_log[kLogCapacity];                  // NUL-terminated entries, each ending CR LF
platform::WindowHandle log_box = nullptr;       // the box that shows the log, or null
char appended_entry[kLogCapacity];              // the entry just added, for log_show

// Drops whole entries from the front until `needed` more bytes fit.
void make_room(std::size_t needed) {
    std::size_t length = std::strlen(event_log);
    while (length > 0 && length + needed >= kLogCapacity) {
        const char* line_feed = static_cast<const char*>(std::memchr(event_log, '\n', length));
        const std::size_t dropped = line_feed != nullptr ? static_cast<std::size_t>(line_feed - event_log) + 1
                                                         : length;
        std::memmove(event_log, event_log + dropped, length - dropped + 1);
        length -= dropped;
    }
}

// Appends `count` bytes of `text` and, when asked, CR LF; then trims and shows.
void append(const char* text, std::size_t count, bool add_crlf) {
    const std::size_t tail = add_crlf ? 2 : 0;
    if (count + tail >= kLogCapacity) count = kLogCapacity - 1 - tail;
    make_room(count + tail);
    char* end = event_log + std::strlen(event_log);
    std::memcpy(end, text, count);
    if (add_crlf) std::memcpy(end + count, "\r\n", 2);
    end[count + tail] = '\0';
    std::memcpy(appended_entry, end, count + tail + 1);
    log_trim();
    log_show(appended_entry);
}

}  // namespace

void log_reset(platform::WindowHandle box) {
    std::memset(event_log, 0, sizeof event_log);
    log_box = box;
}

void log_add_entry(const char* text, long limit) {
    std::size_t count = 0;
    if (limit > 0 && text != nullptr) {
        const void* nul = std::memchr(text, '\0', static_cast<std::size_t>(limit));
        count = nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text)
                               : static_cast<std::size_t>(limit);
    }
    append(text, count, true);
}

void log_add_line(const char* line) { append(line, std::strlen(line), false); }

void log_trim() {
    const std::size_t length = std::strlen(event_log);
    int line_feeds = 0;
    for (std::size_t p = length; p >= 1; --p) {
        if (event_log[p] == '\n' && ++line_feeds == kTrimLineFeeds) {
            std::memmove(event_log, event_log + p + 1, length - p);
            return;
        }
    }
}

void log_show(const char* appended) { platform::set_log_text(log_box, event_log, appended); }

const char* log_text() { return event_log; }

}  // namespace qx::app
