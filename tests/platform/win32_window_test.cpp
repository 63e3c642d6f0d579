// The Windows window system and sockets inside the process: the window class gets the
// icon of the executable's resources (Wine does not report a class's icon to other
// processes), and the messages of a closed socket, which Windows may give the next
// accepted socket's handle, are dropped with it.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/main_window.h"
#include "platform/net.h"
#include "platform/window.h"

namespace qx::platform {
namespace {

TEST(Win32WindowTest, TheClassHasTheApplicationsIconAndTheArrow) {
    unsigned long error = 0;
    ASSERT_TRUE(register_window_class(app::kWindowClassName, app::window_procedure, app::kIconId, &error)) << error;
    WNDCLASSEXA info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), app::kWindowClassName, &info));
    EXPECT_NE(info.hIcon, nullptr);    // icon 101 of this executable's resources
    EXPECT_NE(info.hCursor, nullptr);  // the arrow
}

TEST(Win32WindowTest, ClosingASocketDropsItsQueuedMessagesAndKeepsTheOthersInOrder) {
    ASSERT_EQ(net_startup(), 0);
    const HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    const unsigned message = WM_APP + 7;
    const Socket closed = tcp_socket();
    const Socket open = tcp_socket();
    ASSERT_EQ(async_select(closed, reinterpret_cast<WindowHandle>(window), message, kFdRead | kFdClose), 0);
    ASSERT_EQ(async_select(open, reinterpret_cast<WindowHandle>(window), message, kFdRead | kFdClose), 0);
    using Posted = std::vector<std::pair<Socket, long>>;
    for (const auto& [s, event] : Posted{{closed, kFdClose}, {open, kFdRead}, {closed, kFdRead}, {open, kFdClose}}) {
        PostMessageA(window, message, static_cast<WPARAM>(s), event);
    }
    ASSERT_EQ(close_socket(closed), 0);
    Posted left;
    for (MSG m; PeekMessageA(&m, window, message, message, PM_REMOVE);) left.emplace_back(static_cast<Socket>(m.wParam), static_cast<long>(m.lParam));
    EXPECT_EQ(left, (Posted{{open, kFdRead}, {open, kFdClose}}));
    net_cleanup();  // which closes `open`
    DestroyWindow(window);
}

}  // namespace
}  // namespace qx::platform
