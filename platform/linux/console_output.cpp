// Standard output of the terminal window: a bounded queue of whole records, written
// without waiting, and the lines of a busy stretch gathered for one write. See
// console_output.h.
#include "platform/linux/console_output.h"

#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

namespace qx::platform::linux_os {
namespace {

using Clock = std::chrono::steady_clock;

struct Record {
    std::string bytes;  // one line, or one whole screen
    bool screen;        // may be replaced by a newer screen until its writing starts
};

std::string batch;                  // lines of this turn of the loop, not yet written
std::deque<Record> queue;           // oldest first, all after the batch
std::size_t queued_bytes = 0;       // bytes of all records in the queue
std::size_t written = 0;            // bytes of the front record already written
long lost_entries = 0;              // lines dropped since the last "lost" notice
bool failing = false;               // the last write failed; reported on standard error
Clock::time_point next_try;         // when to try again while failing
int saved_flags = -1;               // standard output's flags before output_start
int gather_timer = -1;              // timerfd: when the gathered lines are due; -1: none
bool gather_armed = false;          // the timer runs for the lines of `batch`
Clock::time_point window_start;     // start of the current kOutputGatherMs of line writes
int window_writes = 0;              // line writes in it

void restore_flags() {
    if (saved_flags >= 0) ::fcntl(STDOUT_FILENO, F_SETFL, saved_flags);
}

void push(std::string bytes, bool screen) {
    queued_bytes += bytes.size();
    queue.push_back({std::move(bytes), screen});
}

void push_lost_notice() {
    if (lost_entries == 0) return;
    push("(" + std::to_string(lost_entries) + " log entries lost)\n", false);
    lost_entries = 0;
}

void report_failure(int error) {
    if (failing) return;
    failing = true;
    std::fprintf(stderr,
                 "Log output: write failed: %s; entries are kept back (up to %zu bytes), counted when "
                 "dropped, and written when output works again\n",
                 std::strerror(error), kOutputQueueLimit);
    std::fflush(stderr);
}

// Writes `size` bytes at `data` as far as standard output takes them without waiting.
// Returns how many it took, also when a write error stopped it (reported; *failed is set
// and writing is tried again later): what was written is never written again.
std::size_t write_bytes(const char* data, std::size_t size, bool* failed) {
    std::size_t done = 0;
    *failed = false;
    while (done < size) {
        const ssize_t n = ::write(STDOUT_FILENO, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) break;
            report_failure(errno);
            next_try = Clock::now() + std::chrono::milliseconds(kOutputRetryMs);
            *failed = true;
            break;
        }
        failing = false;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// Writes from the front of the queue until it is empty or standard output takes no
// more. Returns false after a write error.
bool write_queue() {
    while (!queue.empty()) {
        const std::string& bytes = queue.front().bytes;
        bool failed = false;
        written += write_bytes(bytes.data() + written, bytes.size() - written, &failed);
        if (written < bytes.size()) return !failed;
        queued_bytes -= bytes.size();
        written = 0;
        queue.pop_front();
        // Caught up after losses: say how many, right where they were.
        if (queue.empty()) push_lost_notice();
        if (failed) return false;
    }
    return true;
}

}  // namespace

void output_start() {
    if (saved_flags >= 0) return;
    saved_flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    if (saved_flags < 0) return;
    ::fcntl(STDOUT_FILENO, F_SETFL, saved_flags | O_NONBLOCK);
    // A terminal or pipe shared with the shell must not stay non-blocking after the run.
    std::atexit(restore_flags);
    gather_timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
}

void output_line(std::string_view line) {
    if (queued_bytes + batch.size() + line.size() > kOutputQueueLimit) {
        ++lost_entries;
        return;
    }
    // Nothing waiting before it: gathered for output_before_wait.
    if (queue.empty() && lost_entries == 0 && !failing) {
        batch.append(line);
        return;
    }
    const bool was_empty = queue.empty();
    if (!batch.empty()) {  // lines gathered before this one go first
        push(batch, false);
        batch.clear();
    }
    push_lost_notice();
    push(std::string(line), false);
    if (was_empty && !failing) write_queue();
}

namespace {

// Writes the gathered lines with one write; what standard output does not take waits in
// the queue, to be written first.
void write_lines() {
    if (gather_armed) {
        const itimerspec stop{};
        ::timerfd_settime(gather_timer, 0, &stop, nullptr);  // also forgets an expiry not read
        gather_armed = false;
    }
    if (batch.empty()) return;
    bool failed = false;
    const std::size_t taken = write_bytes(batch.data(), batch.size(), &failed);
    if (taken < batch.size()) push(batch.substr(taken), false);  // the rest first, when output takes it
    batch.clear();  // keeps its capacity for the next turn
}

}  // namespace

void output_before_wait() {
    if (batch.empty() || gather_armed) return;
    const Clock::time_point now = Clock::now();
    const auto period = std::chrono::milliseconds(kOutputGatherMs);
    if (now - window_start >= period) {
        window_start = now;
        window_writes = 0;
    }
    if (gather_timer >= 0 && window_writes >= kOutputWritesPerGather) {
        // Busy: the lines wait for the end of this period, and that write starts the next.
        itimerspec due{};  // the rest of the period: more than 0, less than a second
        due.it_value.tv_nsec = static_cast<long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(window_start + period - now).count());
        gather_armed = ::timerfd_settime(gather_timer, 0, &due, nullptr) == 0;
        if (gather_armed) return;
    }
    ++window_writes;
    write_lines();
}

void output_screen(std::string screen) {
    write_lines();
    const bool started = queue.size() == 1 && written > 0;
    if (!queue.empty() && queue.back().screen && !started) {
        queued_bytes -= queue.back().bytes.size();
        queue.pop_back();
    }
    push(std::move(screen), true);
    if (queue.size() == 1 && !failing) write_queue();
}

void output_add_poll_fds(std::vector<pollfd>& fds) {
    // A negative descriptor is skipped by poll: a closed pipe would else report POLLERR
    // at every turn.
    const bool waiting = !queue.empty() && !failing;
    fds.push_back({waiting ? STDOUT_FILENO : -1, POLLOUT, 0});
    fds.push_back({gather_armed ? gather_timer : -1, POLLIN, 0});
}

int output_timeout_ms() {
    if (!failing || queue.empty()) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next_try - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void output_handle(const pollfd* fds) {
    if (fds[1].revents != 0) {
        window_start = Clock::now();
        window_writes = 1;
        write_lines();
    }
    if (queue.empty()) return;
    if (failing ? Clock::now() >= next_try : fds[0].revents != 0) write_queue();
}

void output_finish(int max_wait_ms) {
    write_lines();
    const auto deadline = Clock::now() + std::chrono::milliseconds(max_wait_ms);
    while (!queue.empty() && write_queue()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd fd{STDOUT_FILENO, POLLOUT, 0};
        ::poll(&fd, 1, static_cast<int>(left));
    }
}

}  // namespace qx::platform::linux_os
