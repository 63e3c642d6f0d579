// The open journal: opening and mending, learning its bookings, and durable group writes.
//
//   opening   journal_open, reopen, mend_end, learn
//   repeats   journal_repeat, same_as_line
//   writing   journal_add, journal_write, cut_back
#include "app/journal.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/booking_memory.h"
#include "platform/files.h"

namespace qx::app {
namespace {

constexpr std::size_t kLongestLine = 16384;        // more than the longest line the journal writes
constexpr std::size_t kLearnBlock = 1 << 20;       // bytes read at a time while learning
constexpr std::string_view kLineStart = "{\"received\":\"";  // how every journal line begins
constexpr std::uint64_t kWaiting = std::uint64_t{1} << 63;  // memory: a line of the group, by its index
constexpr int kCardField = 7;
constexpr int kFunctionKeyField = 4;
constexpr int kDateField = 5;
constexpr int kTimeField = 6;

struct OpenJournal {
    int handle = -1;
    std::string path;
    platform::FileId id;
    std::int64_t end = 0;          // the file's size, as far as this journal wrote it
    bool needs_line_feed = false;  // the file ends in text of another kind without one
    bool new_file = false;         // empty when opened: its folder entry is flushed after the first write
};

OpenJournal journal;
BookingMemory memory(kRememberedBookings);
std::string group;                       // the lines waiting, one after the other
std::vector<std::string> group_requests;  // their requests, in order
std::vector<std::uint64_t> group_keys;    // their memory keys, in order
unsigned long writes = 0;

std::uint64_t key_of(std::string_view request) {
    return BookingMemory::key(journal::request_field(request, kCardField),
                              journal::request_field(request, kFunctionKeyField),
                              journal::request_field(request, kDateField),
                              journal::request_field(request, kTimeField));
}

bool same_booking(std::string_view a, std::string_view b) {
    for (const int field : {kCardField, kFunctionKeyField, kDateField, kTimeField}) {
        if (journal::request_field(a, field) != journal::request_field(b, field)) return false;
    }
    return true;
}

std::string failure(const char* step, const std::string& path) {
    return std::string(step) + " " + path + ": " + platform::file_error_text();
}

// True when `tail`, the text after the journal's last line feed, is the start of a line
// the journal wrote (cut short by a crash), not text of another kind.
bool is_own_cut_line(std::string_view tail) {
    return tail.substr(0, kLineStart.size()) == kLineStart.substr(0, tail.size());
}

// Mends the end of the open journal of `size` bytes: a cut line of its own is cut off,
// other text without a final line feed is marked to get one. False when the end cannot
// be read or cut.
bool mend_end(std::int64_t size) {
    journal.end = size;
    if (size == 0) return true;
    char last = '\0';
    if (platform::file_read_at(journal.handle, size - 1, &last, 1) != 1) return false;
    if (last == '\n') return true;  // the common case: the last line is whole
    const std::size_t scanned = static_cast<std::size_t>(std::min<std::int64_t>(size, kLongestLine));
    std::string end(scanned, '\0');
    if (platform::file_read_at(journal.handle, size - static_cast<std::int64_t>(scanned), end.data(), scanned) !=
        static_cast<long>(scanned)) {
        return false;
    }
    const std::size_t feed = end.rfind('\n');
    const bool whole_tail = feed != std::string::npos || scanned == static_cast<std::size_t>(size);
    const std::string_view tail = std::string_view(end).substr(feed == std::string::npos ? 0 : feed + 1);
    if (whole_tail && is_own_cut_line(tail)) {
        journal.end = size - static_cast<std::int64_t>(tail.size());
        return platform::file_truncate(journal.handle, journal.end);
    }
    journal.needs_line_feed = true;
    return true;
}

// Where the last kRememberedBookings lines of the first `size` bytes begin.
std::int64_t learning_start(std::int64_t size) {
    std::size_t feeds = 0;
    std::vector<char> block(kLearnBlock);
    for (std::int64_t to = size; to > 0;) {
        const std::int64_t from = std::max<std::int64_t>(0, to - static_cast<std::int64_t>(kLearnBlock));
        const long got = platform::file_read_at(journal.handle, from, block.data(), static_cast<std::size_t>(to - from));
        if (got != to - from) return to;  // what cannot be read is not learned
        for (std::int64_t i = to - from - 1; i >= 0; --i) {
            // The line feed before the remembered lines, not counting the file's last one.
            if (block[static_cast<std::size_t>(i)] == '\n' && ++feeds == kRememberedBookings + 1) return from + i + 1;
        }
        to = from;
    }
    return 0;
}

// Remembers the booking of the line at `offset`, when it is a journal line.
void learn_line(std::string_view line, std::int64_t offset) {
    journal::Booking booking;
    std::string problem;
    if (!journal::read_journal_line(line, &booking, &problem)) return;
    memory.add(BookingMemory::key(booking.card, booking.fkey, booking.date, booking.time),
               static_cast<std::uint64_t>(offset));
}

// Learns the bookings of the open journal's last lines.
void learn() {
    memory.clear();
    std::int64_t at = learning_start(journal.end);
    std::string carried;  // the start of a line the last block cut
    std::vector<char> block(kLearnBlock);
    while (at < journal.end) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(journal.end - at, kLearnBlock));
        if (platform::file_read_at(journal.handle, at, block.data(), count) != static_cast<long>(count)) return;
        const std::string_view text(block.data(), count);
        std::size_t start = 0;
        for (std::size_t feed; (feed = text.find('\n', start)) != std::string_view::npos; start = feed + 1) {
            const std::int64_t line_at = at + static_cast<std::int64_t>(start) - static_cast<std::int64_t>(carried.size());
            carried.append(text.substr(start, feed - start));
            learn_line(carried, line_at);
            carried.clear();
        }
        // A piece longer than any journal line is none: it is passed over.
        carried = carried.size() + count - start > kLongestLine ? std::string() : carried + std::string(text.substr(start));
        at += static_cast<std::int64_t>(count);
    }
}

