// AVX-512F lanes: eight doubles or sixteen floats per register.
#pragma once

#include <immintrin.h>

#include "simd/lanes.h"

namespace {

// The unmasked forms of sqrt and the conversions leave GCC 12 warning about
// an uninitialised operand in its own header; with every lane selected the
// zero-masked forms compute the same.
constexpr __mmask8 allDoubleLanes = 0xFF;
constexpr __mmask16 allFloatLanes = 0xFFFF;

Q58_LANE_VECTOR(Avx512Doubles8, __m512d, _mm512_add_pd, _mm512_sub_pd, _mm512_mul_pd)
inline Avx512Doubles8 operator/(Avx512Doubles8 a, Avx512Doubles8 b) { return {_mm512_div_pd(a.v, b.v)}; }
inline Avx512Doubles8 narrow(Avx512Doubles8 a) {
    return {_mm512_maskz_cvtps_pd(allDoubleLanes, _mm512_maskz_cvtpd_ps(allDoubleLanes, a.v))};
}

struct WideDoubles {
    using V = Avx512Doubles8;
    static constexpr int width = 8;
    static V set1(double x) { return {_mm512_set1_pd(x)}; }
    static V zero() { return {_mm512_setzero_pd()}; }
    static V load(const double* p) { return {_mm512_loadu_pd(p)}; }
    static V load(const float* p) { return {_mm512_maskz_cvtps_pd(allDoubleLanes, _mm256_loadu_ps(p))}; }
    static void store(float* p, V a) { _mm256_storeu_ps(p, _mm512_maskz_cvtpd_ps(allDoubleLanes, a.v)); }
    static V sqrt(V a) { return {_mm512_maskz_sqrt_pd(allDoubleLanes, a.v)}; }
    static V abs(V a) { return {_mm512_abs_pd(a.v)}; }
    static bool allAtMost(V a, double limit) {
        return _mm512_cmp_pd_mask(a.v, _mm512_set1_pd(limit), _CMP_LE_OQ) == 0xFF;
    }
};

inline __m512 avx512Sqrt(__m512 a) { return _mm512_maskz_sqrt_ps(allFloatLanes, a); }
inline __m512 avx512AtLeast(__m512 x, __m512 limit, __m512 then, __m512 otherwise) {
    return _mm512_mask_blend_ps(_mm512_cmp_ps_mask(x, limit, _CMP_GE_OQ), otherwise, then);
}
Q58_LANE_VECTOR(Avx512Floats16, __m512, _mm512_add_ps, _mm512_sub_ps, _mm512_mul_ps)
Q58_FLOAT_LANES(WideFloats, Avx512Floats16, 16, _mm512_set1_ps, _mm512_setzero_ps, _mm512_loadu_ps, _mm512_storeu_ps,
                avx512Sqrt, avx512AtLeast)

}  // namespace
