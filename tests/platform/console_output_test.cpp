// The terminal window's standard output when its reader does not keep up: a screen
// waiting to be written is replaced by a newer one, so only the newest is drawn.
#include "platform/posix/console_output.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

namespace qx::platform::posix {
namespace {

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
    EXPECT_EQ(output_poll_fd().fd, STDOUT_FILENO);
    EXPECT_EQ(output_timeout_ms(), -1);  // waiting for room is poll's, not a timer's
    std::string read_back;
    char buffer[4096];
    ::fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);
    for (int turn = 0; turn < 1000 && read_back.find("screen\n") == std::string::npos; ++turn) {
        for (ssize_t n; (n = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;) read_back.append(buffer, n);
        output_handle(POLLOUT);
    }
    for (ssize_t n; (n = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;) read_back.append(buffer, n);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(read_back.substr(read_back.find_first_not_of('f')), "second screen\n");
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
    output_write_lines();
    const int timeout = output_timeout_ms();
    const int fd = output_poll_fd().fd;
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(fd, -1);
    EXPECT_GT(timeout, 0);
    EXPECT_LE(timeout, kOutputRetryMs);
}

}  // namespace
}  // namespace qx::platform::posix