void close_file() {
    if (journal.handle >= 0) platform::file_close(journal.handle);
    journal = OpenJournal{};
    memory.clear();
}

// Where a removed file keeps its name while it is open (Windows), the journal is closed
// between writes ("parked"), so that a journal removed or moved aside frees its path:
// its path, identity and memory stay, and the identity of what the next open gives
// tells whether it is still the same file.
void park() {
    if (!platform::removed_files_keep_their_names_while_open() || journal.handle < 0) return;
    platform::file_close(journal.handle);
    journal.handle = -1;
}

// Opens `path` as the journal (closing another): mended and learnt, the group waiting
// remembered again.
bool reopen(const std::string path, std::string* why) {  // (a copy: closing clears journal.path)
    close_file();
    if (path.size() > kMaxJournalPath) {
        *why = "the journal path is longer than " + std::to_string(kMaxJournalPath) + " characters";
        return false;
    }
    journal.handle = platform::file_open(path.c_str(), platform::FileAccess::AppendShared, kJournalPermission);
    if (journal.handle < 0) return *why = failure("cannot open", path), false;
    const std::int64_t size = platform::file_size(journal.handle);
    if (size < 0 || !platform::file_id(journal.handle, &journal.id)) return *why = failure("cannot look at", path), close_file(), false;
    if (!mend_end(size)) return *why = failure("cannot mend the end of", path), close_file(), false;
    journal.path = path;
    journal.new_file = size == 0;
    learn();
    for (std::size_t i = 0; i < group_keys.size(); ++i) memory.add(group_keys[i], kWaiting | i);
    park();
    return true;
}

// Opens the parked journal again: the same file, or, when its path names another file
// now (moved aside, removed), the journal at that path afresh. A closed file's identity
// can be given to a new one (a file system may reuse the inode of a removed file), so the
// same file is also the size the journal left it.
bool unpark(std::string* why) {
    if (journal.handle >= 0) return true;
    const int handle = platform::file_open(journal.path.c_str(), platform::FileAccess::AppendShared, kJournalPermission);
    platform::FileId id;
    if (handle >= 0 && platform::file_id(handle, &id) && id == journal.id && platform::file_size(handle) == journal.end) {
        journal.handle = handle;
        return true;
    }
    if (handle >= 0) platform::file_close(handle);
    return reopen(journal.path, why) && unpark(why);
}

