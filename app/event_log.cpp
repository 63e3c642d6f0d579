// The event log and its trimming.
//
// The log is kept where it was written, between `start` and `start + length` of a buffer
// twice its capacity, with the places of its line feeds beside it: dropping entries from
// the front moves `start` and nothing else, finding the 15th line feed from the end is a
// look-up, and the text moves only when the buffer's end is reached (about once per
// capacity of text added). A server adds an entry for every request.
#include "app/event_log.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "app/log_view.h"

namespace qx::app {
namespace {

constexpr int kTrimLineFeeds = kLogEntries + 1;
constexpr std::size_t kBufferSize = 2 * kLogCapacity;

char buffer[kBufferSize];                   // the log: `length` bytes at `start`, then NUL
std::size_t start = 0;
std::size_t length = 0;
std::uint64_t dropped = 0;                  // bytes dropped from the front since the reset
platform::WindowHandle log_box = nullptr;   // the box that shows the log, or null

// Line feeds of the log, oldest first, each as `dropped` + its index in the log when it
// was written (so that dropping bytes changes no entry). At most one per byte.
std::uint64_t feeds[kLogCapacity];
bool feed_ends_entry[kLogCapacity];  // the feed of the same index is an entry's last byte
std::size_t first_feed = 0;
std::size_t feed_count = 0;

std::size_t feed_index(std::size_t n) { return (first_feed + n) % kLogCapacity; }

// The log index of line feed n (0: the oldest).
std::size_t feed_at(std::size_t n) { return static_cast<std::size_t>(feeds[feed_index(n)] - dropped); }

// Drops the first `count` bytes of the log.
void drop(std::size_t count) {
    start += count;
    length -= count;
    dropped += count;
    while (feed_count > 0 && feeds[first_feed] < dropped) {
        first_feed = feed_index(1);
        --feed_count;
    }
    if (length == 0) {  // empty: the next entry starts at the front
        start = 0;
        buffer[0] = '\0';
    }
}

// Drops whole entries from the front until `needed` more bytes fit.
void make_room(std::size_t needed) {
    while (length > 0 && length + needed >= kLogCapacity) drop(feed_count > 0 ? feed_at(0) + 1 : length);
}

// Appends `count` bytes of `text` and, when asked, CR LF; then trims and shows.
void append(const char* text, std::size_t count, bool add_crlf) {
    const std::size_t tail = add_crlf ? 2 : 0;
    if (count + tail >= kLogCapacity) count = kLogCapacity - 1 - tail;
    make_room(count + tail);
    if (start + length + count + tail + 1 > kBufferSize) {  // the end is reached: the log moves to the front
        std::memmove(buffer, buffer + start, length);
        start = 0;
    }
    char* entry = buffer + start + length;
    std::memcpy(entry, text, count);
    if (add_crlf) std::memcpy(entry + count, "\r\n", 2);
    entry[count + tail] = '\0';
    const char* const end = entry + count + tail;
    for (const char* p = entry; p != end; ++p) {
        p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (p == nullptr) break;
        feed_ends_entry[feed_index(feed_count)] = p + 1 == end;
        feeds[feed_index(feed_count++)] = dropped + length + static_cast<std::size_t>(p - entry);
    }
    length += count + tail;
    log_trim();
    log_show(entry);  // still whole where it was written, whatever the trim dropped
}

}  // namespace

void log_reset(platform::WindowHandle box) {
    std::memset(buffer, 0, sizeof buffer);
    start = 0;
    length = 0;
    dropped = 0;
    first_feed = 0;
    feed_count = 0;
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
    // A line feed at the very first byte is not counted.
    if (feed_count < static_cast<std::size_t>(kTrimLineFeeds)) return;
    const std::size_t at = feed_at(feed_count - kTrimLineFeeds);
    if (at >= 1) drop(at + 1);
}

void log_show(const char* appended) {
    if (log_box == nullptr) return;
    const platform::LogMedium medium = platform::log_medium(log_box);
    static std::string shown;  // kept from change to change, with its capacity
    shown.clear();
    if (medium == platform::LogMedium::Lines) {
        log_view_line(appended, &shown);
    } else {
        log_view_text(medium, log_entries(), &shown);
    }
    platform::set_log_text(log_box, shown);
}

const char* log_text() { return buffer + start; }

std::vector<std::string_view> log_entries() {
    std::vector<std::string_view> entries;
    const std::string_view text(buffer + start, length);
    std::size_t entry_start = 0;
    for (std::size_t n = 0; n < feed_count; ++n) {
        if (!feed_ends_entry[feed_index(n)]) continue;
        const std::size_t feed = feed_at(n);
        const std::size_t end = feed > entry_start && text[feed - 1] == '\r' ? feed - 1 : feed;
        entries.push_back(text.substr(entry_start, end - entry_start));
        entry_start = feed + 1;
    }
    if (entry_start < text.size()) entries.push_back(text.substr(entry_start));  // cut before its end
    return entries;
}

}  // namespace qx::app
