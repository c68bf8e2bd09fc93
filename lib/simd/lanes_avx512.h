// AVX-512F lanes: eight doubles or sixteen floats per register.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "base/complex.h"
#include "simd/lanes.h"
#include "simd/lanes_avx2.h"  // the four-lane half of the wide transform engine

namespace {

// The unmasked forms of sqrt and the conversions leave GCC 12 warning about
// an uninitialised operand in its own header; with every lane selected the
// zero-masked forms compute the same.
constexpr __mmask8 allDoubleLanes = 0xFF;
constexpr __mmask16 allFloatLanes = 0xFFFF;

Q58_LANE_VECTOR(Avx512Doubles8, __m512d, _mm512_add_pd, _mm512_sub_pd, _mm512_mul_pd)
inline Avx512Doubles8 operator/(Avx512Doubles8 a, Avx512Doubles8 b) { return {_mm512_div_pd(a.v, b.v)}; }
// Flips the sign bit, as negation does (an integer xor: AVX-512F has no xor of doubles).
inline Avx512Doubles8 operator-(Avx512Doubles8 a) {
    return {_mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(a.v), _mm512_set1_epi64(INT64_MIN)))};
}
inline Avx512Doubles8 narrow(Avx512Doubles8 a) {
    return {_mm512_maskz_cvtps_pd(allDoubleLanes, _mm512_maskz_cvtpd_ps(allDoubleLanes, a.v))};
}
inline __m256 avx512ToFloats(Avx512Doubles8 a) { return _mm512_maskz_cvtpd_ps(allDoubleLanes, a.v); }
inline Avx512Doubles8 avx512Widen(__m256 x) { return {_mm512_maskz_cvtps_pd(allDoubleLanes, x)}; }

