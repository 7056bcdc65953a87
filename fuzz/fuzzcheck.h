#pragma once

#include <cstdio>
#include <cstdlib>

// A property every input must keep. A broken one is reported with its text and line and ends
// the run, so libFuzzer saves the input.
#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "broken property: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
