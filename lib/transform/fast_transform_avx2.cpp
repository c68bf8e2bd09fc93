// The fast transforms with AVX2 intrinsics, eight float lanes per register.
// Only this unit is compiled for AVX2 (by a target pragma, no build flag);
// the dispatcher calls it only on processors that report AVX2. No fused
// multiply-add is enabled: every product and sum is rounded on its own, as
// in the other variants.
//
// Eight lanes hold two independent butterflies of the four 441-point
// transforms: in the 9-point level two neighbouring columns (q2, q2 + 1),
// in the 49-point level two neighbouring rows (p2, p2 + 1). The odd column
// 48 and row 8 run on four lanes. Each butterfly computes exactly what the
// 4-lane engine computes, so the bits are the same.

#include "transform/fast_transform_kernels.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)

#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "transform/fast_transform_core.h"

namespace {

struct Quad {
    __m128 v;
};
inline Quad operator+(Quad a, Quad b) { return {_mm_add_ps(a.v, b.v)}; }
inline Quad operator-(Quad a, Quad b) { return {_mm_sub_ps(a.v, b.v)}; }
inline Quad operator*(Quad a, Quad b) { return {_mm_mul_ps(a.v, b.v)}; }
inline Quad operator-(Quad a) { return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))}; }

struct Octet {
    __m256 v;
};
inline Octet operator+(Octet a, Octet b) { return {_mm256_add_ps(a.v, b.v)}; }
inline Octet operator-(Octet a, Octet b) { return {_mm256_sub_ps(a.v, b.v)}; }
inline Octet operator*(Octet a, Octet b) { return {_mm256_mul_ps(a.v, b.v)}; }
inline Octet operator-(Octet a) { return {_mm256_xor_ps(a.v, _mm256_set1_ps(-0.0f))}; }

// Unaligned accesses throughout: with VEX encoding they cost the same, and
// the emitted groups of eight start at any multiple of four.
struct QuadLanes {
    using V = Quad;
    using Half = QuadLanes;
    static constexpr int width = 4;
    static V load(const float* p) { return {_mm_loadu_ps(p)}; }
    static V loadu(const float* p) { return {_mm_loadu_ps(p)}; }
    static void store(float* p, V v) { _mm_storeu_ps(p, v.v); }
    static void storeu(float* p, V v) { _mm_storeu_ps(p, v.v); }
    static V set1(float x) { return {_mm_set1_ps(x)}; }
    static V zero() { return {_mm_setzero_ps()}; }
    static V reverse(V v) { return {_mm_shuffle_ps(v.v, v.v, _MM_SHUFFLE(0, 1, 2, 3))}; }
    static void loadComplex(const Complex* src, V& re, V& im) {
        const __m128 lo = _mm_loadu_ps(&src[0].re);
        const __m128 hi = _mm_loadu_ps(&src[2].re);
        re.v = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        im.v = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
    }
    static void storeComplex(Complex* dst, V re, V im) {
        _mm_storeu_ps(&dst[0].re, _mm_unpacklo_ps(re.v, im.v));
        _mm_storeu_ps(&dst[2].re, _mm_unpackhi_ps(re.v, im.v));
    }
};

