// A Windows test helper that looks at nexolt-demo's window from outside, as a user or
// an accessibility tool would: it finds the main window by class, reads the
// log box (child 101), the title and message boxes, and closes the window.
// It reads one command per line on standard input and answers each with one line, so a
// test keeps one helper running under Wine and polls it cheaply:
//   log              the log box text, escaped (\\ \t \n \r) | none
//   title            the main window's title, escaped | none
//   box CAPTION MS   the text of the message box with that caption, escaped | none
//   dismiss CAPTION  presses OK in the message box with that caption: ok | none
//   settext TEXT     puts TEXT into the log box, as typing would | none
//   close            posts WM_CLOSE to the main window: ok | none
#include <windows.h>

#include <iostream>
#include <string>

#include "app/main_window.h"
#include "support/line_escape.h"

namespace {

using qx::app::kLogBoxId;
constexpr int kMessageTextId = 0xFFFF;  // the text control of a standard message box

std::string window_text(HWND window) {
    std::string text(static_cast<std::size_t>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
    const LRESULT got = SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got));
    return text;
}

std::string run(const std::string& line) {
    const std::size_t blank = line.find(' ');
    const std::string command = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (command == "box") {
        const std::size_t last = rest.rfind(' ');
        const DWORD start = GetTickCount();
        HWND box = nullptr;  // polled every 20 ms until it comes or MS have passed
        while (!(box = FindWindowA("#32770", rest.substr(0, last).c_str())) &&
               GetTickCount() - start < std::stoul(rest.substr(last + 1))) Sleep(20);
        return box != nullptr ? qx::text::escape(window_text(GetDlgItem(box, kMessageTextId))) : "none";
    }
    if (command == "dismiss") {
        HWND box = FindWindowA("#32770", rest.c_str());
        return box != nullptr && PostMessageA(box, WM_COMMAND, IDOK, 0) ? "ok" : "none";
    }
    // By class alone: a site's title tells how many terminals are connected.
    HWND window = FindWindowA(qx::app::kWindowClassName, nullptr);
    if (window == nullptr) return "none";
    if (command == "log") return qx::text::escape(window_text(GetDlgItem(window, kLogBoxId)));
    if (command == "title") return qx::text::escape(window_text(window));
    if (command == "close") return PostMessageA(window, WM_CLOSE, 0, 0) ? "ok" : "none";
    if (command == "settext") {
        std::string text;
        qx::text::unescape(rest, &text);
        SendMessageA(GetDlgItem(window, kLogBoxId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return "ok";
    }
    return "unknown command";
}

}  // namespace

int main() {
    for (std::string line; std::getline(std::cin, line);) std::cout << run(line) << std::endl;
}
