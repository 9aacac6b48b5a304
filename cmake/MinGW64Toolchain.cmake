# Cross-compiling for 64-bit Windows with Debian's MinGW-w64. The -posix compilers are named on purpose: the
# default ones use the win32 thread model, which has no std::mutex or std::thread. Everything is linked
# statically, so the executables need no DLLs beside them. ctest runs the executables through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PYLVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PYLVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PYLVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PYLVANE_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${PYLVANE_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${PYLVANE_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# Qt is built with a section per function: a release leaves out what it does not call, and its symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-Wl,--gc-sections -s")

# Libraries and headers come from the MinGW sysroot and from the prefixes handed in with CMAKE_PREFIX_PATH (the
# cross-built Qt and googletest), never from the host; programs come from the host. Qt's moc, rcc and uic are
# the host Qt's, which has the same version.
set(CMAKE_FIND_ROOT_PATH /usr/${PYLVANE_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# Windows programs run under Wine's wine64 as the system has it: on PATH, or where Debian's wine64 package keeps it.
find_program(PYLVANE_WINE64 wine64 PATHS /usr/lib/wine)
if(NOT PYLVANE_WINE64)
    message(FATAL_ERROR "wine64 not found on PATH nor in /usr/lib/wine (Debian package wine64): the Windows build "
                        "runs its tests and lists them under it")
endif()
# ctest reaches it through a script that starts a test program once more when Wine ended it before its main().
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/wine-run.sh)