struct OctetLanes {
    using V = Octet;
    using Half = QuadLanes;
    static constexpr int width = 8;
    static V load(const float* p) { return {_mm256_loadu_ps(p)}; }
    static V loadu(const float* p) { return {_mm256_loadu_ps(p)}; }
    static void store(float* p, V v) { _mm256_storeu_ps(p, v.v); }
    static void storeu(float* p, V v) { _mm256_storeu_ps(p, v.v); }
    static V set1(float x) { return {_mm256_set1_ps(x)}; }
    static V zero() { return {_mm256_setzero_ps()}; }
    static V reverse(V v) { return {_mm256_permutevar8x32_ps(v.v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0))}; }
    // The 4 x 4 transpose within each 128-bit half.
    static void transposeHalves(V& a, V& b, V& c, V& d) {
        const __m256 t0 = _mm256_unpacklo_ps(a.v, b.v);
        const __m256 t1 = _mm256_unpacklo_ps(c.v, d.v);
        const __m256 t2 = _mm256_unpackhi_ps(a.v, b.v);
        const __m256 t3 = _mm256_unpackhi_ps(c.v, d.v);
        a.v = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(1, 0, 1, 0));
        b.v = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 2, 3, 2));
        c.v = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(1, 0, 1, 0));
        d.v = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(3, 2, 3, 2));
    }
    static void loadComplex(const Complex* src, V& re, V& im) {
        const __m256 lo = _mm256_loadu_ps(&src[0].re);  // re0 im0 .. re3 im3
        const __m256 hi = _mm256_loadu_ps(&src[4].re);  // re4 im4 .. re7 im7
        // In-lane shuffles give 0 1 4 5 | 2 3 6 7; the 64-bit permute restores the order.
        re.v = _mm256_castpd_ps(_mm256_permute4x64_pd(
            _mm256_castps_pd(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))), _MM_SHUFFLE(3, 1, 2, 0)));
        im.v = _mm256_castpd_ps(_mm256_permute4x64_pd(
            _mm256_castps_pd(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))), _MM_SHUFFLE(3, 1, 2, 0)));
    }
    static void storeComplex(Complex* dst, V re, V im) {
        const __m256 lo = _mm256_unpacklo_ps(re.v, im.v);  // 0 1 | 4 5
        const __m256 hi = _mm256_unpackhi_ps(re.v, im.v);  // 2 3 | 6 7
        _mm256_storeu_ps(&dst[0].re, _mm256_permute2f128_ps(lo, hi, 0x20));
        _mm256_storeu_ps(&dst[4].re, _mm256_permute2f128_ps(lo, hi, 0x31));
    }
};

using fastcore::CV;

inline void storeLow(float* re, float* im, const CV<Octet>& x) {
    _mm_storeu_ps(re, _mm256_castps256_ps128(x.re.v));
    _mm_storeu_ps(im, _mm256_castps256_ps128(x.im.v));
}

inline void storeHigh(float* re, float* im, const CV<Octet>& x) {
    _mm_storeu_ps(re, _mm256_extractf128_ps(x.re.v, 1));
    _mm_storeu_ps(im, _mm256_extractf128_ps(x.im.v, 1));
}

// Where the 4-lane value of column j = 49 m + q2 lives for the 9-point
// level: columns q2 and q2 + 1 (q2 even) share a 16-float slot (real
// parts of both, then imaginary parts of both), slot (m, q2 / 2) at
// 16 (24 m + q2 / 2); column 48 has 8-float slots after them.
// Where the value of row p2, index q2 lives for the 49-point level: rows
// p2 and p2 + 1 (p2 even) share slot (p2 / 2, q2) at 16 (49 (p2 / 2) + q2);
// row 8 has 8-float slots after them.
constexpr int pairedColumnFloats = 9 * 24 * 16;
constexpr int pairedRowFloats = 4 * 49 * 16;

struct Layout {
    int columnRe[441];
    int columnIm[441];
    int rowRe[9][49];
    int rowIm[9][49];

    constexpr Layout() : columnRe(), columnIm(), rowRe(), rowIm() {
        for (int j = 0; j < 441; ++j) {
            const int m = j / 49, q2 = j % 49;
            columnRe[j] = q2 < 48 ? 16 * (24 * m + q2 / 2) + 4 * (q2 % 2) : pairedColumnFloats + 8 * m;
            columnIm[j] = columnRe[j] + (q2 < 48 ? 8 : 4);
        }
        for (int p2 = 0; p2 < 9; ++p2) {
            for (int q2 = 0; q2 < 49; ++q2) {
                rowRe[p2][q2] = p2 < 8 ? 16 * (49 * (p2 / 2) + q2) + 4 * (p2 % 2) : pairedRowFloats + 8 * q2;
                rowIm[p2][q2] = rowRe[p2][q2] + (p2 < 8 ? 8 : 4);
            }
        }
    }
};

constexpr Layout layout{};

struct OctetEngine {
    static constexpr int workFloats = 2 * fastcore::paddedLength;  // also holds 441 vectors of 8 floats

