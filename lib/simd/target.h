// Q58_TARGET_BEGIN("isa") ... Q58_TARGET_END: the functions declared in
// between are compiled for one instruction set, the rest of the source for
// the baseline. Only the kernel sources use it, and only around the lanes
// and kernel cores: headers whose inline functions the rest of the library
// also uses (<cmath>, base/) are included before the region, so that no copy
// compiled for a wider instruction set can stand in for the baseline one.
#pragma once

#define Q58_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define Q58_TARGET_BEGIN(isa) Q58_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define Q58_TARGET_END Q58_PRAGMA(clang attribute pop)
#elif defined(__GNUC__)
#define Q58_TARGET_BEGIN(isa) Q58_PRAGMA(GCC push_options) Q58_PRAGMA(GCC target(isa))
#define Q58_TARGET_END Q58_PRAGMA(GCC pop_options)
#else
// Other compilers (MSVC) compile no wider code: the AVX2 and AVX-512 kernel
// sources build their nullptr fallback there (see lib/simd/CMakeLists.txt).
#define Q58_TARGET_BEGIN(isa)
#define Q58_TARGET_END
#endif
