// The codec's vector kernels with AVX-512F, eight doubles per register. Only this
// unit is compiled for AVX-512F (by a target pragma, no build flag); the
// dispatcher calls it only on processors that report AVX-512F. No fused
// multiply-add is enabled.

#include "codec/codec_kernels.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)

#include <immintrin.h>

#include <cmath>  // before the target region: its inline functions stay baseline code

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

#include "codec/codec_kernels_core.h"

namespace {

struct Avx512Lanes {
    static constexpr int width = 8;
    using V = __m512d;
    // The unmasked forms of sqrt and the conversions leave GCC 12 warning about
    // an uninitialised operand in its own header; with every lane selected the
    // zero-masked forms compute the same.
    static constexpr __mmask8 all = 0xFF;
    static V set1(double v) { return _mm512_set1_pd(v); }
    static V zero() { return _mm512_setzero_pd(); }
    static V load(const double* p) { return _mm512_loadu_pd(p); }
    static V add(V a, V b) { return _mm512_add_pd(a, b); }
    static V sub(V a, V b) { return _mm512_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
    static V div(V a, V b) { return _mm512_div_pd(a, b); }
    static V sqrt(V a) { return _mm512_maskz_sqrt_pd(all, a); }
    static V abs(V a) { return _mm512_abs_pd(a); }
    static V toFloat(V a) { return _mm512_maskz_cvtps_pd(all, _mm512_maskz_cvtpd_ps(all, a)); }
    static V loadFloats(const float* p) { return _mm512_maskz_cvtps_pd(all, _mm256_loadu_ps(p)); }
    static void storeFloats(float* p, V a) { _mm256_storeu_ps(p, _mm512_maskz_cvtpd_ps(all, a)); }
    static bool allAtMost(V a, double limit) {
        return _mm512_cmp_pd_mask(a, _mm512_set1_pd(limit), _CMP_LE_OQ) == 0xFF;
    }
};

struct Avx512FloatLanes {
    static constexpr int width = 16;
    using V = __m512;
    static V set1(float v) { return _mm512_set1_ps(v); }
    static V zero() { return _mm512_setzero_ps(); }
    static V load(const float* p) { return _mm512_loadu_ps(p); }
    static V add(V a, V b) { return _mm512_add_ps(a, b); }
    static V sub(V a, V b) { return _mm512_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm512_mul_ps(a, b); }
    static V sqrt(V a) { return _mm512_maskz_sqrt_ps(0xFFFF, a); }
    static V atLeast(V x, V limit, V then, V otherwise) {
        return _mm512_mask_blend_ps(_mm512_cmp_ps_mask(x, limit, _CMP_GE_OQ), otherwise, then);
    }
    static void store(float* p, V a) { _mm512_storeu_ps(p, a); }
};

void scorePhaseTrials(const double* band, int n, const double* raRe, const double* raIm, const double* rbRe,
                      const double* rbIm, int count, float* scores) {
    codeckernels::scorePhaseTrials<Avx512Lanes>(band, n, raRe, raIm, rbRe, rbIm, count, scores);
}

bool prepareBand(const float* ar, const float* ai, const float* br, const float* bi, int n, double farScale,
                 double nearScale, float* magnitudeA, float* magnitudeB, float* farFrom, float* farBound,
                 float* nearBound) {
    return codeckernels::prepareBand<Avx512Lanes>(ar, ai, br, bi, n, farScale, nearScale, magnitudeA, magnitudeB, farFrom,
                                         farBound, nearBound);
}

void approximatePhaseTrials(const Complex* a, const Complex* b, int n, const float* farFrom, const float* farBound,
                            const float* nearBound, const float* raRe, const float* raIm, const float* rbRe,
                            const float* rbIm, int count, float* approx, float* bound) {
    codeckernels::approximatePhaseTrials<Avx512FloatLanes>(a, b, n, farFrom, farBound, nearBound, raRe, raIm, rbRe, rbIm, count,
                                             approx, bound);
}

void combineMasking(float* s, const float* forward, const float* backward, int n) {
    codeckernels::combineMasking<Avx512Lanes>(s, forward, backward, n);
}

void rateBins(const float* x, const float* s, float* q, int n) { codeckernels::rateBins<Avx512Lanes>(x, s, q, n); }

const CodecKernels kernels = {scorePhaseTrials, prepareBand, approximatePhaseTrials, combineMasking, rateBins};

}  // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const CodecKernels* avx512CodecKernels() { return &kernels; }

#else

const CodecKernels* avx512CodecKernels() { return nullptr; }

#endif
