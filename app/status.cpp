// The window title's count of terminals and the status file.
#include "app/status.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "app/connections.h"
#include "app/event_log.h"
#include "app/journal.h"
#include "app/site_config.h"
#include "platform/files.h"

namespace qx::app {
namespace {

platform::WindowHandle main_window = nullptr;
std::string base_title;
std::string status_path;   // empty: no status file
bool changed = false;      // since the file was last written
bool failing = false;      // the last write failed (and was logged)
long written_day = 0;      // local_day() of the last write: bookings today start again at midnight

// "2026-12-07T11:18:32Z" for `ms` milliseconds since 1970 (0: null).
std::string utc_text(std::int64_t ms) {
    if (ms == 0) return "null";
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    const std::tm t = *std::gmtime(&seconds);
    char text[80];  // room for any int the fields could hold, not just the 22 characters of a date
    std::snprintf(text, sizeof text, "\"%04d-%02d-%02dT%02d:%02d:%02dZ\"", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void append_terminal(const Connection& c, long today, std::string* out) {
    *out += "{\"peer\":\"" + c.peer_text + "\",\"terminal\":" +
            (c.terminal == kUnknownTerminal ? std::string("null") : std::to_string(c.terminal)) +
            ",\"connected_since\":" + utc_text(c.connected_ms) + ",\"last_request\":" + utc_text(c.last_request_ms) +
            ",\"bookings_today\":" + std::to_string(c.bookings_day == today ? c.bookings_today : 0) + "}";
}

bool write_file() {
    const std::string text = status_text();
    written_day = local_day();
    return platform::file_replace(status_path.c_str(), text.data(), text.size());
}

}  // namespace

bool status_file_start(const std::string& path, std::string* error) {
    status_path = path;
    if (path.empty() || write_file()) return true;
    *error = "QX_STATUS: the status file " + path + " cannot be written: " + platform::file_error_text();
    status_path.clear();
    return false;
}

void status_start(platform::WindowHandle window, const char* title) {
    main_window = window;
    base_title = title;
    if (!status_path.empty()) platform::set_timer(window, kStatusTimer, kStatusIntervalMs);
    if (site().terminals > 1) status_connections_changed();
}

void status_changed() { changed = true; }

void status_connections_changed() {
    changed = true;
    if (site().terminals == 1 || main_window == nullptr) return;
    const std::string title = base_title + " (" + std::to_string(connection_count()) + " of " +
                              std::to_string(site().terminals) + " terminals connected)";
    platform::set_window_title(main_window, title.c_str());
}

void status_tick() {
    if (status_path.empty() || (!changed && local_day() == written_day)) return;
    changed = false;
    if (write_file()) {
        failing = false;
        return;
    }
    if (failing) return;
    failing = true;
    const std::string entry = "Status file " + status_path + " not written: " + platform::file_error_text();
    log_add_entry(entry.c_str(), static_cast<long>(entry.size()));
}

std::string status_text() {
    const long today = local_day();
    std::string out = "{\"written\":" + utc_text(now_ms()) + ",\"connected\":" + std::to_string(connection_count()) +
                      ",\"journal_writes\":" + std::to_string(journal_writes()) + ",\"terminals\":[";
    bool first = true;
    for (std::size_t slot = 0; slot < connection_slots(); ++slot) {
        const Connection* c = connection_in(slot);
        if (c == nullptr) continue;
        if (!first) out += ',';
        first = false;
        append_terminal(*c, today, &out);
    }
    return out + "]}\n";
}

}  // namespace qx::app