// True when the line at `offset` of the journal is a booking like `request`.
bool same_as_line(std::uint64_t offset, std::string_view request) {
    const std::int64_t at = static_cast<std::int64_t>(offset);
    const std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(journal.end - at, kLongestLine));
    std::string text(count, '\0');
    std::string why;
    const bool read = at < journal.end && unpark(&why) &&
                      platform::file_read_at(journal.handle, at, text.data(), count) == static_cast<long>(count);
    park();
    if (!read) return false;
    journal::Booking booking;
    std::string problem;
    if (!journal::read_journal_line(std::string_view(text).substr(0, text.find('\n')), &booking, &problem)) return false;
    return same_booking(booking.request, request);
}

// After a failed write of `data` (`written` bytes taken, -1: not known): cuts off again
// whatever of it is at the end of the file.
void cut_back(const std::string& data, long written) {
    const std::int64_t size = platform::file_size(journal.handle);
    for (const std::size_t count : {written >= 0 ? static_cast<std::size_t>(written) : data.size(), std::size_t{0}}) {
        if (count == 0 || size < static_cast<std::int64_t>(count)) continue;
        std::string tail(count, '\0');
        const std::int64_t start = size - static_cast<std::int64_t>(count);
        if (platform::file_read_at(journal.handle, start, tail.data(), count) == static_cast<long>(count) &&
            tail == std::string_view(data).substr(0, count)) {
            platform::file_truncate(journal.handle, start);
        }
    }
    journal.end = std::max<std::int64_t>(0, platform::file_size(journal.handle));
}

void clear_group() {
    group.clear();
    group_requests.clear();
    group_keys.clear();
}

// True when the open journal is still the file its path names, as the path's identity
// says now.
bool still_the_journal() {
    platform::FileId now;
    return platform::path_file_id(journal.path.c_str(), &now) && now == journal.id;
}

}  // namespace

const char* journal_path() {
    const char* path = std::getenv("QX_BOOKINGS");
    return path != nullptr && *path != '\0' ? path : nullptr;
}

bool journal_open(const char* path, std::string* why) {
    if (!journal.path.empty() && journal.path == path) return true;
    return reopen(path, why);
}

void journal_close() {
    clear_group();
    close_file();
}

Repeat journal_repeat(std::string_view request) {
    Repeat found = Repeat::No;
    memory.find(key_of(request), [&](std::uint64_t where) {
        if ((where & kWaiting) != 0) {
            if (!same_booking(group_requests[static_cast<std::size_t>(where & ~kWaiting)], request)) return false;
            found = Repeat::Waiting;
            return true;
        }
        if (!same_as_line(where, request)) return false;
        found = Repeat::Stored;
        return true;
    });
    return found;
}

void journal_add(std::string_view request, std::string_view received, const journal::Origin& origin) {
    group += journal::journal_line(request, received, &origin);
    group_keys.push_back(key_of(request));
    memory.add(group_keys.back(), kWaiting | group_requests.size());
    group_requests.emplace_back(request);
}

bool journal_write(std::string* why) {
    if (group.empty()) return true;
    ++writes;
    const std::size_t lines = group_requests.size();
    const bool ready =
        journal.handle < 0 ? unpark(why) : still_the_journal() || (reopen(journal.path, why) && unpark(why));
    if (!ready) return clear_group(), false;
    if (journal.needs_line_feed) group.insert(0, "\n");
    const std::string& data = group;
    long written = 0;
    const platform::AppendResult result = platform::file_append_durably(journal.handle, data.data(), data.size(), &written);
    if (result != platform::AppendResult::Durable) {
        *why = failure(result == platform::AppendResult::NotWritten ? "cannot write" : "cannot flush", journal.path);
        cut_back(data, written);
        memory.drop_recent(lines);
        park();
        return clear_group(), false;
    }
    // Each line's place, for the repeats of it that may come.
    const std::int64_t at = journal.end;
    for (std::size_t i = 0, start = journal.needs_line_feed ? 1 : 0; i < lines; ++i) {
        memory.move_recent(lines - 1 - i, static_cast<std::uint64_t>(at + static_cast<std::int64_t>(start)));
        start = group.find('\n', start) + 1;
    }
    journal.end += static_cast<std::int64_t>(data.size());
    journal.needs_line_feed = false;
    clear_group();
    park();
    // A new file: its name must last as well as its lines.
    if (journal.new_file && !platform::sync_folder_of(journal.path.c_str())) {
        return *why = failure("cannot flush the folder of", journal.path), false;
    }
    journal.new_file = false;
    return true;
}

unsigned long journal_writes() { return writes; }

}  // namespace qx::app
