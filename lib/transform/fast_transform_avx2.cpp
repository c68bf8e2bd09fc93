// The fast transforms with AVX2 intrinsics: four double lanes per register.
// Only this unit is compiled for AVX2 (by a target pragma, no build flag);
// the dispatcher calls it only on processors that report AVX2. No fused
// multiply-add is enabled: every product and sum is rounded on its own, as
// in the other variants.

#include "transform/fast_transform_kernels.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)

#include <immintrin.h>

// Shared inline helpers are included before the target switch, so that no
// copy of them compiled for AVX2 can stand in for the baseline one.
#include "base/complex_ops.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "transform/fast_transform_core.h"

namespace {

struct Quad {
    __m256d v;
};
inline Quad operator+(Quad a, Quad b) { return {_mm256_add_pd(a.v, b.v)}; }
inline Quad operator-(Quad a, Quad b) { return {_mm256_sub_pd(a.v, b.v)}; }
inline Quad operator*(Quad a, Quad b) { return {_mm256_mul_pd(a.v, b.v)}; }
inline Quad operator-(Quad a) { return {_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))}; }
inline Quad narrow(Quad a) { return {_mm256_cvtps_pd(_mm256_cvtpd_ps(a.v))}; }

struct QuadLanes {
    using V = Quad;
    using Half = QuadLanes;
    static constexpr int width = 4;
    static V load(const float* p) { return {_mm256_cvtps_pd(_mm_loadu_ps(p))}; }
    static V loadu(const float* p) { return {_mm256_cvtps_pd(_mm_loadu_ps(p))}; }
    static void store(float* p, V v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v.v)); }
    static void storeu(float* p, V v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v.v)); }
    static V set1(float x) { return {_mm256_set1_pd(x)}; }
    static V zero() { return {_mm256_setzero_pd()}; }
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
};

using Engine = fastcore::QuadEngine<QuadLanes>;

const FastTransformKernels avx2Kernels = {
    fastcore::fft<QuadLanes, Engine>,
    fastcore::inverseFft<QuadLanes, Engine>,
    fastcore::analyze<QuadLanes, Engine>,
    fastcore::synthesize<QuadLanes, Engine>,
    fastcore::synthesizeAdd<QuadLanes, Engine>,
};

}  // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const FastTransformKernels* avx2TransformKernels() { return &avx2Kernels; }

#else

const FastTransformKernels* avx2TransformKernels() { return nullptr; }

#endif
