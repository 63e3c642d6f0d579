// Start-up, the window procedure and the message loop.
#include "app/main_window.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/commit.h"
#include "app/event_log.h"
#include "app/journal.h"
#include "app/listener.h"
#include "app/site_config.h"
#include "app/status.h"

namespace qx::app {
namespace {

constexpr int kExitFailure = 1;
constexpr char kWaitingEntry[] = "Waiting for Nexolt to connect...";

bool listener_failed = false;  // set when the listener could not be started

void on_create(platform::WindowHandle window) {
    platform::WindowHandle box = platform::create_log_box(window, kLogBoxId);
    if (box == nullptr) {
        platform::message_box(window, "Could not create incoming edit box.", "Error", true);
    }
    log_reset(box);
    log_add_entry(kWaitingEntry, static_cast<long>(std::strlen(kWaitingEntry)));
    commit_start(window);
    status_start(window, kWindowTitle);
    listener_failed = !listener_start(window);
    // The journal learns its bookings at start, before a booking waits for that; a
    // journal that cannot be opened is reported by the bookings it cannot take.
    std::string ignored;
    if (const char* path = journal_path(); path != nullptr && !listener_failed) journal_open(path, &ignored);
}

// Reads the site settings and checks what they need; false after the box that says why.
bool start_site() {
    SiteSettings settings;
    std::string error;
    const bool ok = read_site_settings(&settings, &error) && raise_descriptors(settings, &error) &&
                    status_file_start(settings.status_path, &error);
    if (!ok) platform::message_box(nullptr, error.c_str(), kConfigErrorCaption, true);
    set_site(settings);
    return ok;
}

// "<text>\r\nError code:<number>", the form of both start-up failure boxes.
void show_error_code_box(const char* text, unsigned long error, const char* caption) {
    char message[128];
    std::snprintf(message, sizeof message, "%s\r\nError code:%lu", text, error);
    platform::message_box(nullptr, message, caption, true);
}

}  // namespace

std::intptr_t window_procedure(platform::WindowHandle window, unsigned message, std::uintptr_t wparam,
                               std::intptr_t lparam) {
    switch (message) {
        case platform::kWmCreate: on_create(window); break;
        case platform::kWmDestroy:
            platform::post_quit(0);
            commit_flush();  // held bookings are stored and answered before the connections close
            listener_stop();
            return 0;
        case kSocketEventMessage: on_socket_event(wparam, lparam); break;
        case kFlushMessage: commit_flush(); return 0;
        case platform::kWmTimer:
            if (wparam == kStatusTimer) status_tick();
            break;
        default: break;
    }
    return platform::default_procedure(window, message, wparam, lparam);
}

int app_main(int show_command) {
    if (!start_site()) return kExitFailure;
    unsigned long error = 0;
    if (!platform::register_window_class(kWindowClassName, window_procedure, kIconId, &error)) {
        show_error_code_box("Window class creation failed", error, "Window Class Failed");
    }
    platform::WindowHandle window = platform::create_main_window(kWindowClassName, kWindowTitle, &error);
    if (window == nullptr) {
        // No window means no quit message will ever come: end here.
        show_error_code_box("Window creation failed", error, "Window Creation Failed");
        return kExitFailure;
    }
    platform::show_window(window, show_command);
    const int exit_code = platform::run_message_loop();
    return listener_failed ? kExitFailure : exit_code;
}

}  // namespace qx::app
