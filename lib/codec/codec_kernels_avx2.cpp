// The codec's vector kernels with AVX2, four doubles per register. Only this
// unit is compiled for AVX2 (by a target pragma, no build flag); the
// dispatcher calls it only on processors that report AVX2. No fused
// multiply-add is enabled.

#include "codec/codec_kernels.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)

#include <immintrin.h>

#include <cmath>  // before the target region: its inline functions stay baseline code

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "codec/codec_kernels_core.h"

namespace {

struct Avx2Lanes {
    static constexpr int width = 4;
    using V = __m256d;
    static V set1(double v) { return _mm256_set1_pd(v); }
    static V zero() { return _mm256_setzero_pd(); }
    static V load(const double* p) { return _mm256_loadu_pd(p); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V div(V a, V b) { return _mm256_div_pd(a, b); }
    static V sqrt(V a) { return _mm256_sqrt_pd(a); }
    static V abs(V a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static V toFloat(V a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }
    static V loadFloats(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
    static void storeFloats(float* p, V a) { _mm_storeu_ps(p, _mm256_cvtpd_ps(a)); }
    static bool allAtMost(V a, double limit) {
        return _mm256_movemask_pd(_mm256_cmp_pd(a, _mm256_set1_pd(limit), _CMP_LE_OQ)) == 0xF;
    }
};

struct Avx2FloatLanes {
    static constexpr int width = 8;
    using V = __m256;
    static V set1(float v) { return _mm256_set1_ps(v); }
    static V zero() { return _mm256_setzero_ps(); }
    static V load(const float* p) { return _mm256_loadu_ps(p); }
    static V add(V a, V b) { return _mm256_add_ps(a, b); }
    static V sub(V a, V b) { return _mm256_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm256_mul_ps(a, b); }
    static V sqrt(V a) { return _mm256_sqrt_ps(a); }
    static V atLeast(V x, V limit, V then, V otherwise) {
        return _mm256_blendv_ps(otherwise, then, _mm256_cmp_ps(x, limit, _CMP_GE_OQ));
    }
    static void store(float* p, V a) { _mm256_storeu_ps(p, a); }
};

void scorePhaseTrials(const double* band, int n, const double* raRe, const double* raIm, const double* rbRe,
                      const double* rbIm, int count, float* scores) {
    codeckernels::scorePhaseTrials<Avx2Lanes>(band, n, raRe, raIm, rbRe, rbIm, count, scores);
}

bool prepareBand(const float* ar, const float* ai, const float* br, const float* bi, int n, double farScale,
                 double nearScale, float* magnitudeA, float* magnitudeB, float* farFrom, float* farBound,
                 float* nearBound) {
    return codeckernels::prepareBand<Avx2Lanes>(ar, ai, br, bi, n, farScale, nearScale, magnitudeA, magnitudeB, farFrom,
                                         farBound, nearBound);
}

void approximatePhaseTrials(const Complex* a, const Complex* b, int n, const float* farFrom, const float* farBound,
                            const float* nearBound, const float* raRe, const float* raIm, const float* rbRe,
                            const float* rbIm, int count, float* approx, float* bound) {
    codeckernels::approximatePhaseTrials<Avx2FloatLanes>(a, b, n, farFrom, farBound, nearBound, raRe, raIm, rbRe, rbIm, count,
                                             approx, bound);
}

void combineMasking(float* s, const float* forward, const float* backward, int n) {
    codeckernels::combineMasking<Avx2Lanes>(s, forward, backward, n);
}

void rateBins(const float* x, const float* s, float* q, int n) { codeckernels::rateBins<Avx2Lanes>(x, s, q, n); }

const CodecKernels kernels = {scorePhaseTrials, prepareBand, approximatePhaseTrials, combineMasking, rateBins};

}  // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const CodecKernels* avx2CodecKernels() { return &kernels; }

#else

const CodecKernels* avx2CodecKernels() { return nullptr; }

#endif
