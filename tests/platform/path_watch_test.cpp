// Path watches (POSIX): what changes what a path names is reported, our own writes are
// not, and a report is taken in by the message loop as well as by the question itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/files.h"
#include "platform/window.h"
#include "tests/temp_dir.h"

namespace qx::platform {
namespace {

void touch(const std::string& path) { std::ofstream(path, std::ios::app) << ""; }

// Runs the message loop once: it waits without blocking and takes in the reports.
void turn_the_loop() {
    static WindowHandle window = [] {
        unsigned long error = 0;
        register_window_class("watch test", [](WindowHandle, unsigned, std::uintptr_t, std::intptr_t) -> std::intptr_t {
            return 0;
        }, 0, &error);
        return create_main_window("watch test", "watch test", &error);
    }();
    ASSERT_NE(window, nullptr);
    post_quit(0);
    run_message_loop();
}

TEST(PathWatchTest, ReportsWhatCanChangeWhatThePathNames) {
    test::TempDir dir;
    const std::string folder = dir.str() + "/a/b";
    const std::string path = folder + "/bookings.jsonl";
    const struct {
        const char* what;
        std::function<void()> change;
        bool reported;
    } cases[] = {
        {"nothing", [] {}, false},
        {"a write to the file", [&] { std::ofstream(path, std::ios::app) << "line\n"; }, false},
        {"the file renamed", [&] { std::filesystem::rename(path, path + ".1"); }, true},
        {"the file removed", [&] { std::filesystem::remove(path); }, true},
        {"another file over it", [&] { touch(path + ".new"), std::filesystem::rename(path + ".new", path); }, true},
        {"its mode changed", [&] { ::chmod(path.c_str(), 0600); }, true},
        {"a file made beside it", [&] { touch(folder + "/other"); }, true},
        {"its folder renamed", [&] { std::filesystem::rename(folder, folder + ".1"); }, true},
        {"a folder above renamed", [&] { std::filesystem::rename(dir.str() + "/a", dir.str() + "/a.1"); }, true},
    };
    for (const bool loop : {false, true}) {
        for (const auto& c : cases) {
            std::filesystem::remove_all(dir.str() + "/a");
            std::filesystem::remove_all(dir.str() + "/a.1");
            std::filesystem::create_directories(folder);
            touch(path);
            PathWatch* watch = watch_path(path.c_str());
            ASSERT_NE(watch, nullptr) << c.what;
            c.change();
            if (loop) turn_the_loop();
            EXPECT_EQ(path_may_have_changed(watch), c.reported) << c.what << (loop ? ", the loop turning" : "");
            EXPECT_FALSE(path_may_have_changed(watch)) << c.what << ": reported once";
            unwatch_path(watch);
        }
    }
}

// A path through a symbolic link is not watched (the folders above the link's target
// would not be); a relative path is, from the current folder.
TEST(PathWatchTest, LinksAreNotWatchedRelativePathsAre) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.str() + "/real");
    touch(dir.str() + "/real/file");
    std::filesystem::create_directory_symlink(dir.str() + "/real", dir.str() + "/link");
    std::filesystem::create_symlink(dir.str() + "/real/file", dir.str() + "/real/linked");
    EXPECT_EQ(watch_path((dir.str() + "/link/file").c_str()), nullptr);
    EXPECT_EQ(watch_path((dir.str() + "/real/linked").c_str()), nullptr);
    EXPECT_EQ(watch_path((dir.str() + "/real/missing").c_str()), nullptr);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.str());
    PathWatch* watch = watch_path("real/file");
    std::filesystem::current_path(before);
    ASSERT_NE(watch, nullptr);
    EXPECT_FALSE(path_may_have_changed(watch));
    std::filesystem::remove(dir.str() + "/real/file");
    EXPECT_TRUE(path_may_have_changed(watch));
    unwatch_path(watch);
}

}  // namespace
}  // namespace qx::platform
