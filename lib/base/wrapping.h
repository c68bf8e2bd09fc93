// Two's-complement readings of unsigned bit patterns: what a signed 32- or
// 64-bit integer holds after arithmetic that wraps around.
#pragma once

#include <cstdint>

// Counters and generator states run in unsigned arithmetic, where wrap-around
// is defined, and are turned back into signed values this way rather than by
// a plain cast (implementation-defined before C++20 for values above the
// signed maximum); compilers reduce both functions to nothing.
inline int32_t wrapToInt32(uint32_t bits) {
    if (bits <= static_cast<uint32_t>(INT32_MAX)) return static_cast<int32_t>(bits);
    return -static_cast<int32_t>(~bits) - 1;
}

inline int64_t wrapToInt64(uint64_t bits) {
    if (bits <= static_cast<uint64_t>(INT64_MAX)) return static_cast<int64_t>(bits);
    return -static_cast<int64_t>(~bits) - 1;
}
