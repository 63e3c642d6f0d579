// The event log as each medium shows it.
#include "app/log_view.h"

#include "support/line_escape.h"

namespace qx::app {
namespace {

// `entry` for a window's text box: CR and LF escaped, the rest as it is.
void append_for_box(std::string_view entry, std::string* out) {
    for (const char c : entry) {
        if (c == '\r') {
            *out += "\\r";
        } else if (c == '\n') {
            *out += "\\n";
        } else {
            *out += c;
        }
    }
}

std::string_view without_line_end(std::string_view entry) {
    if (entry.ends_with("\r\n")) entry.remove_suffix(2);
    return entry;
}

}  // namespace

void log_view_text(platform::LogMedium medium, const std::vector<std::string_view>& entries, std::string* out) {
    for (const std::string_view entry : entries) {
        if (medium == platform::LogMedium::TextBox) {
            append_for_box(entry, out);
        } else {
            text::escape_for_terminal_append(entry, out);
        }
        *out += "\r\n";
    }
}

void log_view_line(std::string_view entry, std::string* out) {
    text::escape_for_terminal_append(without_line_end(entry), out);
    *out += '\n';
}

}  // namespace qx::app
