# The list of what the install put under the prefix, kept there as share/pylvane/install-manifest.txt for
# `make uninstall`, which runs as root and so trusts nothing in the build folder, the user's. Written by the install
# itself, with a mode that lets only its owner change it. Included after every other install rule, as it lists what
# they installed; a component of its own, which the Debian package leaves out (dpkg keeps its own list).
include(GNUInstallDirs)
install(CODE "set(PYLVANE_INSTALL_RECORD \"${CMAKE_INSTALL_DATADIR}/pylvane/install-manifest.txt\")"
        COMPONENT InstallManifest)
install(CODE [[
    set(record "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${PYLVANE_INSTALL_RECORD}")
    get_filename_component(folder "${record}" DIRECTORY)
    message(STATUS "Installing: ${record}")
    file(MAKE_DIRECTORY "${folder}")
    file(CHMOD "${folder}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                       WORLD_EXECUTE)
    list(JOIN CMAKE_INSTALL_MANIFEST_FILES "\n" lines)
    file(REMOVE "${record}")
    file(WRITE "${record}" "${lines}\n")
    file(CHMOD "${record}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
]] COMPONENT InstallManifest)
