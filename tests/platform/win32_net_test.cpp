// Closing a socket on Windows takes its queued messages with it: Windows may give the
// next accepted socket the same handle, which must not get the closed one's events.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/net.h"

namespace qx::platform {
namespace {

TEST(Win32NetTest, ClosingASocketDropsItsQueuedMessagesAndKeepsTheOthersInOrder) {
    ASSERT_EQ(net_startup(), 0);
    const HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    const unsigned message = WM_APP + 7;
    const Socket closed = tcp_socket();
    const Socket open = tcp_socket();
    ASSERT_EQ(async_select(closed, reinterpret_cast<WindowHandle>(window), message, kFdRead | kFdClose), 0);
    ASSERT_EQ(async_select(open, reinterpret_cast<WindowHandle>(window), message, kFdRead | kFdClose), 0);
    const std::vector<std::pair<Socket, long>> posted = {{closed, kFdClose}, {open, kFdRead}, {closed, kFdRead}, {open, kFdClose}};
    for (const auto& [s, event] : posted) PostMessageA(window, message, static_cast<WPARAM>(s), event);
    ASSERT_EQ(close_socket(closed), 0);
    std::vector<std::pair<Socket, long>> left;
    MSG m;
    while (PeekMessageA(&m, window, message, message, PM_REMOVE)) left.emplace_back(static_cast<Socket>(m.wParam), static_cast<long>(m.lParam));
    const std::vector<std::pair<Socket, long>> expected = {{open, kFdRead}, {open, kFdClose}};
    EXPECT_EQ(left, expected);
    close_socket(open);
    DestroyWindow(window);
    net_cleanup();
}

}  // namespace
}  // namespace qx::platform
