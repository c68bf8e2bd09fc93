// The codec's vector kernels with SSE2 intrinsics, two doubles per register.
// SSE2 is part of every x86-64 processor, so no run-time check is needed.

#include "codec/codec_kernels.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <emmintrin.h>

#include "codec/codec_kernels_core.h"

namespace {

struct Sse2Lanes {
    static constexpr int width = 2;
    using V = __m128d;
    static V set1(double v) { return _mm_set1_pd(v); }
    static V zero() { return _mm_setzero_pd(); }
    static V load(const double* p) { return _mm_loadu_pd(p); }
    static V add(V a, V b) { return _mm_add_pd(a, b); }
    static V sub(V a, V b) { return _mm_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm_mul_pd(a, b); }
    static V div(V a, V b) { return _mm_div_pd(a, b); }
    static V sqrt(V a) { return _mm_sqrt_pd(a); }
    static V abs(V a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
    static V toFloat(V a) { return _mm_cvtps_pd(_mm_cvtpd_ps(a)); }
    static V loadFloats(const float* p) {
        // Two floats through a 64-bit integer load (__m128i may alias anything).
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static void storeFloats(float* p, V a) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(a)));
    }
    static bool allAtMost(V a, double limit) { return _mm_movemask_pd(_mm_cmple_pd(a, _mm_set1_pd(limit))) == 0x3; }
};

struct Sse2FloatLanes {
    static constexpr int width = 4;
    using V = __m128;
    static V set1(float v) { return _mm_set1_ps(v); }
    static V zero() { return _mm_setzero_ps(); }
    static V load(const float* p) { return _mm_loadu_ps(p); }
    static V add(V a, V b) { return _mm_add_ps(a, b); }
    static V sub(V a, V b) { return _mm_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm_mul_ps(a, b); }
    static V sqrt(V a) { return _mm_sqrt_ps(a); }
    static V atLeast(V x, V limit, V then, V otherwise) {
        const V mask = _mm_cmpge_ps(x, limit);
        return _mm_or_ps(_mm_and_ps(mask, then), _mm_andnot_ps(mask, otherwise));
    }
    static void store(float* p, V a) { _mm_storeu_ps(p, a); }
};

void scorePhaseTrials(const double* band, int n, const double* raRe, const double* raIm, const double* rbRe,
                      const double* rbIm, int count, float* scores) {
    codeckernels::scorePhaseTrials<Sse2Lanes>(band, n, raRe, raIm, rbRe, rbIm, count, scores);
}

bool prepareBand(const float* ar, const float* ai, const float* br, const float* bi, int n, double farScale,
                 double nearScale, float* magnitudeA, float* magnitudeB, float* farFrom, float* farBound,
                 float* nearBound) {
    return codeckernels::prepareBand<Sse2Lanes>(ar, ai, br, bi, n, farScale, nearScale, magnitudeA, magnitudeB, farFrom,
                                         farBound, nearBound);
}

void approximatePhaseTrials(const Complex* a, const Complex* b, int n, const float* farFrom, const float* farBound,
                            const float* nearBound, const float* raRe, const float* raIm, const float* rbRe,
                            const float* rbIm, int count, float* approx, float* bound) {
    codeckernels::approximatePhaseTrials<Sse2FloatLanes>(a, b, n, farFrom, farBound, nearBound, raRe, raIm, rbRe, rbIm, count,
                                             approx, bound);
}

void combineMasking(float* s, const float* forward, const float* backward, int n) {
    codeckernels::combineMasking<Sse2Lanes>(s, forward, backward, n);
}

void rateBins(const float* x, const float* s, float* q, int n) { codeckernels::rateBins<Sse2Lanes>(x, s, q, n); }

const CodecKernels kernels = {scorePhaseTrials, prepareBand, approximatePhaseTrials, combineMasking, rateBins};

}  // namespace

const CodecKernels* sse2CodecKernels() { return &kernels; }

#else

const CodecKernels* sse2CodecKernels() { return nullptr; }

#endif
