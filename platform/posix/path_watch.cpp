// Path watches on POSIX: one inotify instance per watch, watching the file and every
// folder on the way to it. Its descriptor is in the message loop's epoll set, so the
// loop takes the reports in as they come, and asking whether anything happened costs no
// system call while the loop turns. A path through a symbolic link is not watched (the
// folders above the link's target would not be): the caller then looks every time.
#include "platform/files.h"

#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/posix/event_loop.h"

struct qx::platform::PathWatch {
    int fd;                    // the inotify instance
    bool changed;              // reports came that the caller has not been told of
    std::uint64_t waits_seen;  // posix::loop_waits() at the last question
};

namespace qx::platform {
namespace {

constexpr std::uint32_t kFileEvents = IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF;
constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;

std::vector<PathWatch*> watches;  // the watches made and not ended

bool is_link(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

// Reads the reports waiting: true when there were any.
bool drain(const PathWatch& watch) {
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    while (::read(watch.fd, buffer, sizeof buffer) > 0) any = true;
    return any;
}

// Watches the folders on the way to `path` and the file itself, in inotify instance `fd`.
bool watch_all(int fd, const std::string& path) {
    std::vector<std::string> folders{path[0] == '/' ? "/" : "."};
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        folders.push_back(path.substr(0, slash));
    }
    for (const std::string& folder : folders) {
        if (is_link(folder) || ::inotify_add_watch(fd, folder.c_str(), kFolderEvents) < 0) return false;
    }
    return !is_link(path) && ::inotify_add_watch(fd, path.c_str(), kFileEvents) >= 0;
}

}  // namespace

namespace posix {

void watch_handle_event(std::uint64_t data) {
    for (PathWatch* watch : watches) {
        if (data == kWatchData + static_cast<std::uint64_t>(watch->fd) && drain(*watch)) watch->changed = true;
    }
}

}  // namespace posix

PathWatch* watch_path(const char* path) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return nullptr;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = posix::kWatchData + static_cast<std::uint64_t>(fd);
    if (*path == '\0' || !watch_all(fd, path) || posix::loop_epoll() < 0 ||
        ::epoll_ctl(posix::loop_epoll(), EPOLL_CTL_ADD, fd, &event) != 0) {
        ::close(fd);
        return nullptr;
    }
    watches.push_back(new PathWatch{fd, false, posix::loop_waits()});
    return watches.back();
}

bool path_may_have_changed(PathWatch* watch) {
    // Reports that came before the loop's last wait are taken in by now; without a wait
    // since the last question, those since then are read here.
    const std::uint64_t waits = posix::loop_waits();
    if (waits == watch->waits_seen && drain(*watch)) watch->changed = true;
    watch->waits_seen = waits;
    const bool changed = watch->changed;
    watch->changed = false;
    return changed;
}

void unwatch_path(PathWatch* watch) {
    if (watch == nullptr) return;
    std::erase(watches, watch);
    ::close(watch->fd);  // which ends its epoll registration too
    delete watch;
}

}  // namespace qx::platform
