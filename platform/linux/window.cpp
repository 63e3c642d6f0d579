// The window system on Linux: the terminal is the main window. On a terminal the title
// and the whole log box are redrawn in place at every change; otherwise (a pipe, a
// service) each new log entry is written as one line. Either way the output is queued
// and written without waiting (console_output.h); what the log's text looks like on
// each is the application's to say (set_log_text). Message boxes go to standard error as
// "Caption: text". SIGINT and SIGTERM close the main window as a user closing it would.
// The message queue, the timers and the epoll-based loop live here.
#include "platform/window.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/linux/console_output.h"
#include "platform/linux/event_loop.h"

struct qx::platform::Window {
    WindowProcedure procedure;  // null for the log box
    std::string title;          // main window: shown above the log
    Window* parent;             // log box: its main window
    bool destroyed;             // kWmDestroy delivered
    std::string shown;          // log box on a terminal: the text drawn last
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
    bool from_app;     // posted by the application: handled without a look for events first
};

using Clock = std::chrono::steady_clock;

struct Timer {
    WindowHandle window;
    std::uintptr_t id;
    Clock::duration interval;
    Clock::time_point due;
};

// One of the loop's own descriptors in the epoll set: standard output and the gather
// timer of console_output.h, as that module asks for them at each turn.
struct OutputSlot {
    int fd = -1;          // registered descriptor, -1: none
    short events = 0;     // as asked (POLLOUT, POLLIN)
    bool always = false;  // epoll cannot watch it (a regular file): ready at every turn
};

constexpr int kMaxEvents = 512;  // reports taken from epoll per wait

struct WindowClass {
    std::string name;
    WindowProcedure procedure;
};

std::vector<WindowClass> classes;        // registered classes
std::deque<QueuedMessage> queue;         // posted messages, first in first out
WindowHandle main_window = nullptr;      // the window SIGINT/SIGTERM close
WindowHandle log_box = nullptr;          // the last log box made (its title is the main window's)
volatile sig_atomic_t close_asked = 0;   // set by the signal handler
bool handlers_installed = false;
sigset_t wait_mask;                      // the signal mask while waiting: SIGINT and SIGTERM let in
bool stdout_is_terminal = false;         // decided when the main window is made
int epoll_fd = -1;                       // what the loop waits on (loop_epoll)
OutputSlot output_slots[2];              // standard output, gather timer
std::vector<Timer> timers;               // set_timer's timers

void on_signal(int) { close_asked = 1; }

// SIGINT and SIGTERM are held back but while the loop waits (epoll_pwait lets them in then,
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

void redraw_terminal(Window& box, const std::string& text) {
    box.shown = text;
    const std::string& title = box.parent != nullptr ? box.parent->title : std::string();
    linux_os::output_screen("\x1b[H\x1b[2J" + title + "\r\n" + std::string(title.size(), '=') + "\r\n" + text);
}

// Brings the epoll registration of output slot `i` in line with `want` (descriptor -1:
// nothing to wait for).
void sync_output_slot(std::size_t i, const pollfd& want) {
    OutputSlot& slot = output_slots[i];
    if (slot.fd == want.fd && slot.events == want.events) return;
    if (slot.fd >= 0 && !slot.always) ::epoll_ctl(epoll_fd, EPOLL_CTL_DEL, slot.fd, nullptr);
    slot = OutputSlot{want.fd, want.events, false};
    if (want.fd < 0) return;
    epoll_event event{};
    event.events = (want.events & POLLOUT) != 0 ? EPOLLOUT : EPOLLIN;
    event.data.u64 = linux_os::kLoopOwnData + static_cast<std::uint64_t>(i);
    slot.always = ::epoll_ctl(epoll_fd, EPOLL_CTL_ADD, want.fd, &event) != 0;
}

// The time to the next timer in milliseconds (rounded up), or -1 without timers.
int timer_timeout_ms() {
    if (timers.empty()) return -1;
    Clock::time_point next = timers.front().due;
    for (const Timer& t : timers) next = std::min(next, t.due);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 60000)) : 0;
}

// How long the wait may last: -1 (no limit) or milliseconds.
int wait_timeout_ms(bool block) {
    if (!block) return 0;
    for (const OutputSlot& slot : output_slots) {
        if (slot.always) return 0;
    }
    const int output = linux_os::output_timeout_ms();
    const int timer = timer_timeout_ms();
    if (output < 0 || timer < 0) return std::max(output, timer);
    return std::min(output, timer);
}

// Posts kWmTimer for every timer that is due and not waiting in the queue already.
void post_due_timers() {
    const Clock::time_point now = Clock::now();
    for (Timer& t : timers) {
        if (now < t.due) continue;
        t.due = now + t.interval;
        const bool waiting = std::any_of(queue.begin(), queue.end(), [&](const QueuedMessage& m) {
            return m.message == kWmTimer && m.window == t.window && m.wparam == t.id && !m.quit;
        });
        if (!waiting) queue.push_back({t.window, kWmTimer, t.id, 0, false, false, 0, false});
    }
}

