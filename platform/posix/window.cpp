// The window system on POSIX: the terminal is the main window. On a terminal the title
// and the whole log box are redrawn in place at every change; otherwise (a pipe, a
// service) each new log entry is written as one line. Either way the output is queued
// and written without waiting (console_output.h); what the log's text looks like on
// each is the application's to say (set_log_text). Message boxes go to standard error as
// "Caption: text". SIGINT and SIGTERM close the main window as a user
// closing it would. The message queue and the poll-based loop live here.
#include "platform/window.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/posix/console_output.h"
#include "platform/posix/event_loop.h"

struct qx::platform::Window {
    WindowProcedure procedure;  // null for the log box
    std::string title;          // main window: shown above the log
    Window* parent;             // log box: its main window
    bool destroyed;             // kWmDestroy delivered
};

namespace qx::platform {
namespace {

struct QueuedMessage {
    WindowHandle window;
    unsigned message;
    std::uintptr_t wparam;
    std::intptr_t lparam;
    bool from_socket;  // dropped when the socket layer ends
    bool quit;         // the quit message; message holds no meaning then
    int exit_code;
};

struct WindowClass {
    std::string name;
    WindowProcedure procedure;
};

std::vector<WindowClass> classes;        // registered classes
std::deque<QueuedMessage> queue;         // posted messages, first in first out
WindowHandle main_window = nullptr;      // the window SIGINT/SIGTERM close
volatile sig_atomic_t close_asked = 0;   // set by the signal handler
bool handlers_installed = false;
sigset_t wait_mask;                      // the signal mask while waiting: SIGINT and SIGTERM let in
bool stdout_is_terminal = false;         // decided when the main window is made

void on_signal(int) { close_asked = 1; }

// SIGINT and SIGTERM are held back but while the loop waits (ppoll lets them in then,
// and only then): no descriptor of their own to poll, and none can slip in between a
// look at the flag and the wait.
void install_signal_handlers() {
    if (handlers_installed) return;
    handlers_installed = true;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &held, &wait_mask);
    sigdelset(&wait_mask, SIGINT);
    sigdelset(&wait_mask, SIGTERM);
}

constexpr int kFinalOutputWaitMs = 2000;  // for the output still queued at the end

void redraw_terminal(const Window& box, const std::string& text) {
    const std::string& title = box.parent != nullptr ? box.parent->title : std::string();
    posix::output_screen("\x1b[H\x1b[2J" + title + "\r\n" + std::string(title.size(), '=') + "\r\n" + text);
}

// Waits for file-descriptor events (or not at all when `block` is false) and turns them
// into messages; writes queued output as standard output takes it.
void wait_for_events(bool block) {
    posix::output_before_wait();
    static std::vector<pollfd> fds;  // kept from turn to turn: no allocation per turn
    fds.clear();
    posix::output_add_poll_fds(fds);  // entries 0 and 1
    posix::net_add_poll_fds(fds);
    const int timeout_ms = block ? posix::output_timeout_ms() : 0;
    timespec timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
    const int ready = ::ppoll(fds.data(), fds.size(), timeout_ms < 0 ? nullptr : &timeout,
                              handlers_installed ? &wait_mask : nullptr);
    if (close_asked != 0) {
        close_asked = 0;
        if (main_window != nullptr) posix::post_message(main_window, kWmClose, 0, 0, false);
    }
    posix::output_handle(fds.data());  // revents stay 0 after a timeout or an interruption
    if (ready <= 0) return;  // interrupted or timed out: nothing to hand out
    posix::net_handle_poll(fds.data() + 2, fds.size() - 2);
}

}  // namespace

namespace posix {

void post_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam,
                  bool from_socket) {
    queue.push_back({window, message, wparam, lparam, from_socket, false, 0});
}

void drop_socket_messages() {
    std::erase_if(queue, [](const QueuedMessage& m) { return m.from_socket; });
}

void drop_socket_messages_of(std::uintptr_t socket) {
    std::erase_if(queue, [socket](const QueuedMessage& m) { return m.from_socket && m.wparam == socket; });
}

}  // namespace posix

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
    for (const WindowClass& c : classes) {
        if (c.name == class_name) {
            install_signal_handlers();
            stdout_is_terminal = ::isatty(STDOUT_FILENO) != 0;
            posix::output_start();
            main_window = new Window{c.procedure, title, nullptr, false};
            c.procedure(main_window, kWmCreate, 0, 0);
            return main_window;
        }
    }
    *error = ENOENT;  // no such class
    return nullptr;
}

WindowHandle create_log_box(WindowHandle parent, int /*id*/) { return new Window{nullptr, "", parent, false}; }

LogMedium log_medium(WindowHandle /*box*/) { return stdout_is_terminal ? LogMedium::Screen : LogMedium::Lines; }

void set_log_text(WindowHandle box, const std::string& text) {
    if (box == nullptr) return;
    if (stdout_is_terminal) {
        redraw_terminal(*box, text);
    } else {
        posix::output_line(text);
    }
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

void post_quit(int exit_code) { queue.push_back({nullptr, 0, 0, 0, false, true, exit_code}); }

int run_message_loop() {
    for (;;) {
        wait_for_events(queue.empty());
        if (queue.empty()) continue;
        const QueuedMessage m = queue.front();
        queue.pop_front();
        if (m.quit) {
            posix::output_finish(kFinalOutputWaitMs);
            return m.exit_code;
        }
        if (m.window != nullptr && !m.window->destroyed) send_message(m.window, m.message, m.wparam, m.lparam);
    }
}

}  // namespace qx::platform
