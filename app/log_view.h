// How the event log reads on each medium a log box can be (platform::LogMedium): the
// one place that decides what an entry looks like when it is shown. An entry is one
// line on every medium: CR and LF inside it are shown escaped, as \r and \n, so nothing
// a terminal sends can draw a line of its own. On a terminal and in lines, the text is
// escaped as qxtool escapes its results for a terminal (support/line_escape.h,
// escape_for_terminal_append: control bytes, C1 controls and bytes that are not UTF-8
// as \xHH, a backslash as \\), so it cannot act on the operator's terminal either; in a
// window's text box the rest of an entry is shown as it is. No state of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace qx::app {

// Appends the whole log, its `entries` (without their CR LF) oldest first, as `medium`
// shows it to `out`: each entry drawn as one line and followed by CR LF.
void log_view_text(platform::LogMedium medium, const std::vector<std::string_view>& entries, std::string* out);

// Appends `entry` (its final CR LF, if any, left out) as one line of the Lines medium to
// `out`, ended by "\n".
void log_view_line(std::string_view entry, std::string* out);

}  // namespace qx::app
