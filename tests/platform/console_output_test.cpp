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

// The two poll entries of the output: standard output and the gather timer.
std::vector<pollfd> poll_fds() {
    std::vector<pollfd> fds;
    output_add_poll_fds(fds);
    return fds;
}

// Standard output on a pipe (its ends non-blocking), or on `file`, for the life of the
// object.
struct Output {
    explicit Output(int file = -1) {
        if (file < 0) ::pipe2(ends, O_NONBLOCK);
        ::dup2(file < 0 ? ends[1] : file, STDOUT_FILENO);
        output_start();
    }
    ~Output() { ::dup2(saved, STDOUT_FILENO), ::close(saved), ::close(ends[0]), ::close(ends[1]); }
    // What the pipe holds now.
    std::string read_all() const {
        std::string got;
        char buffer[4096];
        for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
        return got;
    }
    // Turns of the loop (standard output ready) until the pipe held `wanted`: what came
    // after the filler.
    std::string drain_until(const std::string& wanted) const {
        std::string got = read_all();
        for (int n = 0; n < 1000 && got.find(wanted) == std::string::npos; ++n, got += read_all()) {
            const pollfd fds[2] = {{-1, 0, POLLOUT}, {-1, 0, 0}};
            output_handle(fds);
        }
        return got.substr(got.find_first_not_of('f'));
    }
    int saved = ::dup(STDOUT_FILENO);
    int ends[2] = {-1, -1};
};

// Records in turn ("F": the pipe is filled, "R": 8192 bytes of it read, "P...": bytes
// written to the pipe, "S...": a screen, else a line) and what comes out: a screen is
// replaced by a newer one unless its writing started.
TEST(ConsoleOutputTest, ScreensAndLines) {
    const std::string half(kOutputQueueLimit / 2, 'h');  // two of them fill the queue
    const std::string big(20000, 'b');
    const std::string page(4096, 'p');  // with its "\n", a byte more than a page: the pipe's last byte
    const std::string fill(kOutputQueueLimit - half.size() - 1, 'l');
    const std::string full(kOutputQueueLimit - 1, 'x');  // with its "\n", no room for anything else
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        // the replaced screens hold no room in the queue: the line still fits
        {{"F", "Sold\n", "S" + half, "S" + half, "Ssecond\n", "a line\n"}, "second\na line\n"},
        {{"F", "R", "S" + big + "\n", "Snewer\n"}, big + "\nnewer\n"},
        {{"F", "R", "P" + std::string(8191, 'f'), "S" + page + "\n", "Snewer\n"}, page + "\nnewer\n"},  // 1 byte taken
        {{"a\n", full + "\n", "c\n"}, "a\n(1 log entries lost)\nc\n"},  // lost while gathering: counted in place
        {{"line\n", "Sscreen\n"}, "line\nscreen\n"},  // gathered lines go first
        {{"F", "S" + half, fill + "\n"}, half + fill + "\n"},  // a line that just fills the queue is kept
    };
    for (const auto& [records, expected] : cases) {
        Output out;
        const std::string filler(4096, 'f');
        char room[8192];
        for (const std::string& r : records) {
            while (r == "F" && ::write(STDOUT_FILENO, filler.data(), filler.size()) > 0) {}
            if (r == "R") { ASSERT_EQ(::read(out.ends[0], room, sizeof room), 8192); }
            if (r[0] == 'P') { ASSERT_EQ(::write(STDOUT_FILENO, r.data() + 1, r.size() - 1), ssize_t{8191}); }
            if (r[0] == 'S') output_screen(r.substr(1));
            if (r.back() == '\n' && r[0] != 'S') output_line(r);
        }
        EXPECT_EQ(poll_fds()[0].fd, records[0] == "F" ? STDOUT_FILENO : -1);  // waiting for room is poll's,
        EXPECT_EQ(output_timeout_ms(), -1);  // not a timer's: with no failure, the loop may sleep until an event
        EXPECT_EQ(out.drain_until(expected), expected);
    }
}

