# Fails if a Windows executable of the build tree needs a DLL that a plain
# Windows installation does not have (the mingw runtime: libstdc++-6.dll,
# libgcc_s_*.dll, libwinpthread-1.dll, ...). Our executables are linked
# statically and must run from a bare directory.
#
#   cmake -DQX_BINARY_DIR=<build dir> -DQX_OBJDUMP=<objdump> -P CheckStaticImports.cmake

cmake_minimum_required(VERSION 3.25)  # CMP0009: globbing never follows symlinks

if(NOT QX_BINARY_DIR OR NOT QX_OBJDUMP)
    message(FATAL_ERROR "QX_BINARY_DIR and QX_OBJDUMP must be set")
endif()

# The Wine prefix in the build tree holds Wine's own programs (and a drive
# mapped to /): look only in the other top-level folders.
file(GLOB tops LIST_DIRECTORIES true "${QX_BINARY_DIR}/*")
set(exes "")
foreach(top IN LISTS tops)
    get_filename_component(name "${top}" NAME)
    if(name MATCHES "^(wineprefix.*|CMakeFiles|Testing)$")
        continue()
    endif()
    if(IS_DIRECTORY "${top}")
        file(GLOB_RECURSE found LIST_DIRECTORIES false "${top}/*.exe" "${top}/*.dll")
    elseif(top MATCHES "\\.(exe|dll)$")
        set(found "${top}")
    else()
        set(found "")
    endif()
    list(APPEND exes ${found})
endforeach()
list(FILTER exes EXCLUDE REGEX "/CMakeFiles/")
list(LENGTH exes count)
if(count EQUAL 0)
    message(FATAL_ERROR "no executables found under ${QX_BINARY_DIR}")
endif()

set(bad "")
foreach(exe IN LISTS exes)
    execute_process(COMMAND "${QX_OBJDUMP}" -p "${exe}"
        OUTPUT_VARIABLE dump RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${QX_OBJDUMP} -p ${exe} failed: ${err}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
    foreach(line IN LISTS imports)
        string(REPLACE "DLL Name: " "" dll "${line}")
        string(TOLOWER "${dll}" dll_lower)
        if(dll_lower MATCHES "^lib")
            string(APPEND bad "  ${exe}: ${dll}\n")
        endif()
    endforeach()
endforeach()

if(bad)
    message(FATAL_ERROR "executables that need non-system DLLs:\n${bad}")
endif()
message(STATUS "${count} Windows binaries import system DLLs only")
