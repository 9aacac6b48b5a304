# Cross-compiling for 64-bit ARM Linux (arm64) with Debian's crossbuild-essential-arm64, against Debian's arm64
# libraries installed beside the machine's own (multiarch). ctest runs the executables through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(PYLVANE_DEBIAN_ARCHITECTURE arm64)

set(PYLVANE_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${PYLVANE_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${PYLVANE_CROSS_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${PYLVANE_CROSS_TRIPLE})

# Libraries, headers and CMake packages are the arm64 ones; programs are the machine's own. Qt's moc, rcc and uic
# are the amd64 Qt's, which has the same version.
set(CMAKE_FIND_ROOT_PATH /usr/${PYLVANE_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${PYLVANE_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

find_program(PYLVANE_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static)
if(PYLVANE_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PYLVANE_QEMU_AARCH64})
endif()
