# The manual page, the copyright file and the changelog, installed with everything else, and the Debian package
# built from the same install by CPack's DEB generator (`make package`).
include(GNUInstallDirs)
set(PYLVANE_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pylvane maintainers <maintainers@users.noreply.c-seed-70da1424.example>")

# Both carry the project's version. The release date honours SOURCE_DATE_EPOCH, as Debian's tools do.
string(TIMESTAMP PYLVANE_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PYLVANE_PACKAGING_DIR}/pylvane.1.in ${CMAKE_BINARY_DIR}/pylvane.1 @ONLY)
configure_file(${PYLVANE_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)

# Compressed without name or time stamp, so that the same source gives the same files.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/pylvane.1.gz ${CMAKE_BINARY_DIR}/changelog.gz
                   COMMAND gzip -9nkf pylvane.1 changelog
                   DEPENDS ${CMAKE_BINARY_DIR}/pylvane.1 ${CMAKE_BINARY_DIR}/changelog
                   WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
                   VERBATIM)
add_custom_target(pylvane_documents ALL DEPENDS ${CMAKE_BINARY_DIR}/pylvane.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/pylvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PYLVANE_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pylvane)

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
# The libraries come from the binary; setcap is for the postinst.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS libcap2-bin)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PYLVANE_PACKAGING_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
# Everything but the install-time capability step, which the postinst replaces.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
include(CPack)