// Waits for file-descriptor events (or not at all when `block` is false) and turns them
// into messages; writes queued output as standard output takes it.
void wait_for_events(bool block) {
    linux_os::output_before_wait();
    linux_os::net_post_ready();
    static std::vector<pollfd> fds;  // kept from turn to turn: no allocation per turn
    fds.clear();
    linux_os::output_add_poll_fds(fds);  // entries 0 and 1
    for (std::size_t i = 0; i < 2; ++i) sync_output_slot(i, fds[i]);
    const int timeout_ms = wait_timeout_ms(block && queue.empty());
    static epoll_event events[kMaxEvents];
    const int ready = ::epoll_pwait(epoll_fd, events, kMaxEvents, timeout_ms,
                                    handlers_installed ? &wait_mask : nullptr);
    if (close_asked != 0) {
        close_asked = 0;
        if (main_window != nullptr) linux_os::post_message(main_window, kWmClose, 0, 0, false);
    }
    for (std::size_t i = 0; i < 2; ++i) {
        if (output_slots[i].always) fds[i].revents = fds[i].events;
    }
    for (int i = 0; i < ready; ++i) {
        const std::uint64_t data = events[i].data.u64;
        if (data >= linux_os::kLoopOwnData) {
            pollfd& fd = fds[static_cast<std::size_t>(data - linux_os::kLoopOwnData)];
            fd.revents = fd.events;
        } else {
            linux_os::net_handle_event(static_cast<int>(data), events[i].events);
        }
    }
    linux_os::output_handle(fds.data());  // revents stay 0 after a timeout or an interruption
    linux_os::net_post_ready();
    post_due_timers();
}

}  // namespace

namespace linux_os {

void post_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam,
                  bool from_socket) {
    queue.push_back({window, message, wparam, lparam, from_socket, false, 0, false});
}

int loop_epoll() {
    if (epoll_fd < 0) epoll_fd = ::epoll_create1(EPOLL_CLOEXEC);
    return epoll_fd;
}

void drop_socket_messages() {
    std::erase_if(queue, [](const QueuedMessage& m) { return m.from_socket; });
}

void drop_socket_messages_of(std::uintptr_t socket) {
    std::erase_if(queue, [socket](const QueuedMessage& m) { return m.from_socket && m.wparam == socket; });
}

}  // namespace linux_os

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
            if (linux_os::loop_epoll() < 0) break;  // no loop, no window
            install_signal_handlers();
            stdout_is_terminal = ::isatty(STDOUT_FILENO) != 0;
            linux_os::output_start();
            main_window = new Window{c.procedure, title, nullptr, false, ""};
            c.procedure(main_window, kWmCreate, 0, 0);
            return main_window;
        }
    }
    *error = epoll_fd < 0 ? static_cast<unsigned long>(errno) : ENOENT;  // no loop, or no such class
    return nullptr;
}

WindowHandle create_log_box(WindowHandle parent, int /*id*/) {
    log_box = new Window{nullptr, "", parent, false, ""};
    return log_box;
}

LogMedium log_medium(WindowHandle /*box*/) { return stdout_is_terminal ? LogMedium::Screen : LogMedium::Lines; }

void set_log_text(WindowHandle box, const std::string& text) {
    if (box == nullptr) return;
    if (stdout_is_terminal) {
        redraw_terminal(*box, text);
    } else {
        linux_os::output_line(text);
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

bool post_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    queue.push_back({window, message, wparam, lparam, false, false, 0, true});
    return true;
}

void set_window_title(WindowHandle window, const char* title) {
    if (window == nullptr) return;
    window->title = title;
    if (stdout_is_terminal && log_box != nullptr && log_box->parent == window) {
        redraw_terminal(*log_box, std::string(log_box->shown));
    }
}

bool set_timer(WindowHandle window, std::uintptr_t id, unsigned interval_ms) {
    kill_timer(window, id);
    const Clock::duration interval = std::chrono::milliseconds(interval_ms);
    timers.push_back({window, id, interval, Clock::now() + interval});
    return true;
}

void kill_timer(WindowHandle window, std::uintptr_t id) {
    std::erase_if(timers, [&](const Timer& t) { return t.window == window && t.id == id; });
}

void post_quit(int exit_code) { queue.push_back({nullptr, 0, 0, 0, false, true, exit_code, false}); }

int run_message_loop() {
    for (;;) {
        // What the application posted itself is handled in its turn, without a look for
        // new events first (that look costs a system call).
        if (queue.empty() || !queue.front().from_app) wait_for_events(queue.empty());
        if (queue.empty()) continue;
        const QueuedMessage m = queue.front();
        queue.pop_front();
        if (m.quit) {
            linux_os::output_finish(kFinalOutputWaitMs);
            return m.exit_code;
        }
        if (m.window != nullptr && !m.window->destroyed) send_message(m.window, m.message, m.wparam, m.lparam);
    }
}

}  // namespace qx::platform
