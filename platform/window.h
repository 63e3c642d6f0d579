// The window system, as the application sees it: one window class, one main window
// whose window procedure is the application's, a multi-line log box whose whole text is
// replaced, message boxes, and the message loop. On Windows these are the USER32 calls;
// on Linux the terminal is the window (see platform/linux/window.cpp). Owns the message
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
inline constexpr unsigned kWmTimer = 0x0113;
inline constexpr unsigned kWmApp = 0x8000;  // the first number of the application's own messages

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

// Posts `message` to `window`: its procedure gets it after the messages waiting now (and
// on Linux without a look for new events before it). False when the queue cannot take it
// (Windows keeps at most 10,000 posted messages).
bool post_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam);

// Replaces the main window's title: on Windows its caption, on Linux the title line of
// the terminal view (redrawn at once on a terminal; a pipe shows no title).
void set_window_title(WindowHandle window, const char* title);

// Starts (or restarts) timer `id` of `window`: kWmTimer with wparam `id` every
// `interval_ms`, never more than one waiting in the queue. False when it cannot be made.
bool set_timer(WindowHandle window, std::uintptr_t id, unsigned interval_ms);

// Stops timer `id` of `window`.
void kill_timer(WindowHandle window, std::uintptr_t id);

// Posts the quit message: the message loop returns `exit_code` once the messages before
// it are handled.
void post_quit(int exit_code);

// Runs the message loop until the quit message and returns its code. A failed wait for
// the next message does not end the loop.
int run_message_loop();

}  // namespace qx::platform
