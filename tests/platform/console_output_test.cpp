// The terminal window's standard output when its reader does not keep up: a screen
// waiting to be written is replaced by a newer one, so only the newest is drawn.
#include "platform/posix/console_output.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qx::platform::posix {
namespace {

// One turn of the loop for the output, after waiting up to `wait_ms` for the gather timer.
void turn(short stdout_revents, int wait_ms = 0) {
    std::vector<pollfd> fds;
    output_add_poll_fds(fds);
    ::poll(&fds[1], 1, fds[1].fd < 0 ? 0 : wait_ms);
    fds[0].revents = stdout_revents;
    output_handle(fds.data());
}

std::string read_all(int fd) {
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
    return got;
}

TEST(ConsoleOutputTest, ANewerScreenReplacesOneThatWaits) {
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(pipe_ends[1], STDOUT_FILENO);
    output_start();  // non-blocking from here
    EXPECT_EQ(output_timeout_ms(), -1);  // nothing waits: the loop may sleep until an event
    const std::string filler(4096, 'f');
    while (::write(STDOUT_FILENO, filler.data(), filler.size()) > 0) {
    }
    output_screen("first screen\n");   // cannot be written: waits
    output_screen("second screen\n");  // takes its place
    std::vector<pollfd> fds;
    output_add_poll_fds(fds);
    EXPECT_EQ(fds[0].fd, STDOUT_FILENO);
    EXPECT_EQ(output_timeout_ms(), -1);  // waiting for room is poll's, not a timer's
    std::string read_back;
    ::fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);
    for (int n = 0; n < 1000 && read_back.find("screen\n") == std::string::npos; ++n) {
        read_back += read_all(pipe_ends[0]);
        turn(POLLOUT);
    }
    read_back += read_all(pipe_ends[0]);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(read_back.substr(read_back.find_first_not_of('f')), "second screen\n");
}

// A quiet server writes each line at once; in a burst, lines wait for the gather timer
// and then go out together, all of them, in order.
TEST(ConsoleOutputTest, LinesOfABurstWaitForTheGatherTimer) {
    int pipe_ends[2];
    ASSERT_EQ(::pipe2(pipe_ends, O_NONBLOCK), 0);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(pipe_ends[1], STDOUT_FILENO);
    output_start();
    output_line("first\n");
    output_before_wait();
    const std::string first = read_all(pipe_ends[0]);
    std::string expected = "first\n";
    std::string written = first;
    int line = 0;
    std::vector<pollfd> fds;
    for (; line < 10000; ++line) {  // a burst, until its lines wait
        expected += "line " + std::to_string(line) + "\n";
        output_line("line " + std::to_string(line) + "\n");
        output_before_wait();
        written += read_all(pipe_ends[0]);
        fds.clear();
        output_add_poll_fds(fds);
        if (fds[1].fd >= 0) break;
    }
    const std::string waiting = read_all(pipe_ends[0]);
    output_line("after\n");  // gathered with the lines waiting
    output_before_wait();
    expected += "after\n";
    const std::string still_waiting = read_all(pipe_ends[0]);
    turn(0, 10000);
    written += read_all(pipe_ends[0]);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(first, "first\n");
    EXPECT_GE(fds[1].fd, 0) << "a burst of " << line << " lines was written line by line";
    EXPECT_EQ(waiting, "");
    EXPECT_EQ(still_waiting, "");
    EXPECT_EQ(written, expected);
}

// A pipe whose reader has gone: the loop stops polling standard output and wakes for the
// next try within kOutputRetryMs, neither spinning nor sleeping for good.
TEST(ConsoleOutputTest, AFailedWriteIsTriedAgainAfterAWhile) {
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    ::signal(SIGPIPE, SIG_IGN);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(pipe_ends[1], STDOUT_FILENO);
    ::close(pipe_ends[1]);
    ::close(pipe_ends[0]);
    output_start();
    output_line("lost\n");
    output_before_wait();  // written at once, and failed
    const int timeout = output_timeout_ms();
    std::vector<pollfd> fds;
    output_add_poll_fds(fds);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(fds[0].fd, -1);
    EXPECT_EQ(fds[1].fd, -1);  // nothing gathered: no timer to wait for
    EXPECT_GT(timeout, 0);
    EXPECT_LE(timeout, kOutputRetryMs);
}

}  // namespace
}  // namespace qx::platform::posix
