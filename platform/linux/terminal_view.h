// How the Linux window system shows its windows on standard output. On a terminal the
// screen is redrawn in place at every change: the main window's title, a rule of '='
// under it and the whole log box. Otherwise (a pipe, a file, a service's log) each log
// entry is one more line and the title is not shown. Everything goes out through the
// output queue of console_output.h, which never makes the loop wait. Owns whether
// standard output is a terminal, decided once by view_start.
#pragma once

#include <string>

#include "platform/window.h"

namespace qx::platform::linux_os {

// Decides whether standard output is a terminal and starts the output queue. Called
// when the main window is made; until then the view writes lines.
void view_start();

// Screen on a terminal, else Lines (platform/window.h).
LogMedium view_medium();

// Shows the log box's text `log` under `title`: on a terminal the whole screen is
// redrawn; otherwise `log` (one entry, ending in "\n") is written as one more line.
void view_show_log(const std::string& title, const std::string& log);

// Shows a new `title` above the log box's text `log`: on a terminal the whole screen is
// redrawn; otherwise nothing (a line of output shows no title).
void view_show_title(const std::string& title, const std::string& log);

// At the end of the run: writes the output still queued, waiting for standard output
// a bounded time (kFinalOutputWaitMs).
void view_finish();

inline constexpr int kFinalOutputWaitMs = 2000;  // for the output still queued at the end

}  // namespace qx::platform::linux_os
