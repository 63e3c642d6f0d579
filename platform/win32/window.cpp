// The window system on Windows: exactly the USER32 calls of the application's main
// window, its EDIT log box and its message loop. One window class per process: its
// window procedure is the application's, called through a WNDPROC trampoline.
#include "platform/window.h"

#include <windows.h>

namespace qx::platform {
namespace {

constexpr int kMainX = 200, kMainY = 200, kMainWidth = 640, kMainHeight = 480;
constexpr int kBoxX = 50, kBoxY = 50, kBoxWidth = 400, kBoxHeight = 260;
constexpr DWORD kBoxStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL;

WindowProcedure application_procedure = nullptr;  // of the one registered class

HWND native(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle portable(HWND window) { return reinterpret_cast<WindowHandle>(window); }

LRESULT CALLBACK trampoline(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (application_procedure == nullptr) return DefWindowProcA(window, message, wparam, lparam);
    return application_procedure(portable(window), message, wparam, lparam);
}

}  // namespace

bool register_window_class(const char* class_name, WindowProcedure procedure, int icon_id,
                           unsigned long* error) {
    application_procedure = procedure;
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = trampoline;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(icon_id));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    window_class.lpszClassName = class_name;
    if (RegisterClassExA(&window_class) != 0) return true;
    *error = GetLastError();
    return false;
}

WindowHandle create_main_window(const char* class_name, const char* title, unsigned long* error) {
    const HWND window = CreateWindowExA(0, class_name, title, WS_OVERLAPPEDWINDOW, kMainX, kMainY, kMainWidth,
                                        kMainHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) *error = GetLastError();
    return portable(window);
}

WindowHandle create_log_box(WindowHandle parent, int id) {
    const HWND box = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", kBoxStyle, kBoxX, kBoxY, kBoxWidth, kBoxHeight,
                                     native(parent), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     GetModuleHandleA(nullptr), nullptr);
    if (box != nullptr) {
        SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    }
    return portable(box);
}

LogMedium log_medium(WindowHandle /*box*/) { return LogMedium::TextBox; }

void set_log_text(WindowHandle box, const std::string& text) {
    if (box == nullptr) return;
    SendMessageA(native(box), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void message_box(WindowHandle owner, const char* text, const char* caption, bool error_icon) {
    MessageBoxA(native(owner), text, caption, error_icon ? MB_ICONERROR : MB_OK);
}

void show_window(WindowHandle window, int show_command) { ShowWindow(native(window), show_command); }

std::intptr_t send_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    return SendMessageA(native(window), message, wparam, lparam);
}

std::intptr_t default_procedure(WindowHandle window, unsigned message, std::uintptr_t wparam,
                                std::intptr_t lparam) {
    return DefWindowProcA(native(window), message, wparam, lparam);
}

bool post_message(WindowHandle window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    return PostMessageA(native(window), message, wparam, lparam) != 0;
}

void set_window_title(WindowHandle window, const char* title) { SetWindowTextA(native(window), title); }

bool set_timer(WindowHandle window, std::uintptr_t id, unsigned interval_ms) {
    return SetTimer(native(window), id, interval_ms, nullptr) != 0;
}

void kill_timer(WindowHandle window, std::uintptr_t id) { KillTimer(native(window), id); }

void post_quit(int exit_code) { PostQuitMessage(exit_code); }

int run_message_loop() {
    MSG message;
    BOOL result;
    // -1 reports a failed wait, not the end: only the quit message (0) ends the loop.
    while ((result = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (result == -1) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace qx::platform
