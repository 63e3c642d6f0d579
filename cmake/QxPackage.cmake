# Packages (cpack in the build directory). Linux: two Debian packages, "qx" (the programs,
# their manual pages, the shared library, the service unit, the documentation) and
# "qx-dev" (headers, static library, CMake package, pkg-config file), for /usr, with
# maintainer scripts that reload, restart and stop the service as debhelper's do.
# Windows: a .zip of the .exe files, the README, the licence and the sample installation,
# and, where makensis is found, an installer of the same (packaging/nsis/NSIS.template.in).
include_guard(GLOBAL)

set(CPACK_PACKAGE_NAME qx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The qx developers")
set(CPACK_PACKAGE_CONTACT "The qx developers <qx-devel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    find_program(QX_MAKENSIS makensis)
    if(QX_MAKENSIS)
        list(APPEND CPACK_GENERATOR NSIS)
    else()
        message(STATUS "qx: no makensis (Debian package nsis): no Windows installer")
    endif()
    set(CPACK_MONOLITHIC_INSTALL ON)  # one installer of everything, no component page
    set(CPACK_STRIP_FILES OFF)  # the cross tools' strip is not the host's
    # The installer: a 64-bit one for the 64-bit programs (it runs where they run).
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_SYSTEM_NAME win64)
        set(CPACK_QX_NSIS_TARGET "Target amd64-unicode")
        set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    else()
        set(CPACK_SYSTEM_NAME win32)
        set(CPACK_QX_NSIS_TARGET "Target x86-unicode")
        set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
    endif()
    set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging/nsis)  # our NSIS.template.in
    set(CPACK_PACKAGE_INSTALL_DIRECTORY "Nexolt demo")
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Nexolt demo")  # no version: upgrades find it
    set(CPACK_NSIS_DISPLAY_NAME "Nexolt communication demo")
    set(CPACK_NSIS_PACKAGE_NAME "Nexolt communication demo")
    set(CPACK_NSIS_EXECUTABLES_DIRECTORY ${CMAKE_INSTALL_BINDIR})
    set(CPACK_QX_NSIS_ICON ${CMAKE_BINARY_DIR}/app/nexolt-demo.ico)
    set(CPACK_QX_NSIS_README ${CMAKE_INSTALL_DOCDIR}/README.md)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL runtime dev)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME qx)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION net)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    # ldconfig's trigger, and the service's reload, restart on upgrade, stop before removal
    # and purge (packaging/deb), for which deb-systemd-helper and deb-systemd-invoke
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/triggers
        ${PROJECT_SOURCE_DIR}/packaging/deb/postinst ${PROJECT_SOURCE_DIR}/packaging/deb/prerm
        ${PROJECT_SOURCE_DIR}/packaging/deb/postrm)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "init-system-helpers (>= 1.54~)")
    set(CPACK_DEBIAN_DEV_PACKAGE_NAME qx-dev)
    set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qx (= ${PROJECT_VERSION})")
    # (under the summary above)
    set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
        "nexolt-demo plays the server side of a time-and-attendance installation for
a Nexolt time-recording terminal: it listens on TCP port 3950, keeps an event
log and answers keep-alive, booking, absence-reason and terminal-number
requests. nexolt-sim plays the terminal; qxtool runs the operations of the
support library libqx (dates, fields and formats, configuration, data files,
records and visibility rules) from the command line. A systemd unit runs the
server as a service (not enabled).")
    set(CPACK_DEBIAN_DEV_DESCRIPTION
        "Development files: headers, the static library, the CMake package
(find_package(qx): qx::qx) and the pkg-config file of libqx, the support
library of the Nexolt terminal server.")
endif()
include(CPack)
