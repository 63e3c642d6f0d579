// Standard output of the terminal window: a bounded queue of whole records, written
// without waiting. See console_output.h.
#include "platform/posix/console_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

namespace qx::platform::posix {
namespace {

using Clock = std::chrono::steady_clock;

struct Record {
    std::string bytes;  // one line, or one whole screen
    bool screen;        // may be replaced by a newer screen until its writing starts
};

std::deque<Record> queue;           // oldest first
std::size_t queued_bytes = 0;       // bytes of all records in the queue
std::size_t written = 0;            // bytes of the front record already written
long lost_entries = 0;              // lines dropped since the last "lost" notice
bool failing = false;               // the last write failed; reported on standard error
Clock::time_point next_try;         // when to try again while failing
int saved_flags = -1;               // standard output's flags before output_start

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

// Writes from the front of the queue until it is empty or standard output takes no
// more. Returns false after a write error.
bool write_queue() {
    while (!queue.empty()) {
        const std::string& bytes = queue.front().bytes;
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) return true;
            report_failure(errno);
            next_try = Clock::now() + std::chrono::milliseconds(kOutputRetryMs);
            return false;
        }
        failing = false;
        written += static_cast<std::size_t>(n);
        if (written < bytes.size()) continue;
        queued_bytes -= bytes.size();
        written = 0;
        queue.pop_front();
        // Caught up after losses: say how many, right where they were.
        if (queue.empty()) push_lost_notice();
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
}

void output_line(std::string line) {
    if (queued_bytes + line.size() > kOutputQueueLimit) {
        ++lost_entries;
        return;
    }
    push_lost_notice();
    push(std::move(line), false);
    // Nothing waiting before it: write it now, as far as standard output takes it, rather
    // than a turn of the loop (a poll) later.
    if (queue.size() == 1 && !failing) write_queue();
}

void output_screen(std::string screen) {
    const bool started = queue.size() == 1 && written > 0;
    if (!queue.empty() && queue.back().screen && !started) {
        queued_bytes -= queue.back().bytes.size();
        queue.pop_back();
    }
    push(std::move(screen), true);
    if (queue.size() == 1 && !failing) write_queue();
}

pollfd output_poll_fd() {
    // A negative descriptor is skipped by poll: a closed pipe would else report POLLERR
    // at every turn.
    const bool waiting = !queue.empty() && !failing;
    return {waiting ? STDOUT_FILENO : -1, POLLOUT, 0};
}

int output_timeout_ms() {
    if (!failing || queue.empty()) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next_try - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void output_handle(short revents) {
    if (queue.empty()) return;
    if (failing ? Clock::now() >= next_try : revents != 0) write_queue();
}

void output_finish(int max_wait_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(max_wait_ms);
    while (!queue.empty() && write_queue()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd fd{STDOUT_FILENO, POLLOUT, 0};
        ::poll(&fd, 1, static_cast<int>(left));
    }
}

}  // namespace qx::platform::posix
