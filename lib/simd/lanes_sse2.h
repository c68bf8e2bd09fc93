// SSE2 lanes, the x86-64 baseline: four doubles in two registers, four floats
// in one.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "base/complex.h"
#include "simd/lanes.h"

namespace {

// Lanes 0, 1 in lo, 2, 3 in hi.
struct Sse2Doubles4 {
    __m128d lo;
    __m128d hi;
};

inline Sse2Doubles4 operator+(Sse2Doubles4 a, Sse2Doubles4 b) { return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)}; }
inline Sse2Doubles4 operator-(Sse2Doubles4 a, Sse2Doubles4 b) { return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)}; }
inline Sse2Doubles4 operator*(Sse2Doubles4 a, Sse2Doubles4 b) { return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)}; }
inline Sse2Doubles4 operator/(Sse2Doubles4 a, Sse2Doubles4 b) { return {_mm_div_pd(a.lo, b.lo), _mm_div_pd(a.hi, b.hi)}; }
// Flips the sign bit, as negation does.
inline Sse2Doubles4 operator-(Sse2Doubles4 a) {
    const __m128d sign = _mm_set1_pd(-0.0);
    return {_mm_xor_pd(a.lo, sign), _mm_xor_pd(a.hi, sign)};
}

Q58_LANE_VECTOR(Sse2Floats4, __m128, _mm_add_ps, _mm_sub_ps, _mm_mul_ps)
inline Sse2Floats4 operator-(Sse2Floats4 a) { return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))}; }

// Four floats to doubles and back.
inline Sse2Doubles4 sse2Widen(__m128 x) { return {_mm_cvtps_pd(x), _mm_cvtps_pd(_mm_movehl_ps(x, x))}; }
inline __m128 sse2ToFloats(Sse2Doubles4 x) { return _mm_movelh_ps(_mm_cvtpd_ps(x.lo), _mm_cvtpd_ps(x.hi)); }
inline Sse2Doubles4 narrow(Sse2Doubles4 x) { return {_mm_cvtps_pd(_mm_cvtpd_ps(x.lo)), _mm_cvtps_pd(_mm_cvtpd_ps(x.hi))}; }

struct Doubles {
    using V = Sse2Doubles4;
    using FV = Sse2Floats4;
    using Half = Doubles;
    static constexpr int width = 4;
    static V set1(double x) { return {_mm_set1_pd(x), _mm_set1_pd(x)}; }
    static V zero() { return {_mm_setzero_pd(), _mm_setzero_pd()}; }
    static V load(const double* p) { return {_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}; }
    static V load(const float* p) { return sse2Widen(_mm_loadu_ps(p)); }
    static V load(const int32_t* p) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return {_mm_cvtepi32_pd(x), _mm_cvtepi32_pd(_mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)))};
    }
    static FV toFloats(V v) { return {sse2ToFloats(v)}; }
    static V widen(FV v) { return sse2Widen(v.v); }
    static void store(float* p, V v) { _mm_storeu_ps(p, sse2ToFloats(v)); }
    static void store(double* p, V v) {
        _mm_storeu_pd(p, v.lo);
        _mm_storeu_pd(p + 2, v.hi);
    }
    static V sqrt(V a) { return {_mm_sqrt_pd(a.lo), _mm_sqrt_pd(a.hi)}; }
    static V abs(V a) {
        const __m128d sign = _mm_set1_pd(-0.0);
        return {_mm_andnot_pd(sign, a.lo), _mm_andnot_pd(sign, a.hi)};
    }
    static bool allAtMost(V a, double limit) {
        const __m128d l = _mm_set1_pd(limit);
        return (_mm_movemask_pd(_mm_cmple_pd(a.lo, l)) & _mm_movemask_pd(_mm_cmple_pd(a.hi, l))) == 0x3;
    }
    static V reverse(V v) { return {_mm_shuffle_pd(v.hi, v.hi, 1), _mm_shuffle_pd(v.lo, v.lo, 1)}; }
    static void transpose(V& a, V& b, V& c, V& d) {
        const V ta = {_mm_unpacklo_pd(a.lo, b.lo), _mm_unpacklo_pd(c.lo, d.lo)};
        const V tb = {_mm_unpackhi_pd(a.lo, b.lo), _mm_unpackhi_pd(c.lo, d.lo)};
        const V tc = {_mm_unpacklo_pd(a.hi, b.hi), _mm_unpacklo_pd(c.hi, d.hi)};
        const V td = {_mm_unpackhi_pd(a.hi, b.hi), _mm_unpackhi_pd(c.hi, d.hi)};
        a = ta;
        b = tb;
        c = tc;
        d = td;
    }
    static void loadComplex(const Complex* src, V& re, V& im) {
        const __m128 lo = _mm_loadu_ps(&src[0].re);  // re0 im0 re1 im1
        const __m128 hi = _mm_loadu_ps(&src[2].re);  // re2 im2 re3 im3
        re = sse2Widen(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
        im = sse2Widen(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    static void storeComplex(Complex* dst, V re, V im) {
        const __m128 r = sse2ToFloats(re);
        const __m128 i = sse2ToFloats(im);
        _mm_storeu_ps(&dst[0].re, _mm_unpacklo_ps(r, i));
        _mm_storeu_ps(&dst[2].re, _mm_unpackhi_ps(r, i));
    }
    static void addToComplex(Complex* dst, V re, V im) {
        const __m128 r = sse2ToFloats(re);
        const __m128 i = sse2ToFloats(im);
        _mm_storeu_ps(&dst[0].re, _mm_add_ps(_mm_loadu_ps(&dst[0].re), _mm_unpacklo_ps(r, i)));
        _mm_storeu_ps(&dst[2].re, _mm_add_ps(_mm_loadu_ps(&dst[2].re), _mm_unpackhi_ps(r, i)));
    }
};

inline __m128 sse2AtLeast(__m128 x, __m128 limit, __m128 then, __m128 otherwise) {
    const __m128 mask = _mm_cmpge_ps(x, limit);
    return _mm_or_ps(_mm_and_ps(mask, then), _mm_andnot_ps(mask, otherwise));
}
// The truncating conversion gives 32-bit integers, which pack (saturating,
// a no-op in range) into four 16-bit ones.
inline void sse2StoreSamples(int16_t* p, __m128 x) {
    const __m128i whole = _mm_cvttps_epi32(x);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(whole, whole));
}
Q58_FLOAT_LANES(Floats, Sse2Floats4, 4, _mm_set1_ps, _mm_setzero_ps, _mm_loadu_ps, _mm_storeu_ps, _mm_sqrt_ps,
                sse2AtLeast, sse2StoreSamples,
                static constexpr double rootEstimateError = 0.0;)

}  // namespace
