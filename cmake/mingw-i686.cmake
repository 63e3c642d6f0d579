# Cross toolchain: win32 executables with mingw-w64 (i686-w64-mingw32).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QX_MINGW_TRIPLE i686-w64-mingw32)
set(QX_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
