# Test registration helpers.
#
#   qx_add_gtest(NAME SOURCES src... [LIBS lib...])
#       GoogleTest executable linked with GTest::gtest_main and qx_options.
#       Native builds: each test case becomes a ctest test (discovered when
#       ctest runs). Cross builds: one ctest test per executable, run through
#       CMAKE_CROSSCOMPILING_EMULATOR (Wine), so Wine starts once per binary.
#
#   qx_add_e2e_test(NAME COMMAND cmd args... [WORKING_DIRECTORY dir])
#       Process-level test, label "e2e", timeout 300 s.

include_guard(GLOBAL)

if(NOT CMAKE_CROSSCOMPILING)
    include(GoogleTest)
endif()

function(qx_add_gtest name)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBS")
    if(NOT ARG_SOURCES)
        message(FATAL_ERROR "qx_add_gtest(${name}): SOURCES is required")
    endif()
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "qx_add_gtest(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()

    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main qx_options)

    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES LABELS "unit")
    else()
        # PRE_TEST: the test list is read when ctest runs, so a binary that
        # crashes while listing its tests shows up as a test failure instead
        # of breaking the build.
        gtest_discover_tests(${name}
            DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT 60
            PROPERTIES LABELS "unit")
    endif()
endfunction()

function(qx_add_e2e_test name)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "WORKING_DIRECTORY" "COMMAND")
    if(NOT ARG_COMMAND)
        message(FATAL_ERROR "qx_add_e2e_test(${name}): COMMAND is required")
    endif()
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "qx_add_e2e_test(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(ARG_WORKING_DIRECTORY)
        add_test(NAME ${name} COMMAND ${ARG_COMMAND} WORKING_DIRECTORY ${ARG_WORKING_DIRECTORY})
    else()
        add_test(NAME ${name} COMMAND ${ARG_COMMAND})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS "e2e")
endfunction()
