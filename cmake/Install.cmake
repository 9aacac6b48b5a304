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
