// The event log: a process-wide text of at most kLogCapacity bytes (terminator
// included) made of entries that each end in CR LF, shown whole in the log box after
// every addition and trimmed to its last kLogEntries entries. Owns the log text and the
// log box handle.
//
// Room: fourteen long entries can exceed the capacity (a received request adds up to
// 1026 bytes). Before an entry is added, the oldest entries are dropped until it fits;
// an entry that could never fit is cut to the capacity. The newest text always shows.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace qx::app {

inline constexpr std::size_t kLogCapacity = 10000;  // bytes, terminator included
inline constexpr int kLogEntries = 14;              // entries kept by log_trim

// Empties the log and makes `box` (may be null) the box that shows it.
void log_reset(platform::WindowHandle box);

// Appends at most `limit` bytes of `text` (fewer if it ends earlier; a negative limit
// counts as 0) and then CR LF; trims and shows the log.
void log_add_entry(const char* text, long limit);

// Appends `line`, which already ends in CR LF, unchanged; trims and shows the log.
void log_add_line(const char* line);

// Keeps what follows the 15th line feed counted from the end (so the last 14 entries
// when every entry is one line); with fewer line feeds nothing changes.
void log_trim();

// Shows the log in the log box as its medium shows it (app/log_view.h): the whole log,
// or on a medium of lines `appended`, the entry just added, as one more line.
void log_show(const char* appended);

// The log text, valid until the next change.
const char* log_text();

// The entries of the log, oldest first, each without the CR LF that ends it (the first
// may be the end part of an entry whose start was trimmed away, the last one cut to the
// capacity may have none). Valid until the next change.
std::vector<std::string_view> log_entries();

}  // namespace qx::app
