#pragma once

#include <cstdio>
#include <cstdlib>

// A property that does not hold is a finding like a crash: libFuzzer keeps the input that broke it.
#define FUZZ_REQUIRE(condition)                                                                                       \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                   \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
