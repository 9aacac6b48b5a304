# Desktop integration: the program, its menu entry and its icon in the hicolor theme, and the right to send
# ICMP echo requests where the system does not grant it to every user.
include(GNUInstallDirs)

install(TARGETS pylvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The menu entry runs the program from the user's home folder: the log file is written to the working
# directory, and a desktop session would otherwise start it wherever it happens to be (often /).
install(FILES ${CMAKE_SOURCE_DIR}/resources/pylvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

foreach(size 16 22 32 48 64 128)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/pylvane-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME pylvane.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/pylvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Where not every user may send ICMP echo, the program gets the capability to (IcmpCapability.cmake says how).
# A component of its own, because the Debian package leaves this step out: its postinst grants the capability
# on the machine it is installed on (Package.cmake).
install(CODE "set(PYLVANE_EXE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/pylvane\")
              include(\"${CMAKE_CURRENT_LIST_DIR}/IcmpCapability.cmake\")"
        COMPONENT IcmpCapability)

# What journalctl -x explains for each of the events the program sends to the journal. journalctl reads the
# catalogs below /usr/lib and /usr/local/lib; the Debian package's install has systemd's trigger rebuild its
# database, a `make install` into either place rebuilds it here.
install(FILES ${CMAKE_SOURCE_DIR}/resources/pylvane.catalog DESTINATION lib/systemd/catalog)
install(CODE "if(\"\$ENV{DESTDIR}\" STREQUAL \"\" AND CMAKE_INSTALL_PREFIX MATCHES \"^/usr(/local)?/?$\")
                  find_program(journalctl journalctl)
                  if(journalctl)
                      execute_process(COMMAND \${journalctl} --update-catalog)
                  endif()
              endif()"
        COMPONENT CatalogUpdate)

# The system service and the user service, neither enabled: the administrator or the user opts in (systemctl
# enable). A user unit goes to lib/systemd/user under the prefix. A system unit goes to lib/systemd/system under
# it too, but for the prefix /usr, as in the Debian package: Debian 12 keeps the system's units in /lib, outside
# the prefix, which is why this is decided at install time, when the prefix is known (file(INSTALL) adds DESTDIR).
# The service's settings are the administrator's, so only a commented example is installed; /etc stays untouched.
if(NOT WIN32)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/systemd/user/pylvane.service DESTINATION lib/systemd/user)
    install(CODE "
        set(units \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
        if(CMAKE_INSTALL_PREFIX MATCHES \"^/usr/?$\")
            set(units /lib/systemd/system)
        endif()
        file(INSTALL \"${CMAKE_SOURCE_DIR}/packaging/systemd/pylvane.service\" DESTINATION \"\${units}\"
             FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    ")
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/pylvane.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pylvane/examples)
endif()
