// The lane vocabulary: what the templated kernel cores (transform_core.h,
// codec_core.h) ask of the vector types each instruction set supplies
// (lanes_portable.h, lanes_sse2.h, lanes_avx2.h, lanes_avx512.h).
#pragma once

#include <cstdint>

// A double-lanes type D holds D::width doubles; memory holds doubles or floats:
//   D::V                          the vector, with +, -, *, / and unary -, each
//                                 one correctly rounded IEEE operation per lane
//   narrow(v)                     (found by argument-dependent lookup) each lane
//                                 rounded to float and widened again
//   D::set1(x), D::zero()         broadcast
//   D::load(const double* p)      width doubles, any alignment
//   D::load(const float* p)       width floats widened to doubles (exact)
//   D::load(const int32_t* p)     width 32-bit integers widened to doubles (exact)
//   D::FV                         width floats, with +, - and unary -, each one
//                                 correctly rounded float operation per lane:
//                                 for one product or sum of two floats the same
//                                 bits as the double operation rounded to float
//                                 (the product is exact in double, and double has
//                                 more than twice float's precision), without
//                                 the conversions
//   D::toFloats(v), D::widen(f)   each lane rounded to float, and back (exact)
//   D::store(float* p, v)         each lane rounded to float and stored
//   D::store(double* p, v)        each lane stored as it is
//   D::sqrt(v), D::abs(v)         per lane
//   D::allAtMost(v, limit)        whether every lane is <= limit (false for NaN)
// A width-4 double-lanes type also serves the transform core:
//   D::Half                       the type itself (passes over 4 lanes)
//   D::reverse(v)                 lanes in reverse order
//   D::transpose(a, b, c, d)      4 x 4 transpose, a..d holding the rows
//   D::loadComplex(src, re, im)   4 Complex split into real and imaginary lanes
//   D::storeComplex(dst, re, im)  the reverse, rounded to float
//   D::addToComplex(dst, re, im)  dst[i] += (re[i], im[i]) rounded to float,
//                                 the additions in float arithmetic
// A width-8 double-lanes type W serves the wide transform engine (two
// four-lane items per vector) with the above and:
//   W::Half                       the width-4 type of the same instruction set
//   W::storeSplit(lo, hi, v)      lanes 0..3 to lo, 4..7 to hi, rounded to float
//   W::storeRows4(at, r0..r3)     at[4 c + p] = rp[c] for c = 0..7, rounded
// A float-lanes type F holds F::width floats:
//   F::V                          the vector, with +, - and *
//   F::set1(x), F::zero(), F::load(p), F::store(p, v), F::sqrt(v)
//   F::atLeast(x, limit, a, b)    per lane x >= limit ? a : b
//   F::storeSamples(int16_t* p, v) each lane, which lies in [-32768, 32767],
//                                 truncated toward zero and stored as int16
//   F::rootEstimateError          0, or e > 0 where the instruction set has a
//                                 fast reciprocal square root estimate:
//   F::inverseRootEstimate(v)     (only where e > 0) per lane 1/sqrt(x) within
//                                 relative error e; 0 gives +inf, +inf gives 0
//
// No fused multiply-add is used anywhere: every product and sum is rounded on
// its own, as in the scalar code. Each source that includes a lanes header
// does so inside its own unnamed namespace and target region, so code built
// for one instruction set never stands in for another's at link time.

// One register of RAW as a lane vector NAME with the arithmetic operators of
// the given intrinsics: the repeated part of every single-register lanes type.
#define Q58_LANE_VECTOR(NAME, RAW, ADD, SUB, MUL)                                \
    struct NAME {                                                              \
        RAW v;                                                                 \
    };                                                                         \
    inline NAME operator+(NAME a, NAME b) { return {ADD(a.v, b.v)}; }          \
    inline NAME operator-(NAME a, NAME b) { return {SUB(a.v, b.v)}; }          \
    inline NAME operator*(NAME a, NAME b) { return {MUL(a.v, b.v)}; }

// A float-lanes type NAME over the lane vector VECTOR of WIDTH floats, from
// the instruction set's broadcast, zero, unaligned load and store, square
// root, a select ATLEAST(x, limit, then, otherwise) on raw registers and
// STORESAMPLES(int16_t* p, raw), the truncating store of storeSamples; the
// remaining arguments are further members (rootEstimateError at least).
#define Q58_FLOAT_LANES(NAME, VECTOR, WIDTH, SET1, ZERO, LOAD, STORE, SQRT, ATLEAST, STORESAMPLES, ...)      \
    struct NAME {                                                                                            \
        using V = VECTOR;                                                                                    \
        static constexpr int width = WIDTH;                                                                  \
        static V set1(float x) { return {SET1(x)}; }                                                         \
        static V zero() { return {ZERO()}; }                                                                 \
        static V load(const float* p) { return {LOAD(p)}; }                                                  \
        static void store(float* p, V a) { STORE(p, a.v); }                                                  \
        static V sqrt(V a) { return {SQRT(a.v)}; }                                                           \
        static V atLeast(V x, V limit, V then, V otherwise) { return {ATLEAST(x.v, limit.v, then.v, otherwise.v)}; } \
        static void storeSamples(int16_t* p, V a) { STORESAMPLES(p, a.v); }                                  \
        __VA_ARGS__                                                                                          \
    };
