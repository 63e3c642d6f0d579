# Cross toolchain: win64 executables with mingw-w64 (x86_64-w64-mingw32).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QX_MINGW_TRIPLE x86_64-w64-mingw32)
set(QX_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
