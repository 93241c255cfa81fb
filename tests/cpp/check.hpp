#pragma once
// A minimal test harness: CHECK records a failure with its line and goes on;
// main returns the number of failures.
#include <cstdio>

namespace check {
inline int failures = 0;
}

#define CHECK(condition)                                                            \
    do {                                                                            \
        if (!(condition)) {                                                         \
            std::fprintf(stderr, "%s:%d: CHECK(%s) failed\n", __FILE__, __LINE__, #condition); \
            ++check::failures;                                                      \
        }                                                                           \
    } while (0)
