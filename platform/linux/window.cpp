// The window calls of platform/window.h on Linux, where the terminal is the main window:
// window classes, the main window and its log box, message boxes, and the dispatch of
// the loop's messages to the window procedures. The queue, the timers and the signals
// are the loop's (event_loop.h); how a title and a log look on standard output is the
// terminal view's (terminal_view.h). Message boxes go to standard error as
// "Caption: text". Owns the registered classes and the windows (their titles and the
// log box's text).
#include "platform/window.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/linux/event_loop.h"
#include "platform/linux/terminal_view.h"

struct qx::platform::Window {
    WindowProcedure procedure;  // null for the log box
    std::string title;          // main window: shown above the log
    Window* parent;             // log box: its main window
    bool destroyed;             // kWmDestroy delivered
    std::string shown;          // log box on a terminal: the text drawn last
};

namespace qx::platform {
namespace {

struct WindowClass {
    std::string name;
    WindowProcedure procedure;
};

std::vector<WindowClass> classes;    // registered classes
WindowHandle log_box = nullptr;      // the last log box made (its title is the main window's)

const WindowClass* find_class(const char* name) {
    for (const WindowClass& c : classes) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

// The title shown above log box `box`: its main window's.
const std::string& title_above(const Window& box) {
    static const std::string none;
    return box.parent != nullptr ? box.parent->title : none;
}

}  // namespace

bool register_window_class(const char* class_name, WindowProcedure procedure, int /*icon_id*/,
                           unsigned long* error) {
    if (class_name == nullptr || procedure == nullptr) {
        *error = EINVAL;
        return false;
    }
    classes.push_back({class_name, procedure});
    return true;
}

WindowHandle create_main_window(const char* class_name, const char* title, unsigned long* error) {
    const WindowClass* c = find_class(class_name);
    if (c == nullptr) {
        *error = ENOENT;
        return nullptr;
    }
    if (linux_os::loop_epoll() < 0) {  // no loop, no window
        *error = static_cast<unsigned long>(errno);
        return nullptr;
    }
    const WindowHandle window = new Window{c->procedure, title, nullptr, false, ""};
    linux_os::close_on_signal(window);
    linux_os::view_start();
    c->procedure(window, kWmCreate, 0, 0);
    return window;
}

WindowHandle create_log_box(WindowHandle parent, int /*id*/) {
    log_box = new Window{nullptr, "", parent, false, ""};
    return log_box;
}

LogMedium log_medium(WindowHandle /*box*/) { return linux_os::view_medium(); }

void set_log_text(WindowHandle box, const std::string& text) {
    if (box == nullptr) return;
    if (linux_os::view_medium() == LogMedium::Screen) box->shown = text;
    linux_os::view_show_log(title_above(*box), text);
}

void message_box(WindowHandle /*owner*/, const char* text, const char* caption, bool /*error_icon*/) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

void show_window(WindowHandle /*window*/, int /*show_command*/) {}

std::intptr_t send_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    if (window == nullptr || window->procedure == nullptr) return 0;
    return window->procedure(window, message, wparam, lparam);
}

std::intptr_t default_procedure(WindowHandle window, unsigned message, std::uintptr_t /*wparam*/,
                                std::intptr_t /*lparam*/) {
    if (message == kWmClose && window != nullptr && !window->destroyed) {
        window->destroyed = true;
        send_message(window, kWmDestroy, 0, 0);
    }
    return 0;
}

void set_window_title(WindowHandle window, const char* title) {
    if (window == nullptr) return;
    window->title = title;
    if (log_box != nullptr && log_box->parent == window) linux_os::view_show_title(window->title, log_box->shown);
}

int run_message_loop() {
    for (;;) {
        const linux_os::Message m = linux_os::next_message();
        if (m.quit) {
            linux_os::view_finish();
            return m.exit_code;
        }
        if (m.window != nullptr && !m.window->destroyed) send_message(m.window, m.message, m.wparam, m.lparam);
    }
}

}  // namespace qx::platform
