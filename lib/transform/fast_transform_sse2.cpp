// The fast transforms with SSE2 intrinsics, the x86-64 baseline: four float
// lanes per register.

#include "transform/fast_transform_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include <emmintrin.h>

#include "transform/fast_transform_core.h"

namespace {

struct Sse {
    __m128 v;
};

inline Sse operator+(Sse a, Sse b) { return {_mm_add_ps(a.v, b.v)}; }
inline Sse operator-(Sse a, Sse b) { return {_mm_sub_ps(a.v, b.v)}; }
inline Sse operator*(Sse a, Sse b) { return {_mm_mul_ps(a.v, b.v)}; }
// Flips the sign bit, as float negation does.
inline Sse operator-(Sse a) { return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))}; }

struct SseLanes {
    using V = Sse;
    using Half = SseLanes;
    static constexpr int width = 4;
    static V load(const float* p) { return {_mm_load_ps(p)}; }
    static V loadu(const float* p) { return {_mm_loadu_ps(p)}; }
    static void store(float* p, V v) { _mm_store_ps(p, v.v); }
    static void storeu(float* p, V v) { _mm_storeu_ps(p, v.v); }
    static V set1(float x) { return {_mm_set1_ps(x)}; }
    static V zero() { return {_mm_setzero_ps()}; }
    static V reverse(V v) { return {_mm_shuffle_ps(v.v, v.v, _MM_SHUFFLE(0, 1, 2, 3))}; }
    static void transpose(V& a, V& b, V& c, V& d) { _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v); }
    static void loadComplex(const Complex* src, V& re, V& im) {
        const __m128 lo = _mm_loadu_ps(&src[0].re);  // re0 im0 re1 im1
        const __m128 hi = _mm_loadu_ps(&src[2].re);  // re2 im2 re3 im3
        re.v = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        im.v = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
    }
    static void storeComplex(Complex* dst, V re, V im) {
        _mm_storeu_ps(&dst[0].re, _mm_unpacklo_ps(re.v, im.v));
        _mm_storeu_ps(&dst[2].re, _mm_unpackhi_ps(re.v, im.v));
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
