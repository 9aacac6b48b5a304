# The manual page, the copyright file, the changelog and the AppStream metainfo, installed with everything else,
# and the Debian package built from the same install by CPack's DEB generator (`make package`).
include(GNUInstallDirs)
set(PYLVANE_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pylvane maintainers <maintainers@users.noreply.c-seed-70da1424.example>")

# The changelog and the metainfo carry the project's version and its release date: SOURCE_DATE_EPOCH, which the
# make targets set to the last commit's date, or else now. The date stays in the cache until the version or the
# epoch changes, so that configuring again (every make target does) rewrites neither file and leaves the build with
# nothing to do.
set(release_key "${PROJECT_VERSION} $ENV{SOURCE_DATE_EPOCH}")
if(NOT PYLVANE_RELEASE_KEY STREQUAL release_key)
    string(TIMESTAMP epoch "%s" UTC)
    set(PYLVANE_RELEASE_EPOCH ${epoch} CACHE INTERNAL "")
    set(PYLVANE_RELEASE_KEY "${release_key}" CACHE INTERNAL "")
endif()
set(outer_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${PYLVANE_RELEASE_EPOCH})
string(TIMESTAMP PYLVANE_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP PYLVANE_RELEASE_DAY "%Y-%m-%d" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${outer_epoch}")
configure_file(${PYLVANE_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/pylvane.metainfo.xml.in ${CMAKE_BINARY_DIR}/pylvane.metainfo.xml @ONLY)

# Compressed without name or time stamp, so that the same source gives the same file.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
                   COMMAND gzip -9nkf changelog
                   DEPENDS ${CMAKE_BINARY_DIR}/changelog
                   WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
                   VERBATIM)
add_custom_target(pylvane_documents ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${PYLVANE_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pylvane)
# Named after its id, as AppStream looks for it.
install(FILES ${CMAKE_BINARY_DIR}/pylvane.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME invalid.pylvane.pylvane.metainfo.xml)

# The manual page: its options are the program's own `--help`, which help2man turns into the page at build time, so
# that the two cannot differ; the rest of it is packaging/pylvane.h2m. A cross-built program answers through the
# emulator the tests run under. Windows has no manual pages.
if(NOT WIN32)
    find_program(PYLVANE_HELP2MAN help2man REQUIRED)
    set(program $<TARGET_FILE:pylvane>)
    if(CMAKE_CROSSCOMPILING)
        if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
            message(FATAL_ERROR "the manual page needs the cross-built program's --help: set CMAKE_CROSSCOMPILING_EMULATOR")
        endif()
        # help2man runs one program with --help and --version: this one starts the cross-built one.
        file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/pylvane-help
             CONTENT "#!/bin/sh\nexec \"${CMAKE_CROSSCOMPILING_EMULATOR}\" \"$<TARGET_FILE:pylvane>\" \"$@\"\n"
             FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
        set(program ${CMAKE_BINARY_DIR}/pylvane-help)
    endif()
    # The date on the page is SOURCE_DATE_EPOCH's when it is set, as the make targets set it.
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/pylvane.1.in
                       COMMAND ${PYLVANE_HELP2MAN} --no-info --section=1
                               --include=${PYLVANE_PACKAGING_DIR}/pylvane.h2m --output=pylvane.1.in ${program}
                       DEPENDS pylvane ${PYLVANE_PACKAGING_DIR}/pylvane.h2m
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
                       VERBATIM)
    add_custom_target(pylvane_manual_page ALL DEPENDS ${CMAKE_BINARY_DIR}/pylvane.1.in)

    # The page names the installed program, whose place only the install knows (`cmake --install --prefix` and
    # CPack choose the prefix then), so it is finished at install time, in its place: the install may run as root,
    # and the build folder stays the user's.
    install(CODE "
        set(PYLVANE_EXE \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/pylvane\")
        set(page \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/pylvane.1.gz\")
        set(man1 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\")
        message(STATUS \"Installing: \$ENV{DESTDIR}\${page}\")
        file(MAKE_DIRECTORY \"\${man1}\")
        # The page's mode is its own, not that of help2man's output, which follows the umask of the build.
        configure_file(\"${CMAKE_BINARY_DIR}/pylvane.1.in\" \"\${man1}/pylvane.1\" @ONLY
                       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
        execute_process(COMMAND gzip -9nf pylvane.1 WORKING_DIRECTORY \"\${man1}\" RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR \"gzip could not compress \${man1}/pylvane.1\")
        endif()
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${page}\") # listed as file(INSTALL) lists, without DESTDIR
    ")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pylvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop watchdog for network devices, IP cameras and processes")
# Lines of at most 80 characters, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "Pylvane checks up to 10 network devices and 10 IP cameras with one ICMP echo
each, and looks for up to 15 processes by executable name, about every 17
minutes. Targets found down are written to a plain-text log, a lamp on its
small window turns green or red, and when something is down a program of the
user's choice is started.")
# The libraries come from the binary; setcap is for the postinst; xdg-open opens the log in the desktop's editor.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack would name the build machine's architecture, also around a cross-built program; the toolchain names its own.
if(CMAKE_CROSSCOMPILING AND PYLVANE_DEBIAN_ARCHITECTURE)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PYLVANE_DEBIAN_ARCHITECTURE})
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PYLVANE_PACKAGING_DIR}/postinst ${PYLVANE_PACKAGING_DIR}/prerm
                                      ${PYLVANE_PACKAGING_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
# Everything but the install-time capability step, which the postinst replaces.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
include(CPack)
