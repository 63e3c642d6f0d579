// What the operator sees of a site beyond the log: with more than one terminal, the main
// window's title says how many are connected; with QX_STATUS, a small JSON file tells each
// connected terminal's peer, number, connected-since, last request and bookings today.
// The file is replaced whole (written beside it and renamed over it), so a reader always
// finds valid JSON, and at most once a second (kStatusTimer), when something changed. A
// file that cannot be written at start is a start-up error; later failures are logged
// once, until it is written again. Owns the window, its title and the file's state.
//
//   {"written":"2026-12-07T11:18:32Z","connected":1,"journal_writes":12,"terminals":[
//    {"peer":"10.1.2.7:51234","terminal":12,"connected_since":"2026-12-07T07:02:10Z",
//     "last_request":"2026-12-07T11:18:31Z","bookings_today":3}]}
//
// (one line). Times are UTC; "terminal" and "last_request" are null until known;
// "journal_writes" counts the journal's group writes (each one flush) since the start.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

namespace qx::app {

inline constexpr std::uintptr_t kStatusTimer = 1;
inline constexpr unsigned kStatusIntervalMs = 1000;

// Writes the status file `path` once now (no terminal is connected yet) and makes it the
// status file. False with the text of the start-up error in *error when it cannot.
bool status_file_start(const std::string& path, std::string* error);

// Makes `window` the main window, whose title starts with `title`, and starts the timer
// when there is a status file.
void status_start(platform::WindowHandle window, const char* title);

// Something the status file shows changed (a request came).
void status_changed();

// A terminal connected or went: the title is updated too.
void status_connections_changed();

// kStatusTimer: writes the status file when something changed since it was written.
void status_tick();

// The status file's text now.
std::string status_text();

}  // namespace qx::app
