// Start-up, the window procedure and the message loop.
#include "app/main_window.h"

#include <cstdio>
#include <cstring>

#include "app/event_log.h"
#include "app/listener.h"

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
    listener_failed = !listener_start(window);
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
            listener_stop();
            return 0;
        case kSocketEventMessage: on_socket_event(wparam, lparam); break;
        default: break;
    }
    return platform::default_procedure(window, message, wparam, lparam);
}

int app_main(int show_command) {
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
