// The oracles' check: aborts with the failed expression, so that the fuzzer
// keeps the input as a crash and a replay or test run fails.
#ifndef ULVEX_TESTS_MISMATCH_H
#define ULVEX_TESTS_MISMATCH_H

#include <cstdio>
#include <cstdlib>

#define CHECK(c)                                                                   \
    do {                                                                           \
        if (!(c)) {                                                                \
            std::fprintf(stderr, "%s:%d: mismatch: %s\n", __FILE__, __LINE__, #c); \
            std::abort();                                                          \
        }                                                                          \
    } while (0)

#endif  // ULVEX_TESTS_MISMATCH_H
