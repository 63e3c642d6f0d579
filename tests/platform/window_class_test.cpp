// The window class as the application registers it, read back inside the process (Wine
// does not report brush, icon and cursor of a class to other processes).
#include <windows.h>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "platform/window.h"

namespace qx::platform {
namespace {

TEST(WindowClassTest, RegisteredAsTheApplicationNeedsIt) {
    unsigned long error = 0;
    ASSERT_TRUE(register_window_class(app::kWindowClassName, app::window_procedure, app::kIconId, &error)) << error;
    WNDCLASSEXA info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), app::kWindowClassName, &info));
    EXPECT_EQ(info.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(reinterpret_cast<INT_PTR>(info.hbrBackground), COLOR_MENU + 1);  // 5, not COLOR_WINDOW + 1
    EXPECT_NE(info.hIcon, nullptr);    // icon 101 of this executable's resources
    EXPECT_NE(info.hCursor, nullptr);  // the arrow
    // No small icon is given: the system derives hIconSm from icon 101, so it is not null.
    EXPECT_EQ(info.lpszMenuName, nullptr);
    EXPECT_EQ(info.cbClsExtra, 0);
    EXPECT_EQ(info.cbWndExtra, 0);
}

}  // namespace
}  // namespace qx::platform
