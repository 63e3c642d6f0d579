// The window application: start-up, the main window and its window procedure, where
// every event of the run arrives (socket events included), and the message loop.
// Owns nothing beyond what the event log and the listener own.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace qx::app {

inline constexpr char kWindowClassName[] = "Window Class";
inline constexpr char kWindowTitle[] = "Nexolt communication demo";
inline constexpr int kIconId = 101;
inline constexpr int kLogBoxId = 101;

// The main window's procedure.
std::intptr_t window_procedure(platform::WindowHandle window, unsigned message, std::uintptr_t wparam,
                               std::intptr_t lparam);

// Runs the application: reads the site settings (app/site_config.h), registers the
// class, creates and shows the main window and runs the message loop. Returns 0 after the
// window was closed; 1 when a site setting is bad, the main window could not be created
// or the listener could not be started (after its message box), so that scripts and
// service managers see the failure.
int app_main(int show_command);

}  // namespace qx::app
