// AVX2 lanes: four doubles or eight floats per register.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "base/complex.h"
#include "simd/lanes.h"

namespace {

Q58_LANE_VECTOR(Avx2Doubles4, __m256d, _mm256_add_pd, _mm256_sub_pd, _mm256_mul_pd)
inline Avx2Doubles4 operator/(Avx2Doubles4 a, Avx2Doubles4 b) { return {_mm256_div_pd(a.v, b.v)}; }
inline Avx2Doubles4 operator-(Avx2Doubles4 a) { return {_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))}; }
inline Avx2Doubles4 narrow(Avx2Doubles4 a) { return {_mm256_cvtps_pd(_mm256_cvtpd_ps(a.v))}; }
// Four and eight floats, for sums of floats the double lanes leave to float arithmetic.
Q58_LANE_VECTOR(Avx2Floats4, __m128, _mm_add_ps, _mm_sub_ps, _mm_mul_ps)
inline Avx2Floats4 operator-(Avx2Floats4 a) { return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))}; }
Q58_LANE_VECTOR(Avx2Floats8, __m256, _mm256_add_ps, _mm256_sub_ps, _mm256_mul_ps)
inline Avx2Floats8 operator-(Avx2Floats8 a) { return {_mm256_xor_ps(a.v, _mm256_set1_ps(-0.0f))}; }

struct Doubles {
    using V = Avx2Doubles4;
    using FV = Avx2Floats4;
    using Half = Doubles;
    static constexpr int width = 4;
    static V set1(double x) { return {_mm256_set1_pd(x)}; }
    static V zero() { return {_mm256_setzero_pd()}; }
    static V load(const double* p) { return {_mm256_loadu_pd(p)}; }
    static V load(const float* p) { return {_mm256_cvtps_pd(_mm_loadu_ps(p))}; }
    static V load(const int32_t* p) { return {_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))}; }
    static FV toFloats(V v) { return {_mm256_cvtpd_ps(v.v)}; }
    static V widen(FV v) { return {_mm256_cvtps_pd(v.v)}; }
    static void store(float* p, V v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v.v)); }
    static void store(double* p, V v) { _mm256_storeu_pd(p, v.v); }
    static V sqrt(V a) { return {_mm256_sqrt_pd(a.v)}; }
    static V abs(V a) { return {_mm256_andnot_pd(_mm256_set1_pd(-0.0), a.v)}; }
    static bool allAtMost(V a, double limit) {
        return _mm256_movemask_pd(_mm256_cmp_pd(a.v, _mm256_set1_pd(limit), _CMP_LE_OQ)) == 0xF;
    }
    static V reverse(V v) { return {_mm256_permute4x64_pd(v.v, _MM_SHUFFLE(0, 1, 2, 3))}; }
    static void transpose(V& a, V& b, V& c, V& d) {
        const __m256d t0 = _mm256_unpacklo_pd(a.v, b.v);  // a0 b0 | a2 b2
        const __m256d t1 = _mm256_unpackhi_pd(a.v, b.v);  // a1 b1 | a3 b3
        const __m256d t2 = _mm256_unpacklo_pd(c.v, d.v);  // c0 d0 | c2 d2
        const __m256d t3 = _mm256_unpackhi_pd(c.v, d.v);  // c1 d1 | c3 d3
        a.v = _mm256_permute2f128_pd(t0, t2, 0x20);
        b.v = _mm256_permute2f128_pd(t1, t3, 0x20);
        c.v = _mm256_permute2f128_pd(t0, t2, 0x31);
        d.v = _mm256_permute2f128_pd(t1, t3, 0x31);
    }
    static void loadComplex(const Complex* src, V& re, V& im) {
        const __m128 lo = _mm_loadu_ps(&src[0].re);
        const __m128 hi = _mm_loadu_ps(&src[2].re);
        re.v = _mm256_cvtps_pd(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
        im.v = _mm256_cvtps_pd(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    static void storeComplex(Complex* dst, V re, V im) {
        const __m128 r = _mm256_cvtpd_ps(re.v);
        const __m128 i = _mm256_cvtpd_ps(im.v);
        _mm_storeu_ps(&dst[0].re, _mm_unpacklo_ps(r, i));
        _mm_storeu_ps(&dst[2].re, _mm_unpackhi_ps(r, i));
    }
    static void addToComplex(Complex* dst, V re, V im) {
        const __m128 r = _mm256_cvtpd_ps(re.v);
        const __m128 i = _mm256_cvtpd_ps(im.v);
        _mm_storeu_ps(&dst[0].re, _mm_add_ps(_mm_loadu_ps(&dst[0].re), _mm_unpacklo_ps(r, i)));
        _mm_storeu_ps(&dst[2].re, _mm_add_ps(_mm_loadu_ps(&dst[2].re), _mm_unpackhi_ps(r, i)));
    }
};

inline __m256 avx2AtLeast(__m256 x, __m256 limit, __m256 then, __m256 otherwise) {
    return _mm256_blendv_ps(otherwise, then, _mm256_cmp_ps(x, limit, _CMP_GE_OQ));
}
inline void avx2StoreSamples(int16_t* p, __m256 x) {
    const __m256i whole = _mm256_cvttps_epi32(x);
    const __m128i packed = _mm_packs_epi32(_mm256_castsi256_si128(whole), _mm256_extracti128_si256(whole, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), packed);
}
Q58_FLOAT_LANES(Floats, Avx2Floats8, 8, _mm256_set1_ps, _mm256_setzero_ps, _mm256_loadu_ps, _mm256_storeu_ps,
                _mm256_sqrt_ps, avx2AtLeast, avx2StoreSamples,
                static constexpr double rootEstimateError = 0.0;)

}  // namespace
