# Shared part of the mingw-w64 toolchain files: the caller sets QX_MINGW_TRIPLE,
# CMAKE_SYSTEM_PROCESSOR and QX_WINE_ARCH (win32 or win64) first.
# Test executables run through Wine (cmake/wine-run.sh).

set(CMAKE_SYSTEM_NAME Windows)
# The "posix" thread model of Debian's mingw-w64 gives std::thread,
# std::mutex and std::condition_variable; the "win32" one lacks them in GCC 12.
find_program(CMAKE_CXX_COMPILER NAMES ${QX_MINGW_TRIPLE}-g++-posix ${QX_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${QX_MINGW_TRIPLE}-gcc-posix ${QX_MINGW_TRIPLE}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${QX_MINGW_TRIPLE}-windres windres)
find_program(CMAKE_AR NAMES ${QX_MINGW_TRIPLE}-ar)
find_program(CMAKE_RANLIB NAMES ${QX_MINGW_TRIPLE}-ranlib)

set(CMAKE_FIND_ROOT_PATH /usr/${QX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${QX_WINE_ARCH}")
