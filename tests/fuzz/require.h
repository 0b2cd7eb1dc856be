// What the fuzz targets insist on: a broken condition stops the run with a crash the fuzzer records,
// whatever the build's assertions.
#pragma once
#include <cstdlib>

#define REQUIRE(condition)                                                                                   \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            std::abort();                                                                                    \
    } while (0)