// A quiet server writes each line at once, however many turns went by without lines; in
// a burst, each period allows kOutputWritesPerGather writes, then lines wait for the
// gather timer, which is not due before the period ends, and go out together, all of
// them, in order.
TEST(ConsoleOutputTest, LinesOfABurstWaitForTheGatherTimer) {
    Output out;
    for (int n = 0; n < 100; ++n) output_before_wait();  // turns without lines
    output_line("quiet\n");
    output_before_wait();
    ASSERT_EQ(out.read_all(), "quiet\n");
    ::poll(nullptr, 0, kOutputGatherMs + 1);  // the quiet period ends: the burst starts a fresh one
    const auto start = std::chrono::steady_clock::now();
    std::string expected, written;
    int line = 0;
    for (; line < 10000 && poll_fds()[1].fd < 0; ++line) {  // a burst, until its lines wait
        expected += "line " + std::to_string(line) + "\n";
        output_line(expected.substr(expected.rfind("line ")));
        output_before_wait();
        written += out.read_all();
    }
    EXPECT_GE(line, kOutputWritesPerGather + 1) << "lines waited before the period's writes were used";
    output_line("after\n");  // gathered with the lines waiting
    output_before_wait();
    EXPECT_EQ(written + out.read_all(), expected.substr(0, expected.rfind("line ")));
    std::vector<pollfd> fds = poll_fds();
    ASSERT_GE(fds[1].fd, 0) << "a burst of " << line << " lines was written line by line";
    ::poll(&fds[1], 1, 10000);
    const auto flushed = std::chrono::steady_clock::now();
    output_handle(fds.data());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kOutputGatherMs));
    EXPECT_EQ(written + out.read_all(), expected + "after\n");
    int direct = 0;  // the timer's write was the first of a new period: the burst goes on with the rest
    for (; direct < 1000 && (output_line("more\n"), output_before_wait(), poll_fds()[1].fd < 0); ++direct) {}
    const bool one_period = std::chrono::steady_clock::now() - flushed < std::chrono::milliseconds(kOutputGatherMs);
    if (one_period) { EXPECT_EQ(direct, kOutputWritesPerGather - 1); }
    output_finish(1000);
}

// A write that fails (a full disk; here the file size limit) after cutting a line short:
// the loop stops polling standard output and wakes for the next try within
// kOutputRetryMs, neither spinning nor sleeping for good; once output works again the
// line is completed, its rest, then the next lines, nothing twice.
TEST(ConsoleOutputTest, AFailedWriteIsTriedAgainAndTheCutLineCompleted) {
    char path[] = "/tmp/qx-console-XXXXXX";
    const int file = ::mkstemp(path);
    ASSERT_GE(file, 0);
    ::unlink(path);
    Output out(file);
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{10, limit.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    output_line("0123456789abcdef\n");
    output_before_wait();  // ten bytes taken, then the write fails
    output_line("next\n");
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(poll_fds()[0].fd, -1);
    EXPECT_EQ(poll_fds()[1].fd, -1);  // nothing gathered: no timer to wait for
    EXPECT_GT(output_timeout_ms(), 0);
    EXPECT_LE(output_timeout_ms(), kOutputRetryMs);
    ::poll(nullptr, 0, output_timeout_ms() + 1);  // until the next try is due
    const pollfd none[2] = {{-1, 0, 0}, {-1, 0, 0}};
    output_handle(none);
    output_line("more\n");  // output works again: lines go out at once
    output_before_wait();
    std::string written(static_cast<std::size_t>(::lseek(file, 0, SEEK_END)), '\0');
    ::pread(file, written.data(), written.size(), 0);
    ::close(file);
    EXPECT_EQ(written, "0123456789abcdef\nnext\nmore\n");
}

}  // namespace
}  // namespace qx::platform::linux_os
