// Program entry on Linux: the terminal is the window, shown as it is. The
// command line takes --help and --version only (the Windows program has none).
#include <cstring>
#include <iostream>

#include <qx/version.h>

#include "app/main_window.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "nexolt-demo " << qx::kVersion << "\n";
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << "usage: nexolt-demo             serve the Nexolt terminal on TCP port 3950\n"
                     "       nexolt-demo --help | --version\n"
                     "The event log is drawn in place on a terminal and written a line per entry\n"
                     "to a pipe or file; SIGINT or SIGTERM ends the run. Exit status 0, or 1 when\n"
                     "the server could not start or a variable is bad (the reason on standard error).\n"
                     "Environment (read at start, but QX_ENGDATE and QX_BOOKINGS: at each booking):\n"
                     "  QX_TERMINALS=N        terminals served at once (default 1: the newest\n"
                     "                        connection takes over)\n"
                     "  QX_TERMINAL_HOSTS=L   addresses and blocks that may connect, such as\n"
                     "                        10.1.2.0/24,10.1.3.7 (default: every address)\n"
                     "  QX_LISTEN=ADDRESS     the local IPv4 address to listen on (default: every one)\n"
                     "  QX_BOOKINGS=FILE      the booking journal (default: none)\n"
                     "  QX_STATUS=FILE        a JSON status file of the connected terminals\n"
                     "                        (default: none)\n"
                     "  QX_ENGDATE            set: booking dates month first (default: unset, day first)\n";
        return 0;
    }
    if (argc > 1) {
        std::cerr << "nexolt-demo: unknown argument '" << argv[1] << "'; see nexolt-demo --help\n";
        return 2;
    }
    return qx::app::app_main(1);
}
