#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

// The arm64 build's tests run under qemu-user (scripts/arm64.sh), which says so in the environment. There, the
// helper programs the tests start are arm64 programs too, which the kernel starts only through a binfmt_misc entry
// for qemu: PYLVANE_NO_BINFMT gives the reason when none could be made. And /proc/PID/exe of an emulated process
// names qemu, not the program.

// Skips the calling test when the programs built with it cannot be started as child processes here.
#define PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS()                                                                          \
    if (const char* pylvaneNoBinfmt = std::getenv("PYLVANE_NO_BINFMT"))                                                \
    GTEST_SKIP() << "the arm64 helper programs cannot be started: " << pylvaneNoBinfmt

// Skips the calling test when it needs /proc to name a process's own program.
#define PYLVANE_SKIP_UNDER_QEMU()                                                                                      \
    if (std::getenv("PYLVANE_UNDER_QEMU"))                                                                             \
    GTEST_SKIP() << "under qemu-user /proc/PID/exe names qemu, not the program, which the process table goes by"
