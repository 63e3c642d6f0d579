// Appending bookings to the journal durably.
#include "app/journal.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "app/event_log.h"
#include "platform/files.h"
#include "support/journal_line.h"
#include "support/text.h"

namespace qx::app {
namespace {

constexpr std::size_t kTailScan = 16384;  // more than the longest line the journal writes
constexpr std::string_view kLineStart = "{\"received\":\"";  // how every journal line begins
constexpr int kCardField = 7;
constexpr char kJournalVariable[] = "QX_BOOKINGS";

// An open journal file, closed when it goes out of scope.
class OpenJournal {
  public:
    explicit OpenJournal(const char* path) : handle_(platform::file_open(path, platform::FileAccess::AppendCreate,
                                                                         kJournalPermission)) {}
    ~OpenJournal() {
        if (handle_ >= 0) platform::file_close(handle_);  // after a flush: nothing left to lose
    }
    OpenJournal(const OpenJournal&) = delete;
    OpenJournal& operator=(const OpenJournal&) = delete;
    int handle() const { return handle_; }

  private:
    int handle_;
};

// True when `tail`, the text after the journal's last line feed, is the start of a line
// the journal wrote (cut short by a crash), not text of another kind.
bool is_own_cut_line(std::string_view tail) {
    return tail.substr(0, kLineStart.size()) == kLineStart.substr(0, tail.size());
}

// Prepares the end of a journal of `size` bytes (> 0) for `line`: a cut line of its own
// is cut off (`keep` becomes its start), other text without a final line feed gets one
// before `line`. False when the end cannot be read or cut.
bool mend_end(int handle, std::int64_t size, std::string* line, std::int64_t* keep) {
    char last = '\0';
    if (platform::file_read_at(handle, size - 1, &last, 1) != 1) return false;
    if (last == '\n') return true;  // the common case: the last line is whole
    const std::size_t scanned = static_cast<std::size_t>(std::min<std::int64_t>(size, kTailScan));
    std::string end(scanned, '\0');
    if (platform::file_read_at(handle, size - static_cast<std::int64_t>(scanned), end.data(), scanned) !=
        static_cast<long>(scanned)) {
        return false;
    }
    const std::size_t feed = end.rfind('\n');
    const bool whole_tail = feed != std::string::npos || scanned == static_cast<std::size_t>(size);
    const std::string_view tail = std::string_view(end).substr(feed == std::string::npos ? 0 : feed + 1);
    if (whole_tail && is_own_cut_line(tail)) {
        *keep = size - static_cast<std::int64_t>(tail.size());
        return platform::file_truncate(handle, *keep);
    }
    line->insert(0, "\n");
    return true;
}

// Writes `line` whole at the end (one write, unless the system takes less).
bool write_whole(int handle, const std::string& line) {
    for (std::size_t done = 0; done < line.size();) {
        const long n = platform::file_write(handle, line.data() + done, line.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string now_text() {
    const auto now = std::chrono::system_clock::now();
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return journal::received_time_text(std::chrono::system_clock::to_time_t(now), static_cast<int>(milliseconds));
}

}  // namespace

JournalResult append_to_journal(const char* path, std::string_view request, std::string_view received,
                                std::string* why) {
    const auto fail = [&](const char* step) {
        *why = std::string(step) + " " + path + ": " + platform::file_error_text();
        return JournalResult::NotStored;
    };
    if (std::strlen(path) > kMaxJournalPath) {
        *why = "the journal path is longer than " + std::to_string(kMaxJournalPath) + " characters";
        return JournalResult::NotStored;
    }
    OpenJournal journal(path);
    if (journal.handle() < 0) return fail("cannot open");
    const std::int64_t size = platform::file_size(journal.handle());
    if (size < 0) return fail("cannot look at");
    std::string line = journal::journal_line(request, received);
    std::int64_t keep = size;  // where the journal ends before this booking
    if (size > 0 && !mend_end(journal.handle(), size, &line, &keep)) return fail("cannot mend the end of");
    // A line that is not whole on disk is cut off again: no part of it stays behind.
    const auto undo = [&](const char* step) {
        fail(step);
        platform::file_truncate(journal.handle(), keep);
        return JournalResult::NotStored;
    };
    if (!write_whole(journal.handle(), line)) return undo("cannot write");
    if (!platform::file_sync(journal.handle())) return undo("cannot flush");
    // A new file: its name must last as well as its line.
    if (size == 0 && !platform::sync_folder_of(path)) return fail("cannot flush the folder of");
    return JournalResult::Stored;
}

bool journal_booking(const char* request) {
    // Not one of the remembered names: read afresh for every booking.
    const char* path = std::getenv(kJournalVariable);
    if (path == nullptr || *path == '\0') return true;
    std::string why;
    if (append_to_journal(path, request, now_text(), &why) == JournalResult::Stored) return true;
    char card[text::kFieldBufferSize];
    text::copy_text(card, sizeof card, text::field_at(kCardField, request, ','));
    const std::string entry = std::string("Booking of card ") + card + " not stored (no reply): " + why;
    log_add_entry(entry.c_str(), static_cast<long>(entry.size()));
    return false;
}

}  // namespace qx::app
