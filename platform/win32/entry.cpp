// Program entry on Windows: a window application; the command line is not read.
#include <windows.h>

#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*command_line*/, int show_command) {
    return qx::app::app_main(show_command);
}
