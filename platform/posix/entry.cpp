// Program entry on POSIX systems: the terminal is the window, shown as it is. The
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
                     "the server could not start (the reason on standard error).\n";
        return 0;
    }
    if (argc > 1) {
        std::cerr << "nexolt-demo: unknown argument '" << argv[1] << "'; see nexolt-demo --help\n";
        return 2;
    }
    return qx::app::app_main(1);
}
