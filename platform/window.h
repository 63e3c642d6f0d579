// The window system, as the application sees it: one window class, one main window
// whose window procedure is the application's, a multi-line log box whose whole text is
// replaced, message boxes, and the message loop. On Windows these are the USER32 calls;
// on POSIX the terminal is the window (see platform/posix/window.cpp). Owns the message
// queue and the windows of the process.
#pragma once

#include <cstdint>
#include <string>

namespace qx::platform {

struct Window;                 // opaque: an HWND on Windows
using WindowHandle = Window*;  // null for "no window"

// Message numbers, with their Windows values.
inline constexpr unsigned kWmCreate = 0x0001;
inline constexpr unsigned kWmDestroy = 0x0002;
inline constexpr unsigned kWmClose = 0x0010;
inline constexpr unsigned kWmSetText = 0x000C;

using WindowProcedure = std::intptr_t (*)(WindowHandle window, unsigned message,
                                          std::uintptr_t wparam, std::intptr_t lparam);

// Registers the window class `class_name` with `procedure` and the application icon
// `icon_id`. Returns true on success; on failure stores the system's error number in
// *error.
bool register_window_class(const char* class_name, WindowProcedure procedure, int icon_id,
                           unsigned long* error);

// Creates the main window of class `class_name` with `title`. Its procedure gets
// kWmCreate before this returns. Returns null on failure, with the error in *error.
WindowHandle create_main_window(const char* class_name, const char* title, unsigned long* error);

// Creates the multi-line log box, child `id` of `parent`, with the default GUI font.
// Returns null on failure.
WindowHandle create_log_box(WindowHandle parent, int id);

// How a log box shows its text.
enum class LogMedium {
    TextBox,  // a window's text box (Windows): the whole text, replaced at each change
    Screen,   // a terminal redrawn in place under the window's title: the whole text
    Lines,    // output that is only appended to (a pipe, a file, a service's log): a line per entry
};

// The medium of `box` (a log box made by create_log_box).
LogMedium log_medium(WindowHandle box);

// Shows `text` in `box`: for TextBox and Screen the whole log, in place of what it
// showed; for Lines one more line (`text` ends in "\n"). Null box: nothing.
void set_log_text(WindowHandle box, const std::string& text);

// Shows a message box owned by `owner` (may be null) and waits until it is closed.
void message_box(WindowHandle owner, const char* text, const char* caption, bool error_icon);

// Shows the main window.
void show_window(WindowHandle window, int show_command);

// Sends `message` to `window` at once (its procedure runs before this returns).
std::intptr_t send_message(WindowHandle window, unsigned message, std::uintptr_t wparam,
                           std::intptr_t lparam);

// Default handling of a message: kWmClose destroys the window (its procedure then
// gets kWmDestroy); everything else gives 0.
std::intptr_t default_procedure(WindowHandle window, unsigned message, std::uintptr_t wparam,
                                std::intptr_t lparam);

// Posts the quit message: the message loop returns `exit_code` once the messages before
// it are handled.
void post_quit(int exit_code);

// Runs the message loop until the quit message and returns its code. A failed wait for
// the next message does not end the loop.
int run_message_loop();

}  // namespace qx::platform
