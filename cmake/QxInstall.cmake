# Install rules and the library's packages for other projects.
#
# Linux: the three programs in bin/, their manual pages in share/man/man1, the library
# as libqx.so.MAJOR (shared, versioned SONAME) and libqx.a (static), each holding the
# support library, the visibility rules and the Linux platform layer, its headers under
# include/qx/ (#include <qx/support/record.h>; the headers' own includes resolve inside
# include/qx), a CMake package (find_package(qx CONFIG): qx::qx, shared, and
# qx::qx_static) and pkg-config's qx.pc; the sample installation, the README and docs/ in
# share/doc/qx; the systemd unit of the server in lib/systemd/system. Windows: the .exe
# files, the same documentation and the licence text (copyright.txt).
#
# Components: "runtime" (programs, manual pages, shared library, documentation) and "dev"
# (headers, static library, CMake package, pkg-config file).
include_guard(GLOBAL)
include(GNUInstallDirs)

install(TARGETS qxtool nexolt-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
if(TARGET nexolt-demo)
    install(TARGETS nexolt-demo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
# The documents and pictures the README links to, beside it as in the sources.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT runtime
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "man" EXCLUDE)
if(NOT WIN32)
    # What Debian asks of every package's documentation: the copyright and a changelog,
    # and of manual pages: compressed.
    find_program(QX_GZIP gzip REQUIRED)
    set(qx_gzipped ${CMAKE_BINARY_DIR}/generated/changelog.gz)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/generated/changelog.gz
        COMMAND ${QX_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/generated/changelog.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
    foreach(page qxtool nexolt-sim nexolt-demo)
        add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/generated/${page}.1.gz
            COMMAND ${QX_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${page}.1 > ${CMAKE_BINARY_DIR}/generated/${page}.1.gz
            DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
        list(APPEND qx_gzipped ${CMAKE_BINARY_DIR}/generated/${page}.1.gz)
    endforeach()
    add_custom_target(qx_gzipped ALL DEPENDS ${qx_gzipped})
    foreach(component_dir runtime:qx dev:qx-dev)
        string(REPLACE ":" ";" pair ${component_dir})
        list(GET pair 0 component)
        list(GET pair 1 package)
        install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/generated/changelog.gz
                DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
    endforeach()
endif()
if(WIN32)  # the licence text, for Notepad
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR}
            RENAME copyright.txt COMPONENT runtime)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/installation DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        COMPONENT runtime)

if(WIN32)
    return()
endif()

# The service unit, with the server (installed, not enabled).
set(QX_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING "Where the service unit goes, below the prefix")
# (written when installed: its ExecStart names the program where that prefix puts it)
install(CODE "set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/nexolt-demo.service.in\"
                   \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QX_SYSTEMD_UNIT_DIR}/nexolt-demo.service\" @ONLY)
    message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QX_SYSTEMD_UNIT_DIR}/nexolt-demo.service\")"
    COMPONENT runtime)

install(FILES ${CMAKE_BINARY_DIR}/generated/qxtool.1.gz ${CMAKE_BINARY_DIR}/generated/nexolt-sim.1.gz
              ${CMAKE_BINARY_DIR}/generated/nexolt-demo.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)

# One library of the objects of the rules, the support library and the platform layer,
# as a shared and as a static library.
set(qx_layers qx_visibility qx_support qx_platform)
set_target_properties(${qx_layers} PROPERTIES POSITION_INDEPENDENT_CODE ON)
if(CMAKE_INTERPROCEDURAL_OPTIMIZATION)  # the archive links without link-time optimisation too
    foreach(layer ${qx_layers})
        target_compile_options(${layer} PRIVATE -ffat-lto-objects)
    endforeach()
endif()
list(TRANSFORM qx_layers REPLACE "(.+)" "$<TARGET_OBJECTS:\\1>" OUTPUT_VARIABLE qx_objects)
add_library(qx_shared SHARED ${qx_objects})
add_library(qx_archive STATIC ${qx_objects})
set_target_properties(qx_shared PROPERTIES OUTPUT_NAME qx EXPORT_NAME qx VERSION ${PROJECT_VERSION}
                                           SOVERSION ${PROJECT_VERSION_MAJOR})
set_target_properties(qx_archive PROPERTIES OUTPUT_NAME qx EXPORT_NAME qx_static)
foreach(library qx_shared qx_archive)
    target_include_directories(${library} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
                                                    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/qx>)
    target_compile_features(${library} INTERFACE cxx_std_20)
endforeach()
install(TARGETS qx_shared EXPORT qxTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(TARGETS qx_archive EXPORT qxTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)

# The headers: those of the library and of the platform layer it uses, and the version.
foreach(folder support support/datetime visibility platform)
    file(GLOB headers ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qx/${folder} COMPONENT dev)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/generated/qx/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qx COMPONENT dev)
# <qx/support/record.h>, which programs include for read_record: the record reader and
# the rules that judge its records are headers of two layers now, and this one names both.
file(WRITE ${CMAKE_BINARY_DIR}/generated/compat/support/record.h
     "// Reading fixed-length records and judging them by the visibility rules: read_record,\n"
     "// scans and their results (qx/visibility/records.h, qx/support/record_file.h).\n"
     "#pragma once\n\n#include \"visibility/records.h\"\n")
install(FILES ${CMAKE_BINARY_DIR}/generated/compat/support/record.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qx/support
        COMPONENT dev)

# The CMake package and the pkg-config file.
include(CMakePackageConfigHelpers)
set(qx_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/qx)
install(EXPORT qxTargets NAMESPACE qx:: DESTINATION ${qx_cmake_dir} COMPONENT dev)
file(WRITE ${CMAKE_BINARY_DIR}/generated/qxConfig.cmake.in
     "@PACKAGE_INIT@\ninclude(\"\${CMAKE_CURRENT_LIST_DIR}/qxTargets.cmake\")\ncheck_required_components(qx)\n")
configure_package_config_file(${CMAKE_BINARY_DIR}/generated/qxConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/generated/qxConfig.cmake INSTALL_DESTINATION ${qx_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/qxConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/generated/qxConfig.cmake ${CMAKE_BINARY_DIR}/generated/qxConfigVersion.cmake
        DESTINATION ${qx_cmake_dir} COMPONENT dev)
# (relocatable: the prefix is found from where the file lies, so a tree installed with
# cmake --install --prefix anywhere is found as it is)
file(RELATIVE_PATH QX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/qx.pc.in ${CMAKE_BINARY_DIR}/generated/qx.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/qx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