    // Row p2 of the 9-point level's outputs for columns q2 (low half) and q2 + 1 (high half).
    static CV<Octet> pairTwiddle(const CV<Octet>& y, int p2, int q2, const FastTransformPlan& plan) {
        const __m256 re = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_set1_ps(plan.stage441Re[q2][p2])),
                                               _mm_set1_ps(plan.stage441Re[q2 + 1][p2]), 1);
        const __m256 im = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_set1_ps(plan.stage441Im[q2][p2])),
                                               _mm_set1_ps(plan.stage441Im[q2 + 1][p2]), 1);
        return fastcore::rotate(y, Octet{re}, Octet{im});
    }

    template <class Emit>
    static void run(const float* inRe, const float* inIm, float* work, Emit& emit, const FastTransformPlan& plan) {
        alignas(64) float columns[2 * 441 * 4];
        // 4-point level, eight columns per vector; after the transposes the
        // low half of y[l] is column q + l and the high half column q + 4 + l.
        for (int q = 0; q < fastcore::subLength; q += 8) {
            CV<Octet> y[4];
            fastcore::radix4Group<OctetLanes>(inRe, inIm, q, y, plan);
            OctetLanes::transposeHalves(y[0].re, y[1].re, y[2].re, y[3].re);
            OctetLanes::transposeHalves(y[0].im, y[1].im, y[2].im, y[3].im);
            for (int l = 0; l < 4; ++l) {
                if (q + l < fastcore::subLength)
                    storeLow(columns + layout.columnRe[q + l], columns + layout.columnIm[q + l], y[l]);
                if (q + 4 + l < fastcore::subLength)
                    storeHigh(columns + layout.columnRe[q + 4 + l], columns + layout.columnIm[q + 4 + l], y[l]);
            }
        }

        // 9-point level, two columns per vector, then column 48 alone.
        const fastcore::KernelConstants<OctetLanes> k8(plan);
        const fastcore::KernelConstants<QuadLanes> k4(plan);
        float* rows = work;  // the input is no longer needed
        for (int q2 = 0; q2 < 48; q2 += 2) {
            CV<Octet> x[9];
            CV<Octet> y[9];
            for (int m = 0; m < 9; ++m) x[m] = fastcore::loadCV<OctetLanes>(columns + layout.columnRe[q2 + 49 * m]);
            fastcore::dft9(x, y, k8.c3, k8.s3, k8.zero, k8.w9r, k8.w9i);
            for (int p2 = 0; p2 < 9; ++p2) {
                const CV<Octet> z = p2 == 0 ? fastcore::rotateByOne(y[p2], k8.zero) : pairTwiddle(y[p2], p2, q2, plan);
                storeLow(rows + layout.rowRe[p2][q2], rows + layout.rowIm[p2][q2], z);
                storeHigh(rows + layout.rowRe[p2][q2 + 1], rows + layout.rowIm[p2][q2 + 1], z);
            }
        }
        {
            const int q2 = 48;
            CV<Quad> x[9];
            CV<Quad> y[9];
            for (int m = 0; m < 9; ++m) x[m] = fastcore::loadCV<QuadLanes>(columns + layout.columnRe[q2 + 49 * m]);
            fastcore::dft9(x, y, k4.c3, k4.s3, k4.zero, k4.w9r, k4.w9i);
            for (int p2 = 0; p2 < 9; ++p2) {
                const CV<Quad> z = p2 == 0 ? fastcore::rotateByOne(y[p2], k4.zero)
                                           : fastcore::rotate(y[p2], QuadLanes::set1(plan.stage441Re[q2][p2]),
                                                              QuadLanes::set1(plan.stage441Im[q2][p2]));
                QuadLanes::store(rows + layout.rowRe[p2][q2], z.re);
                QuadLanes::store(rows + layout.rowIm[p2][q2], z.im);
            }
        }

        // 49-point level, two rows per vector (outputs 4k .. 4k + 7 with
        // k = p2 + 9 j), then row 8 alone.
        for (int p2 = 0; p2 < 8; p2 += 2) {
            auto out = [&](int j, const CV<Octet>& y) { emit.template put<OctetLanes>(p2 + 9 * j, y); };
            fastcore::dft49Row<OctetLanes>(rows + layout.rowRe[p2][0], 16, k8, plan, out);
        }
        auto out = [&](int j, const CV<Quad>& y) { emit.template put<QuadLanes>(8 + 9 * j, y); };
        fastcore::dft49Row<QuadLanes>(rows + layout.rowRe[8][0], 8, k4, plan, out);
    }
};

const FastTransformKernels avx2Kernels = {
    fastcore::fft<OctetLanes, OctetEngine>,
    fastcore::inverseFft<OctetLanes, OctetEngine>,
    fastcore::analyze<OctetLanes, OctetEngine>,
    fastcore::synthesize<OctetLanes, OctetEngine>,
    fastcore::synthesizeAdd<OctetLanes, OctetEngine>,
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