struct WideDoubles {
    using V = Avx512Doubles8;
    using FV = Avx2Floats8;
    using Half = Doubles;
    static constexpr int width = 8;
    static V set1(double x) { return {_mm512_set1_pd(x)}; }
    static V zero() { return {_mm512_setzero_pd()}; }
    static V load(const double* p) { return {_mm512_loadu_pd(p)}; }
    static V load(const float* p) { return {_mm512_maskz_cvtps_pd(allDoubleLanes, _mm256_loadu_ps(p))}; }
    static V load(const int32_t* p) {
        return {_mm512_maskz_cvtepi32_pd(allDoubleLanes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)))};
    }
    static FV toFloats(V a) { return {avx512ToFloats(a)}; }
    static V widen(FV a) { return avx512Widen(a.v); }
    static void store(float* p, V a) { _mm256_storeu_ps(p, _mm512_maskz_cvtpd_ps(allDoubleLanes, a.v)); }
    static void store(double* p, V a) { _mm512_storeu_pd(p, a.v); }
    static V sqrt(V a) { return {_mm512_maskz_sqrt_pd(allDoubleLanes, a.v)}; }
    static V abs(V a) { return {_mm512_abs_pd(a.v)}; }
    static bool allAtMost(V a, double limit) {
        return _mm512_cmp_pd_mask(a.v, _mm512_set1_pd(limit), _CMP_LE_OQ) == 0xFF;
    }
    static V reverse(V v) { return {_mm512_maskz_permutexvar_pd(allDoubleLanes, _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7), v.v)}; }
    static void loadComplex(const Complex* src, V& re, V& im) {
        // Each 64-bit lane holds one (re, im) pair, re in its low half.
        const __m512i pairs = _mm512_loadu_si512(src);
        re = avx512Widen(_mm256_castsi256_ps(_mm512_maskz_cvtepi64_epi32(allDoubleLanes, pairs)));
        im = avx512Widen(_mm256_castsi256_ps(_mm512_maskz_cvtepi64_epi32(allDoubleLanes, _mm512_maskz_srli_epi64(allDoubleLanes, pairs, 32))));
    }
    static void storeComplex(Complex* dst, V re, V im) {
        const __m256 r = avx512ToFloats(re);
        const __m256 i = avx512ToFloats(im);
        const __m256 low = _mm256_unpacklo_ps(r, i);   // pairs 0, 1 | 4, 5
        const __m256 high = _mm256_unpackhi_ps(r, i);  // pairs 2, 3 | 6, 7
        _mm256_storeu_ps(&dst[0].re, _mm256_permute2f128_ps(low, high, 0x20));
        _mm256_storeu_ps(&dst[4].re, _mm256_permute2f128_ps(low, high, 0x31));
    }
    static void addToComplex(Complex* dst, V re, V im) {
        const __m256 r = avx512ToFloats(re);
        const __m256 i = avx512ToFloats(im);
        const __m256 low = _mm256_unpacklo_ps(r, i);
        const __m256 high = _mm256_unpackhi_ps(r, i);
        _mm256_storeu_ps(&dst[0].re, _mm256_add_ps(_mm256_loadu_ps(&dst[0].re), _mm256_permute2f128_ps(low, high, 0x20)));
        _mm256_storeu_ps(&dst[4].re, _mm256_add_ps(_mm256_loadu_ps(&dst[4].re), _mm256_permute2f128_ps(low, high, 0x31)));
    }
    static void storeSplit(float* low, float* high, V v) {
        const __m256 x = avx512ToFloats(v);
        _mm_storeu_ps(low, _mm256_castps256_ps128(x));
        _mm_storeu_ps(high, _mm256_extractf128_ps(x, 1));
    }
    static void storeRows4(float* at, V r0, V r1, V r2, V r3) {
        const __m256 f0 = avx512ToFloats(r0);
        const __m256 f1 = avx512ToFloats(r1);
        const __m256 f2 = avx512ToFloats(r2);
        const __m256 f3 = avx512ToFloats(r3);
        const __m256 t0 = _mm256_unpacklo_ps(f0, f1);  // r0[0] r1[0] r0[1] r1[1] | the same for 4, 5
        const __m256 t1 = _mm256_unpackhi_ps(f0, f1);  // columns 2, 3 | 6, 7
        const __m256 t2 = _mm256_unpacklo_ps(f2, f3);
        const __m256 t3 = _mm256_unpackhi_ps(f2, f3);
        const __m256 c04 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));  // column 0 | column 4
        const __m256 c15 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 c26 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 c37 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        _mm256_storeu_ps(at, _mm256_permute2f128_ps(c04, c15, 0x20));
        _mm256_storeu_ps(at + 8, _mm256_permute2f128_ps(c26, c37, 0x20));
        _mm256_storeu_ps(at + 16, _mm256_permute2f128_ps(c04, c15, 0x31));
        _mm256_storeu_ps(at + 24, _mm256_permute2f128_ps(c26, c37, 0x31));
    }
};

inline __m512 avx512Sqrt(__m512 a) { return _mm512_maskz_sqrt_ps(allFloatLanes, a); }
inline __m512 avx512AtLeast(__m512 x, __m512 limit, __m512 then, __m512 otherwise) {
    return _mm512_mask_blend_ps(_mm512_cmp_ps_mask(x, limit, _CMP_GE_OQ), otherwise, then);
}
inline void avx512StoreSamples(int16_t* p, __m512 x) {
    const __m512i whole = _mm512_maskz_cvttps_epi32(allFloatLanes, x);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_maskz_cvtsepi32_epi16(allFloatLanes, whole));
}
Q58_LANE_VECTOR(Avx512Floats16, __m512, _mm512_add_ps, _mm512_sub_ps, _mm512_mul_ps)
// VRSQRT14PS: within 2^-14 of 1/sqrt(x) relative, denormal inputs included
// (without DAZ, which q58 never sets); processors may differ in the bits.
inline __m512 avx512InverseRoot(__m512 a) { return _mm512_maskz_rsqrt14_ps(allFloatLanes, a); }
Q58_FLOAT_LANES(WideFloats, Avx512Floats16, 16, _mm512_set1_ps, _mm512_setzero_ps, _mm512_loadu_ps, _mm512_storeu_ps,
                avx512Sqrt, avx512AtLeast, avx512StoreSamples, static constexpr double rootEstimateError = 0x1p-14;
                static V inverseRootEstimate(V a) { return {avx512InverseRoot(a.v)}; })

}  // namespace
