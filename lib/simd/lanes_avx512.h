// AVX-512F lanes: eight doubles or sixteen floats per register.
#pragma once

#include <immintrin.h>

namespace {

// The unmasked forms of sqrt and the conversions leave GCC 12 warning about
// an uninitialised operand in its own header; with every lane selected the
// zero-masked forms compute the same.
constexpr __mmask8 allDoubleLanes = 0xFF;
constexpr __mmask16 allFloatLanes = 0xFFFF;

struct Avx512Doubles8 {
    __m512d v;
};
inline Avx512Doubles8 operator+(Avx512Doubles8 a, Avx512Doubles8 b) { return {_mm512_add_pd(a.v, b.v)}; }
inline Avx512Doubles8 operator-(Avx512Doubles8 a, Avx512Doubles8 b) { return {_mm512_sub_pd(a.v, b.v)}; }
inline Avx512Doubles8 operator*(Avx512Doubles8 a, Avx512Doubles8 b) { return {_mm512_mul_pd(a.v, b.v)}; }
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

struct Avx512Floats16 {
    __m512 v;
};
inline Avx512Floats16 operator+(Avx512Floats16 a, Avx512Floats16 b) { return {_mm512_add_ps(a.v, b.v)}; }
inline Avx512Floats16 operator-(Avx512Floats16 a, Avx512Floats16 b) { return {_mm512_sub_ps(a.v, b.v)}; }
inline Avx512Floats16 operator*(Avx512Floats16 a, Avx512Floats16 b) { return {_mm512_mul_ps(a.v, b.v)}; }

struct WideFloats {
    using V = Avx512Floats16;
    static constexpr int width = 16;
    static V set1(float x) { return {_mm512_set1_ps(x)}; }
    static V zero() { return {_mm512_setzero_ps()}; }
    static V load(const float* p) { return {_mm512_loadu_ps(p)}; }
    static void store(float* p, V a) { _mm512_storeu_ps(p, a.v); }
    static V sqrt(V a) { return {_mm512_maskz_sqrt_ps(allFloatLanes, a.v)}; }
    static V atLeast(V x, V limit, V then, V otherwise) {
        return {_mm512_mask_blend_ps(_mm512_cmp_ps_mask(x.v, limit.v, _CMP_GE_OQ), otherwise.v, then.v)};
    }
};

}  // namespace
