// The fast transforms with SSE2 intrinsics, the x86-64 baseline: four double
// lanes in two registers.

#include "transform/fast_transform_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include <emmintrin.h>

#include "transform/fast_transform_core.h"

namespace {

// Four double lanes in two registers: lanes 0, 1 in lo, 2, 3 in hi.
struct Sse {
    __m128d lo;
    __m128d hi;
};

inline Sse operator+(Sse a, Sse b) { return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)}; }
inline Sse operator-(Sse a, Sse b) { return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)}; }
inline Sse operator*(Sse a, Sse b) { return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)}; }
// Flips the sign bit, as negation does.
inline Sse operator-(Sse a) {
    const __m128d sign = _mm_set1_pd(-0.0);
    return {_mm_xor_pd(a.lo, sign), _mm_xor_pd(a.hi, sign)};
}

// Four floats to doubles and back.
inline Sse widen(__m128 x) { return {_mm_cvtps_pd(x), _mm_cvtps_pd(_mm_movehl_ps(x, x))}; }
inline __m128 toFloats(Sse x) { return _mm_movelh_ps(_mm_cvtpd_ps(x.lo), _mm_cvtpd_ps(x.hi)); }
inline Sse narrow(Sse x) { return {_mm_cvtps_pd(_mm_cvtpd_ps(x.lo)), _mm_cvtps_pd(_mm_cvtpd_ps(x.hi))}; }

struct SseLanes {
    using V = Sse;
    using Half = SseLanes;
    static constexpr int width = 4;
    static V load(const float* p) { return widen(_mm_loadu_ps(p)); }
    static V loadu(const float* p) { return widen(_mm_loadu_ps(p)); }
    static void store(float* p, V v) { _mm_storeu_ps(p, toFloats(v)); }
    static void storeu(float* p, V v) { _mm_storeu_ps(p, toFloats(v)); }
    static V set1(float x) { return {_mm_set1_pd(x), _mm_set1_pd(x)}; }
    static V zero() { return {_mm_setzero_pd(), _mm_setzero_pd()}; }
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
        re = widen(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
        im = widen(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    static void storeComplex(Complex* dst, V re, V im) {
        const __m128 r = toFloats(re);
        const __m128 i = toFloats(im);
        _mm_storeu_ps(&dst[0].re, _mm_unpacklo_ps(r, i));
        _mm_storeu_ps(&dst[2].re, _mm_unpackhi_ps(r, i));
    }
};

const FastTransformKernels sse2Kernels = {
    fastcore::fft<SseLanes, fastcore::QuadEngine<SseLanes>>,
    fastcore::inverseFft<SseLanes, fastcore::QuadEngine<SseLanes>>,
    fastcore::analyze<SseLanes, fastcore::QuadEngine<SseLanes>>,
    fastcore::synthesize<SseLanes, fastcore::QuadEngine<SseLanes>>,
    fastcore::synthesizeAdd<SseLanes, fastcore::QuadEngine<SseLanes>>,
};

}  // namespace

const FastTransformKernels* sse2TransformKernels() { return &sse2Kernels; }

#else

const FastTransformKernels* sse2TransformKernels() { return nullptr; }

#endif
