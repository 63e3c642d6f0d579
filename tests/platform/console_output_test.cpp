// The terminal window's standard output when its reader does not keep up, and the lines of
// a busy server gathered for one write: nothing is lost, cut or reordered, a screen
// waiting to be written is replaced by a newer one, and the loop neither spins nor sleeps
// for good.
#include "platform/linux/console_output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace qx::platform::linux_os {
namespace {

// Standard output on a pipe (its read end non-blocking) for the life of the object.
struct PipedOutput {
    PipedOutput() {
        EXPECT_EQ(::pipe2(ends, O_NONBLOCK), 0);
        ::dup2(ends[1], STDOUT_FILENO);
        output_start();
    }
    ~PipedOutput() {
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
    }
    std::string read_all() const {
        std::string got;
        char buffer[4096];
        for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
        return got;
    }
    // Fills the pipe: standard output takes nothing more.
    static void fill() {
        const std::string filler(4096, 'f');
        while (::write(STDOUT_FILENO, filler.data(), filler.size()) > 0) {
        }
    }
    // Turns of the loop until the pipe holds `wanted` at its end (what follows the filler).
    std::string drain_until(const std::string& wanted) {
        std::string got;
        for (int n = 0; n < 1000 && got.find(wanted) == std::string::npos; ++n) {
            got += read_all();
            turn(POLLOUT);
        }
        got += read_all();
        return got.substr(got.find_first_not_of('f'));
    }
    // One turn of the loop for the output, after waiting up to `wait_ms` for the gather timer.
    static void turn(short stdout_revents, int wait_ms = 0) {
        std::vector<pollfd> fds;
        output_add_poll_fds(fds);
        ::poll(&fds[1], 1, fds[1].fd < 0 ? 0 : wait_ms);
        fds[0].revents = stdout_revents;
        output_handle(fds.data());
    }
    int saved = ::dup(STDOUT_FILENO);
    int ends[2] = {-1, -1};
};

TEST(ConsoleOutputTest, ANewerScreenReplacesOneThatWaits) {
    PipedOutput out;
    EXPECT_EQ(output_timeout_ms(), -1);  // nothing waits: the loop may sleep until an event
    out.fill();
    output_screen("first screen\n");  // cannot be written: waits
    for (int n = 0; n < 2000; ++n) output_screen(std::string(1024, 's') + "\n");  // 2 MB, each replaced
    output_screen("second screen\n");
    output_line("a line\n");  // the replaced screens hold no room in the queue
    std::vector<pollfd> fds;
    output_add_poll_fds(fds);
    EXPECT_EQ(fds[0].fd, STDOUT_FILENO);
    EXPECT_EQ(output_timeout_ms(), -1);  // waiting for room is poll's, not a timer's
    EXPECT_EQ(out.drain_until("a line\n"), "second screen\na line\n");
}

// A screen whose writing has started is written whole; the newer one follows it.
TEST(ConsoleOutputTest, AScreenPartlyWrittenIsNotReplaced) {
    PipedOutput out;
    out.fill();
    char room[8192];
    ASSERT_EQ(::read(out.ends[0], room, sizeof room), 8192);
    const std::string big(20000, 'b');
    output_screen(big + "\n");  // 8192 bytes of it taken
    output_screen("newer\n");
    EXPECT_EQ(out.drain_until("newer\n"), big + "\nnewer\n");
}

// Lines gathered before a screen are written before it.
TEST(ConsoleOutputTest, GatheredLinesGoBeforeAScreen) {
    PipedOutput out;
    output_line("line\n");
    output_screen("screen\n");
    EXPECT_EQ(out.read_all(), "line\nscreen\n");
}

// A quiet server writes each line at once, however many turns went by without lines; in
// a burst, each period allows kOutputWritesPerGather writes, then lines wait for the
// gather timer, which is not due before the period ends, and go out together, all of
// them, in order.
TEST(ConsoleOutputTest, LinesOfABurstWaitForTheGatherTimer) {
    PipedOutput out;
    for (int n = 0; n < 100; ++n) output_before_wait();  // turns without lines
    std::string quiet;
    for (int n = 0; n < kOutputWritesPerGather - 10; ++n) {
        output_line("quiet\n");
        output_before_wait();
        quiet += out.read_all();
    }
    EXPECT_EQ(quiet.size(), 6u * (kOutputWritesPerGather - 10));
    const auto period = std::chrono::milliseconds(kOutputGatherMs);
    for (const auto quiet_end = std::chrono::steady_clock::now(); std::chrono::steady_clock::now() - quiet_end <= period;) {
        ::poll(nullptr, 0, 1);  // the quiet period ends: the burst starts a fresh one
    }
    const auto start = std::chrono::steady_clock::now();
    output_line("first\n");
    output_before_wait();
    const std::string first = out.read_all();
    std::string expected = "first\n";
    std::string written = first;
    int line = 0;
    std::vector<pollfd> fds;
    for (; line < 10000; ++line) {  // a burst, until its lines wait
        expected += "line " + std::to_string(line) + "\n";
        output_line("line " + std::to_string(line) + "\n");
        output_before_wait();
        written += out.read_all();
        fds.clear();
        output_add_poll_fds(fds);
        if (fds[1].fd >= 0) break;
    }
    const std::string waiting = out.read_all();
    output_line("after\n");  // gathered with the lines waiting
    output_before_wait();
    expected += "after\n";
    const std::string still_waiting = out.read_all();
    out.turn(0, 10000);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    written += out.read_all();
    EXPECT_EQ(first, "first\n");
    EXPECT_GE(fds[1].fd, 0) << "a burst of " << line << " lines was written line by line";
    EXPECT_GE(line, kOutputWritesPerGather - 1) << "lines waited before the period's writes were used";
    EXPECT_EQ(waiting, "");
    EXPECT_EQ(still_waiting, "");
    EXPECT_EQ(written, expected);
    EXPECT_GE(elapsed, period);
}

// A pipe whose reader has gone: the loop stops polling standard output and wakes for the
// next try within kOutputRetryMs, neither spinning nor sleeping for good.
TEST(ConsoleOutputTest, AFailedWriteIsTriedAgainAfterAWhile) {
    PipedOutput out;
    ::signal(SIGPIPE, SIG_IGN);
    ::close(out.ends[0]);
    ::close(out.ends[1]);
    output_line("lost\n");
    output_before_wait();  // written at once, and failed
    const int timeout = output_timeout_ms();
    std::vector<pollfd> fds;
    output_add_poll_fds(fds);
    EXPECT_EQ(fds[0].fd, -1);
    EXPECT_EQ(fds[1].fd, -1);  // nothing gathered: no timer to wait for
    EXPECT_GT(timeout, 0);
    EXPECT_LE(timeout, kOutputRetryMs);
}

// A line cut short by a write that failed (a full disk; here the file size limit) is
// completed once output works again: its rest, then the next lines, nothing twice.
TEST(ConsoleOutputTest, ALineCutByAFailedWriteIsCompletedNotRepeated) {
    char path[] = "/tmp/qx-console-XXXXXX";
    const int file = ::mkstemp(path);
    ASSERT_GE(file, 0);
    ::unlink(path);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(file, STDOUT_FILENO);
    output_start();
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{10, limit.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    output_line("0123456789abcdef\n");
    output_before_wait();  // ten bytes taken, then the write fails
    output_line("next\n");
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::string written;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (written != "0123456789abcdef\nnext\n" && std::chrono::steady_clock::now() < deadline) {
        const int wait_ms = output_timeout_ms();  // -1: nothing to try again
        ::poll(nullptr, 0, wait_ms < 0 ? 10 : wait_ms);
        const pollfd fds[2] = {{-1, 0, 0}, {-1, 0, 0}};
        output_handle(fds);
        written.assign(static_cast<std::size_t>(::lseek(file, 0, SEEK_END)), '\0');
        ::pread(file, written.data(), written.size(), 0);
    }
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(file);
    EXPECT_EQ(written, "0123456789abcdef\nnext\n");
}

}  // namespace
}  // namespace qx::platform::linux_os
