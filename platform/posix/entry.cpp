// Program entry on POSIX systems: the terminal is the window, shown as it is.
#include "app/main_window.h"

int main() { return qx::app::app_main(1); }
