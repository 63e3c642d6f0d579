// The listener's start: a step that fails shows its box and ends the run. Linux only:
// the failures come from the platform layer's fault switch (on Windows the window test
// sees the real "Unable to bind socket" box).
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "app/listener.h"
#include "platform/faults.h"
#include "tests/temp_dir.h"

namespace qx::app {
namespace {

bool destroyed = false;

std::intptr_t procedure(platform::WindowHandle window, unsigned message, std::uintptr_t wparam,
                        std::intptr_t lparam) {
    if (message == platform::kWmDestroy) destroyed = true;
    return platform::default_procedure(window, message, wparam, lparam);
}

TEST(ListenerStartTest, AFailedStepShowsItsBoxAndEndsTheRun) {
    const std::pair<platform::Fault, const char*> kCases[] = {
        {platform::Fault::NewSocket, "Critical Error: Socket creation failed\n"},
        {platform::Fault::Bind, "Error: Unable to bind socket\n"},
        {platform::Fault::Listen, "Error: Unable to listen!\n"}};
    test::TempDir dir;
    for (const auto& [fault, box] : kCases) {
        const std::string out = dir.str() + "/stderr";
        // A child of its own, in a network of its own: the port is really bound before
        // the listen step fails.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::unshare(CLONE_NEWNET) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) ::_exit(77);
            // Output of the child's own: the window makes standard output non-blocking.
            if (!std::freopen(out.c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout)) ::_exit(3);
            platform::register_window_class("listener-test", procedure, 0, nullptr);
            unsigned long error = 0;
            platform::WindowHandle window = platform::create_main_window("listener-test", "test", &error);
            platform::fault_arm(fault, 1, false);
            const bool started = listener_start(window);
            std::fflush(stderr);
            std::exit(!started && destroyed ? 0 : 1);  // (not _exit: coverage counts are written at exit)
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no network namespace can be made here";
        EXPECT_EQ(WEXITSTATUS(status), 0) << box;
        std::ifstream written(out);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), box);
    }
}

}  // namespace
}  // namespace qx::app
#endif
