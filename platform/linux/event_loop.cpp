// The message loop of the Linux window system (event_loop.h): the message queue, the
// timers, the signals that close the main window, and one wait on epoll per turn for
// the sockets, standard output and the gather timer of console_output.h.
#include "platform/linux/event_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <vector>

#include "platform/linux/console_output.h"

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

std::deque<QueuedMessage> queue;         // posted messages, first in first out
WindowHandle main_window = nullptr;      // the window SIGINT/SIGTERM close
volatile sig_atomic_t close_asked = 0;   // set by the signal handler
bool handlers_installed = false;
sigset_t wait_mask;                      // the signal mask while waiting: SIGINT and SIGTERM let in
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

void close_on_signal(WindowHandle window) {
    install_signal_handlers();
    main_window = window;
}

Message next_message() {
    for (;;) {
        // What the application posted itself is handled in its turn, without a look for
        // new events first (that look costs a system call).
        if (queue.empty() || !queue.front().from_app) wait_for_events(queue.empty());
        if (queue.empty()) continue;
        const QueuedMessage m = queue.front();
        queue.pop_front();
        return {m.window, m.message, m.wparam, m.lparam, m.quit, m.exit_code};
    }
}

}  // namespace linux_os

bool post_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    queue.push_back({window, message, wparam, lparam, false, false, 0, true});
    return true;
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

}  // namespace qx::platform
