// The terminal view of the Linux window system (terminal_view.h): the screen a terminal
// shows, and the choice between a screen and lines.
#include "platform/linux/terminal_view.h"

#include <unistd.h>

#include "platform/linux/console_output.h"

namespace qx::platform::linux_os {
namespace {

bool stdout_is_terminal = false;  // decided by view_start

// Clears the terminal and draws `title`, a rule under it and `log` from the top left.
void draw_screen(const std::string& title, const std::string& log) {
    output_screen("\x1b[H\x1b[2J" + title + "\r\n" + std::string(title.size(), '=') + "\r\n" + log);
}

}  // namespace

void view_start() {
    stdout_is_terminal = ::isatty(STDOUT_FILENO) != 0;
    output_start();
}

LogMedium view_medium() { return stdout_is_terminal ? LogMedium::Screen : LogMedium::Lines; }

void view_show_log(const std::string& title, const std::string& log) {
    if (stdout_is_terminal) {
        draw_screen(title, log);
    } else {
        output_line(log);
    }
}

void view_show_title(const std::string& title, const std::string& log) {
    if (stdout_is_terminal) draw_screen(title, log);
}

void view_finish() { output_finish(kFinalOutputWaitMs); }

}  // namespace qx::platform::linux_os
