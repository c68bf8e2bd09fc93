#pragma once

// Q58_ASSERT_FINITE(value) and Q58_ASSERT_FINITE(array, count): stops the
// program with a message naming the place when a float, a double, or any
// entry of a float or Complex array is NaN or infinite.
//
// The checks cost a pass over every spectrum, so they exist only in builds
// that define Q58_CHECK_FINITE (the sanitizer and fuzzing builds); anywhere
// else the macro expands to nothing and its arguments are not evaluated.

#ifdef Q58_CHECK_FINITE

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/complex.h"

namespace finite_check {

[[noreturn]] inline void fail(const char* file, int line, const char* what, long index) {
    std::fprintf(stderr, "%s:%d: non-finite value in %s (entry %ld)\n", file, line, what, index);
    std::fflush(stderr);
    std::abort();
}

inline void require(const char* file, int line, const char* what, double value) {
    if (!std::isfinite(value)) fail(file, line, what, -1);
}

inline void require(const char* file, int line, const char* what, const float* values, long count) {
    for (long i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) fail(file, line, what, i);
}

inline void require(const char* file, int line, const char* what, const Complex* values, long count) {
    for (long i = 0; i < count; ++i)
        if (!std::isfinite(values[i].re) || !std::isfinite(values[i].im)) fail(file, line, what, i);
}

}  // namespace finite_check

#define Q58_ASSERT_FINITE(...) ::finite_check::require(__FILE__, __LINE__, #__VA_ARGS__, __VA_ARGS__)

#else

#define Q58_ASSERT_FINITE(...) ((void)0)

#endif
